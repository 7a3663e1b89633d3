#include "window_look.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>

namespace tarvex {
namespace {

const QColor kNavy(0, 0, 128);
const QColor kSendFace(224, 224, 224);
const QColor kTestFace(192, 192, 192);
// A dark scheme's faces: how far each is lifted from the scheme's buttons, in HSL
// lightness, as the light faces step down from the window (the test face further),
// and the tint they share.
constexpr double kSendLift = 0.06;
constexpr double kTestLift = 0.14;
constexpr float kAccentHue = 240.0f / 360.0f;
constexpr float kTintSaturation = 0.25f;
// Styles shade a face up to this much lighter than its colour (Fusion's gradient
// starts at 124 % and rounds up further); a face is chosen so that its text reads even there.
constexpr int kStyleShading = 150;
// A colour chosen anew aims above the minimum, so that the smoothed edges of its
// letters still read.
constexpr double kChosenContrast = 5.5;

constexpr std::array kLiveGroups{QPalette::Active, QPalette::Inactive};

double linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

QColor opaque(QColor colour) {
    if (colour.alpha() == 0) // nothing would show: take it as the colour it names
        colour.setAlpha(255);
    return colour;
}

// Whichever of black and white reads better on `background`.
QColor clearestOn(const QColor& background) {
    return contrastRatio(Qt::white, background) >= contrastRatio(Qt::black, background)
               ? QColor(Qt::white)
               : QColor(Qt::black);
}

// The first colour of `hue` and `saturation` that `reads`, from `lightness` on in
// steps of 0.01, lighter or darker as `lighter` says; none if no lightness does.
std::optional<QColor> firstThatReads(double hue, double saturation, double lightness, bool lighter,
                                     const std::function<bool(const QColor&)>& reads) {
    for (lightness = std::clamp(lightness, 0.0, 1.0); lightness >= 0.0 && lightness <= 1.0;
         lightness += lighter ? 0.01 : -0.01) {
        const QColor candidate =
            QColor::fromHslF(float(hue), float(saturation), float(lightness)).toRgb();
        if (reads(candidate))
            return candidate;
    }
    return std::nullopt;
}

// `preferred` if it reads on `background`; otherwise the same hue made lighter or
// darker, away from the background, until it reads well; at worst white or black.
QColor legibleOn(const QColor& preferred, const QColor& background) {
    if (contrastRatio(preferred, background) >= kMinimumTextContrast)
        return preferred;
    const QColor hsl = preferred.toHsl();
    const bool lighter = clearestOn(background) == Qt::white;
    return firstThatReads(
               std::max(0.0, double(hsl.hslHueF())), hsl.hslSaturationF(),
               hsl.lightnessF() + (lighter ? 0.01 : -0.01), lighter,
               [&](const QColor& c) { return contrastRatio(c, background) >= kChosenContrast; })
        .value_or(clearestOn(background));
}

// A dark scheme's face for a graphical button: its own button colour lifted and
// tinted blue, then darkened as far as its text needs.
QColor tintedFace(const QColor& ground, double lift, const QColor& text) {
    return firstThatReads(kAccentHue, kTintSaturation, ground.toHsl().lightnessF() + lift, false,
                          [&](const QColor& face) {
                              return contrastRatio(text, face.lighter(kStyleShading)) >=
                                     kChosenContrast;
                          })
        .value_or(clearestOn(text));
}

// A scheme made fit to draw on: its colours opaque, each text readable on what it
// is drawn on. `repairs` holds only what changed; a sound scheme needs none.
struct MendedScheme {
    QPalette palette;
    QPalette repairs;
};

MendedScheme mended(const QPalette& scheme) {
    MendedScheme result{scheme, {}};
    const auto set = [&](QPalette::ColorGroup group, QPalette::ColorRole role,
                         const QColor& colour) {
        if (result.palette.color(group, role) == colour)
            return;
        result.palette.setColor(group, role, colour);
        result.repairs.setColor(group, role, colour);
    };
    for (const auto group : kLiveGroups) {
        for (const auto role : {QPalette::Window, QPalette::Button, QPalette::Base,
                                QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            set(group, role, opaque(result.palette.color(group, role)));
        for (const auto& [text, ground] : {std::pair{QPalette::WindowText, kFormBackgroundRole},
                                           std::pair{QPalette::ButtonText, QPalette::Button},
                                           std::pair{QPalette::Text, QPalette::Base}}) {
            const QColor background = result.palette.color(group, ground);
            if (contrastRatio(result.palette.color(group, text), background) < kMinimumTextContrast)
                set(group, text, clearestOn(background));
        }
    }
    return result;
}

// A palette that sets `role` alone; every other role comes from the scheme.
QPalette paletteWith(QPalette::ColorRole role, const QColor& colour) {
    QPalette palette;
    palette.setColor(role, colour);
    return palette;
}

// A graphical button's palette: its face and the text on it.
QPalette buttonFace(const QColor& face, const QColor& text) {
    QPalette palette = paletteWith(QPalette::Button, face);
    palette.setColor(QPalette::ButtonText, text);
    return palette;
}

} // namespace

double relativeLuminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.red()) + 0.7152 * linear(rgb.green()) + 0.0722 * linear(rgb.blue());
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

WindowLook lookFor(const QPalette& scheme, bool systemHighContrast) {
    WindowLook look;
    const MendedScheme fit = mended(scheme);
    look.form = fit.repairs;
    const QPalette& colours = fit.palette;
    const QColor ground = colours.color(kFormBackgroundRole); // what the captions sit on
    const QColor text = colours.color(QPalette::WindowText);
    look.plainCaptions = paletteWith(QPalette::WindowText, text);

    const bool highContrast =
        systemHighContrast ||
        (contrastRatio(colours.color(QPalette::Window), colours.color(QPalette::WindowText)) >=
             kHighContrastScheme &&
         contrastRatio(colours.color(QPalette::Base), colours.color(QPalette::Text)) >=
             kHighContrastScheme);
    if (highContrast) {
        look.accentCaptions = look.plainCaptions;
        look.graphicalFaces = false;
        return look;
    }

    const QColor caption = legibleOn(kNavy, ground);
    look.accentCaptions = paletteWith(QPalette::WindowText, caption);
    look.textBoxes = paletteWith(QPalette::Text, legibleOn(kNavy, colours.color(QPalette::Base)));

    const QColor buttonText = colours.color(QPalette::ButtonText);
    if (relativeLuminance(ground) >= relativeLuminance(text)) {
        // The faces alone where the scheme's button text reads on them, else that too.
        look.sendButton = paletteWith(QPalette::Button, kSendFace);
        look.testButton = paletteWith(QPalette::Button, kTestFace);
        if (contrastRatio(buttonText, kSendFace) < kMinimumTextContrast ||
            contrastRatio(buttonText, kTestFace) < kMinimumTextContrast) {
            look.sendButton = buttonFace(kSendFace, legibleOn(buttonText, kSendFace));
            look.testButton = buttonFace(kTestFace, legibleOn(buttonText, kTestFace));
        }
    } else {
        look.sendButton = buttonFace(tintedFace(ground, kSendLift, buttonText), buttonText);
        look.testButton = buttonFace(tintedFace(ground, kTestLift, buttonText), buttonText);
    }
    return look;
}

} // namespace tarvex
