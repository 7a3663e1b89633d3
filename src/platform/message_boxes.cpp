#include "message_boxes.h"

#include <QApplication>
#include <QMessageBox>

namespace tarvex {
namespace {

QWidget* owner() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

int show(QMessageBox::Icon icon, const QString& caption, const QString& text,
         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, caption, text, buttons, owner());
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
