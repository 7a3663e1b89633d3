// tarvex-demo-autopilot OUTDIR NUMBER TEXT
//
// Plays the operator on the real Tarvex: splash, main window, Connect on COM1
// (TARVEX_COM1 points it at the virtual modem), Test Modem Communication, OK on
// "GSM Modem OK", the number and the text typed in, Send SMS, OK on "SMS Send".
// Saves a screenshot of each step in OUTDIR. Any other message box, or no end
// within 30 s, fails at once with a message on standard error.

#include "app/application.h"
#include "app/frmAbout.h"
#include "ui/frmResult.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto kOverallTimeout = 30s;
constexpr auto kSettle = 300ms; // a window is painted before its screenshot

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "tarvex-demo-autopilot: FAILED: %s\n", qPrintable(why));
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

QMessageBox* openBox() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

QString openBoxText() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        const QMessageBox* box = qobject_cast<QMessageBox*>(modal);
        return box ? box->text() : modal->windowTitle();
    }
    return {};
}

struct Step {
    QString what;                // for messages: what the autopilot is waiting for
    std::function<bool()> ready; // polled until true (and true for kSettle)
    std::function<void()> act;
    QString allowedBox = {}; // the one message box that may be open meanwhile
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tarvex::setUpApplication();
    const QStringList args = QApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: tarvex-demo-autopilot OUTDIR NUMBER TEXT\n");
        return 2;
    }
    const QDir out(args[1]);
    const QString number = args[2];
    const QString text = args[3];

    // The real start-up: the splash, then the main window on the real serial port,
    // message boxes and timers.
    const std::unique_ptr<tarvex::frmAbout> splash = tarvex::frmAbout::system(
        nullptr, tarvex::kLineSpeed); // no session log: a demo is no session
    splash->show();
    const auto window = [&] { return splash->mainWindow(); };

    // Saves the part of the screen the given windows cover.
    const auto shoot = [&](const QString& name, QList<QWidget*> widgets) {
        QRect area;
        for (const QWidget* w : widgets)
            area |= w->frameGeometry();
        QScreen* screen = widgets.first()->screen();
        area = area & screen->geometry();
        const QString file = out.filePath(name);
        if (!screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file))
            fail(QStringLiteral("cannot save %1").arg(file));
        std::printf("  screenshot %s\n", qPrintable(file));
        std::fflush(stdout);
    };
    const auto pressOk = [] { openBox()->button(QMessageBox::Ok)->click(); };

    std::vector<Step> steps{
        {"the splash", [&] { return splash->isVisible(); },
         [&] { shoot("0-splash.png", {splash.get()}); }},
        {"the main window", [&] { return window() && window()->isVisible(); },
         [&] {
             window()->activateWindow();
             shoot("1-main-window.png", {window()});
             QTest::mouseClick(window()->connect, Qt::LeftButton);
         }},
        {"the port to open", [&] { return bool(window()->flags().PortConnected); },
         [&] { QTest::mouseClick(window()->cmdTest, Qt::LeftButton); }},
        {"\"GSM Modem OK\"", [&] { return openBoxText() == "GSM Modem OK"; },
         [&] {
             shoot("2-gsm-modem-ok.png", {window(), openBox()});
             pressOk();
         },
         "GSM Modem OK"},
        {"the message box to close", [&] { return !openBox(); },
         [&] {
             window()->txtMobileNo->clear();
             QTest::keyClicks(window()->txtMobileNo, number);
             QTest::keyClicks(window()->txtDat, text);
             QTest::mouseClick(window()->Command7, Qt::LeftButton); // about 4 s on the wire
         }},
        {"\"SMS Send\"", [&] { return openBoxText() == "SMS Send"; },
         [&] {
             shoot("3-sms-send.png", {window(), openBox()});
             pressOk();
         },
         "SMS Send"},
        {"the form to clear", [&] { return !openBox() && window()->txtDat->text().isEmpty(); },
         [] { QApplication::exit(EXIT_SUCCESS); }},
    };

    // Two timers: a step's action may open a nested event loop (a message box),
    // in which the watchdog still runs while the stepping timer cannot.
    std::size_t next = 0;
    QElapsedTimer readyFor;
    QTimer stepper;
    QObject::connect(&stepper, &QTimer::timeout, [&] {
        if (next == steps.size() || !steps[next].ready()) {
            readyFor.invalidate();
            return;
        }
        if (!readyFor.isValid())
            readyFor.start();
        if (readyFor.elapsed() < kSettle.count())
            return;
        readyFor.invalidate();
        const Step& step = steps[next++];
        step.act();
    });
    QElapsedTimer running;
    running.start();
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        const QString waitingFor = next < steps.size() ? steps[next].what : QString("the end");
        const QString box = openBoxText();
        if (!box.isEmpty() && (next == steps.size() || box != steps[next].allowedBox))
            fail(QStringLiteral("unexpected message box \"%1\" while waiting for %2")
                     .arg(box, waitingFor));
        if (running.elapsed() > std::chrono::milliseconds(kOverallTimeout).count())
            fail(QStringLiteral("no end after %1 s: still waiting for %2")
                     .arg(std::chrono::seconds(kOverallTimeout).count())
                     .arg(waitingFor));
    });
    stepper.start(50ms);
    watchdog.start(100ms);
    const int status = QApplication::exec();
    if (status == EXIT_SUCCESS)
        std::printf("  the operator saw \"GSM Modem OK\" and \"SMS Send\" (%.1f s)\n",
                    double(running.elapsed()) / 1000);
    return status;
}
