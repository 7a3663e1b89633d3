#pragma once
// Modal message boxes. Showing one runs a nested event loop: timer ticks and
// serial notifications keep arriving while the operator reads it.

#include <QString>

namespace tarvex {

// Default caption of information boxes.
inline const QString kApplicationTitle = QStringLiteral("Test Tarvex");

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // OK button, no icon, the application title as caption.
    virtual void inform(const QString& text) = 0;
    // Yes and No, question icon, Yes the default; true for Yes.
    virtual bool ask(const QString& caption, const QString& text) = 0;
    // A platform error: OK button, warning icon, the application title as caption.
    virtual void report(const QString& text) = 0;
    // Bad news shown as information (an SMS refused, a console on the line): in the
    // window a box like inform()'s; a terminal writes it where failures go.
    virtual void warn(const QString& text) { inform(text); }
    // False where the text is only printed and the answer given beforehand (a shell's
    // run): the session log then records no button press.
    virtual bool waitsForTheOperator() const { return true; }
};

} // namespace tarvex
