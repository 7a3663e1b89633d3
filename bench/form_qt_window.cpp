// Tarvex's main window without Tarvex: the same frames, text boxes, combo box
// and buttons, in the same fonts, colours and places, and nothing behind them
// (no serial port, no timers, no splash). What any form with these controls
// costs in memory is measured here, beside Tarvex. With TARVEX_TRACE_STARTUP=1
// it prints the monotonic time of its first frame on stderr, as Tarvex does.

#include "traced_window.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

QFont makeFont(const char* family, qreal points, bool bold) {
    QFont f(QString::fromLatin1(family));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

template <typename Control>
Control* place(Control* control, const QRect& geometry, const QFont& f, const QColor& colour = {},
               QPalette::ColorRole role = QPalette::WindowText) {
    control->setGeometry(geometry);
    control->setFont(f);
    if (colour.isValid()) {
        QPalette palette = control->palette();
        palette.setColor(role, colour);
        control->setPalette(palette);
    }
    return control;
}

class Window final : public tarvex::bench::TracedWindow {
public:
    Window()
        : TracedWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                    Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
        const QColor darkBlue(0, 0, 128);
        const QFont sans = makeFont("MS Sans Serif", 8.25, false);
        const QFont sansBold = makeFont("MS Sans Serif", 8.25, true);
        const QFont arialFrame = makeFont("Arial", 8.25, true);
        const QFont arialButton = makeFont("Arial", 9, true);
        const QFont arialText = makeFont("Arial", 9.75, true);
        setWindowTitle(QStringLiteral("Tarvex - GUI"));
        setFont(sans);
        setBackgroundRole(QPalette::Button);
        setAutoFillBackground(true);
        setGeometry(twips(5610, 3480, 4680, 3840));
        setFixedSize(size());

        auto* ports = place(new QGroupBox(QStringLiteral("Select Com Port"), this),
                            twips(120, 120, 4455, 735), sansBold, darkBlue);
        auto* combo = place(new QComboBox(ports), twips(240, 240, 975, 315), sans);
        combo->setEditable(true);
        combo->setCompleter(nullptr);
        for (int port = 1; port <= 40; ++port)
            combo->addItem(QStringLiteral("COM%1").arg(port));
        place(new QPushButton(QStringLiteral("Connect"), ports), twips(1560, 240, 975, 375),
              sansBold);

        auto* modem = place(new QGroupBox(QStringLiteral("Modem Interface"), this),
                            twips(120, 1080, 4455, 2655), sansBold, darkBlue);
        auto* smsData = place(new QGroupBox(QStringLiteral("SMS Data "), modem),
                              twips(120, 240, 4215, 855), arialFrame);
        place(new QLineEdit(smsData), twips(120, 240, 3975, 375), arialText, darkBlue,
              QPalette::Text);
        auto* number = place(new QGroupBox(QStringLiteral("Mobile Number"), modem),
                             twips(120, 1200, 1935, 855), arialFrame);
        place(new QLineEdit(QStringLiteral("+91"), number), twips(120, 360, 1575, 375), arialText,
              darkBlue, QPalette::Text)
            ->setFocus();
        const auto graphical = [](QPushButton* button, const QColor& background) {
            QPalette palette = button->palette();
            palette.setColor(QPalette::Button, background);
            button->setPalette(palette);
            button->setAutoFillBackground(true);
        };
        graphical(place(new QPushButton(QStringLiteral("Send SMS"), modem),
                        twips(3000, 1680, 1335, 375), arialButton),
                  QColor(224, 224, 224));
        graphical(place(new QPushButton(QStringLiteral("Test Modem Communication"), modem),
                        twips(120, 2160, 4215, 375), arialButton),
                  QColor(192, 192, 192));
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Window window;
    window.show();
    return QApplication::exec();
}
