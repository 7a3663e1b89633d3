#include "application.h"
#include "command_line.h"
#include "frmAbout.h"
#include "platform/terminal.h"
#include "ui/colour_scheme.h"
#include "ui/frmResult.h"
#include "ui/window_look.h"
#include "window.h"

#include <QApplication>
#include <QEvent>
#include <QStyle>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace tarvex {
namespace {

QString lookName() {
    const QPalette scheme = QApplication::palette();
    if (!lookFor(scheme, colour_scheme::systemHighContrast()).graphicalFaces)
        return QStringLiteral("high contrast");
    return scheme.color(QPalette::Window).lightness() < 128 ? QStringLiteral("dark")
                                                            : QStringLiteral("light");
}

// The window's platform, style and look, for the log's header.
QString windowSurface() {
    return QStringLiteral("Qt platform: %1, style: %2, look: %3")
        .arg(QGuiApplication::platformName(), QApplication::style()->name(), lookName());
}

// TARVEX_TRACE_STARTUP=1: the time of the first frame of the splash and of the main
// window on the steady clock, in nanoseconds, on stderr, for the start-up benchmark.
// On Linux that clock is CLOCK_MONOTONIC, which the benchmark reads as well.
class StartupTrace final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        if (!splashSeen_ && qobject_cast<frmAbout*>(watched))
            splashSeen_ = print("splash");
        else if (!mainSeen_ && qobject_cast<frmResult*>(watched))
            mainSeen_ = print("main");
        if (splashSeen_ && mainSeen_)
            deleteLater();
        return false;
    }

private:
    static bool print(const char* what) {
        const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        std::fprintf(stderr, "tarvex-startup %s %lld\n", what, static_cast<long long>(now.count()));
        std::fflush(stderr);
        return true;
    }
    bool splashSeen_ = false;
    bool mainSeen_ = false;
};

// Qt aborts inside QApplication when no platform can start; a window asked for where
// there is no display gets a paragraph instead, with the ways on.
void explainNoDisplay(const QString& why) {
    std::fprintf(stderr,
                 "tarvex: no window can be shown here: %s.\n"
                 "Its window needs a display. From another machine, log in with ssh -X (or -Y) "
                 "so that it shows there; or start it as 'tarvex -platform vnc' and open a VNC "
                 "viewer on port 5900 of this machine. Without a window, 'tarvex --check PORT' "
                 "tests the modem and 'tarvex --send PORT NUMBER \"TEXT\"' sends an SMS, "
                 "from any shell; see 'tarvex --help'.\n",
                 why.toLocal8Bit().constData());
}

// A display that answers can still turn the window away: an X server wants the cookie
// of the user who logged in, which sudo leaves behind. Qt then ends the process from
// inside QApplication; this handler gives the same paragraph and exit status instead.
QtMessageHandler qtsOwnHandler = nullptr;
bool displayRefused = false; // Qt said it could not connect to the display

QString whyQtGaveUp() {
    const QByteArray display = qgetenv("DISPLAY");
    if (displayRefused && !display.isEmpty())
        return QStringLiteral("the X display %1 would not let it in (under sudo, the X cookie "
                              "stays with the user who logged in: start Tarvex as that user, "
                              "a member of the dialout group)")
            .arg(QString::fromLocal8Bit(display));
    return QStringLiteral("Qt's platform plugin did not start (its own words are above)");
}

void onQtGivingUp(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        if (text.contains(QLatin1String("could not connect to display")))
            displayRefused = true;
        qtsOwnHandler(type, context, text);
        return;
    }
    explainNoDisplay(whyQtGaveUp());
    std::_Exit(1);
}

} // namespace

int runWindow(int& argc, char** argv, const WindowRequest& request) {
    // An X server that accepts the connection and hangs up at once may do so between
    // xcb's check and its first write: the write must fail, not kill the start, so that
    // Qt's "could not connect" is said as such.
    terminal::keepGoingOnBrokenPipe();
    if (!request.platformChosen) {
        if (const QString why = terminal::missingDisplay(); !why.isEmpty()) {
            explainNoDisplay(why);
            return 1;
        }
        qtsOwnHandler = qInstallMessageHandler(onQtGivingUp);
    }
    QApplication app(argc, argv);
    if (!request.platformChosen)
        qInstallMessageHandler(qtsOwnHandler);
    if (qEnvironmentVariableIsSet("TARVEX_TRACE_STARTUP"))
        app.installEventFilter(new StartupTrace(&app));
    setUpApplication();
    // Lets desktops match the windows to io.github.tarvex.Tarvex.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tarvex.Tarvex"));

    // The splash hands over to the main window and keeps it for the rest of the run.
    const std::unique_ptr<frmAbout> splash =
        frmAbout::system(startSessionLog(request.log, windowSurface()), request.baud);
    splash->show();
    return QApplication::exec();
}

} // namespace tarvex
