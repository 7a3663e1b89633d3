#include "window_look.h"

#include <algorithm>
#include <array>
#include <cmath>
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

// `preferred` if it reads on `background`; otherwise the same hue made lighter or
// darker, away from the background, until it reads well; at worst white or black.
QColor legibleOn(const QColor& preferred, const QColor& background) {
    if (contrastRatio(preferred, background) >= kMinimumTextContrast)
        return preferred;
    const bool lighter = clearestOn(background) == Qt::white;
    const QColor hsl = preferred.toHsl();
    const double hue = std::max(0.0, double(hsl.hslHueF()));
    const double saturation = hsl.hslSaturationF();
    double lightness = hsl.lightnessF();
    for (int step = 0; step < 100; ++step) {
        lightness = std::clamp(lightness + (lighter ? 0.01 : -0.01), 0.0, 1.0);
        const QColor candidate = QColor::fromHslF(float(hue), float(saturation), float(lightness));
        if (contrastRatio(candidate, background) >= kChosenContrast)
            return candidate.toRgb();
    }
    return clearestOn(background);
}

// A dark scheme's face for a graphical button: its own button colour lifted and
// tinted blue, then darkened as far as its text needs.
QColor tintedFace(const QColor& ground, double lift, const QColor& text) {
    const double lightness = ground.toHsl().lightnessF() + lift;
    for (double l = lightness; l > 0; l -= 0.01) {
        const QColor face = QColor::fromHslF(kAccentHue, kTintSaturation, float(l)).toRgb();
        if (contrastRatio(text, face.lighter(kStyleShading)) >= kChosenContrast)
            return face;
    }
    return clearestOn(text);
}

// The scheme with its colours made opaque and each text made to read on what it is
// drawn on. A sound scheme comes back unchanged; `repairs` holds only what changed.
QPalette legible(const QPalette& scheme, QPalette& repairs) {
    QPalette fixed = scheme;
    const auto set = [&](QPalette::ColorGroup group, QPalette::ColorRole role,
                         const QColor& colour) {
        if (fixed.color(group, role) == colour)
            return;
        fixed.setColor(group, role, colour);
        repairs.setColor(group, role, colour);
    };
    for (const auto group : kLiveGroups) {
        for (const auto role : {QPalette::Window, QPalette::Button, QPalette::Base,
                                QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            set(group, role, opaque(fixed.color(group, role)));
        // The window fills itself with the button colour; captions sit on it.
        for (const auto& [text, ground] : {std::pair{QPalette::WindowText, QPalette::Button},
                                           std::pair{QPalette::ButtonText, QPalette::Button},
                                           std::pair{QPalette::Text, QPalette::Base}}) {
            const QColor background = fixed.color(group, ground);
            if (contrastRatio(fixed.color(group, text), background) < kMinimumTextContrast)
                set(group, text, clearestOn(background));
        }
    }
    return fixed;
}

QPalette only(QPalette::ColorRole role, const QColor& colour) {
    QPalette palette;
    palette.setColor(role, colour);
    return palette;
}

QPalette face(const QColor& background, const QColor& text) {
    QPalette palette = only(QPalette::Button, background);
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
    const QPalette s = legible(scheme, look.form);
    const QColor ground = s.color(QPalette::Button); // what the captions sit on
    const QColor text = s.color(QPalette::WindowText);
    look.plainCaptions = only(QPalette::WindowText, text);

    const bool highContrast =
        systemHighContrast ||
        (contrastRatio(s.color(QPalette::Window), s.color(QPalette::WindowText)) >=
             kHighContrastScheme &&
         contrastRatio(s.color(QPalette::Base), s.color(QPalette::Text)) >= kHighContrastScheme);
    if (highContrast) {
        look.accentCaptions = look.plainCaptions;
        look.graphicalFaces = false;
        return look;
    }

    const QColor caption = legibleOn(kNavy, ground);
    look.accentCaptions = only(QPalette::WindowText, caption);
    look.textBoxes = only(QPalette::Text, legibleOn(kNavy, s.color(QPalette::Base)));

    const QColor buttonText = s.color(QPalette::ButtonText);
    if (relativeLuminance(ground) >= relativeLuminance(text)) {
        // The faces alone where the scheme's button text reads on them, else that too.
        look.sendButton = only(QPalette::Button, kSendFace);
        look.testButton = only(QPalette::Button, kTestFace);
        if (contrastRatio(buttonText, kSendFace) < kMinimumTextContrast ||
            contrastRatio(buttonText, kTestFace) < kMinimumTextContrast) {
            look.sendButton = face(kSendFace, legibleOn(buttonText, kSendFace));
            look.testButton = face(kTestFace, legibleOn(buttonText, kTestFace));
        }
    } else {
        look.sendButton = face(tintedFace(ground, kSendLift, buttonText), buttonText);
        look.testButton = face(tintedFace(ground, kTestLift, buttonText), buttonText);
    }
    return look;
}

} // namespace tarvex
