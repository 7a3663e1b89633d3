#include "qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace tarvex {
namespace {

QWidget* owner() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

// TARVEX_TRACE_MESSAGES=1: each box's caption and text as it opens, on one line of
// stderr, for driving the real program where its windows cannot be read (under Wine).
void trace(const QString& caption, const QString& text) {
    static const bool enabled = qEnvironmentVariableIsSet("TARVEX_TRACE_MESSAGES");
    if (!enabled)
        return;
    QString line = caption + QLatin1Char('|') + text;
    line.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
    std::fprintf(stderr, "tarvex-message %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

int show(QMessageBox::Icon icon, const QString& caption, const QString& text,
         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    trace(caption, text);
    QWidget* parent = owner();
    QMessageBox box(icon, caption, text, buttons, parent);
    // In the colours of the window it belongs to: where that window had to mend a
    // scheme whose text would not read, the box reads too.
    if (parent)
        box.setPalette(parent->palette());
    box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

void QtMessageBoxes::inform(const QString& text) {
    show(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtMessageBoxes::ask(const QString& caption, const QString& text) {
    return show(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                QMessageBox::Yes) == QMessageBox::Yes;
}

void QtMessageBoxes::report(const QString& text) {
    show(QMessageBox::Warning, kApplicationTitle, text, QMessageBox::Ok, QMessageBox::Ok);
}

} // namespace tarvex
