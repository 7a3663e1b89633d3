#pragma once
// The main window's colours, decided in one place from the scheme the desktop gives.
//
// On a light scheme they are the window's own: navy captions and typed text, grey
// faces on the two graphical buttons. On a dark scheme the same accents are chosen
// anew against the background they sit on, and the faces are tinted from the scheme's
// own buttons. On a high-contrast scheme nothing of the window's own is painted: the
// scheme's colours stand. On any scheme, a text colour that would not read on its
// background (a broken or transparent palette) is replaced.

#include <QColor>
#include <QPalette>

namespace tarvex {

// WCAG 2: relative luminance of an sRGB colour, and the contrast ratio of two.
double relativeLuminance(const QColor& colour);
double contrastRatio(const QColor& a, const QColor& b);

// The least contrast any text of the window gets (WCAG 2 AA).
inline constexpr double kMinimumTextContrast = 4.5;
// A scheme whose window and box texts both reach this is a high-contrast one, what
// ever the system says: only black and white, or nearly so, get there. That takes
// a plain black-on-white scheme too, and it loses the navy accents there: Linux has
// no high-contrast switch, and its desktops' light high-contrast schemes are exactly
// black on white, whose users chose the scheme's own colours.
inline constexpr double kHighContrastScheme = 20.0;

// The window fills its background with this role of its palette, and its captions
// are drawn on it.
inline constexpr QPalette::ColorRole kFormBackgroundRole = QPalette::Button;

// Each palette sets only the roles the window chooses itself; every other role
// comes from the scheme.
struct WindowLook {
    QPalette form;              // the window and everything that has no colour of its own
    QPalette accentCaptions;    // "Select Com Port", "Modem Interface"
    QPalette plainCaptions;     // the frames inside them, in the scheme's text colour
    QPalette textBoxes;         // what is typed into the number and the body
    QPalette sendButton;        // "Send SMS"
    QPalette testButton;        // "Test Modem Communication"
    bool graphicalFaces = true; // the two buttons fill their faces themselves
};

// `scheme` is the palette the desktop gives a plain window; `systemHighContrast` is
// what the system says beside it.
WindowLook lookFor(const QPalette& scheme, bool systemHighContrast);

} // namespace tarvex
