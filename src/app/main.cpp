#include "app/application.h"
#include "app/frmAbout.h"
#include "ui/frmResult.h"

#include <QApplication>
#include <QEvent>
#include <cstdio>
#include <ctime>

namespace {

// TARVEX_TRACE_STARTUP=1: the monotonic time of the first frame of the splash and
// of the main window, on stderr, for the start-up benchmark.
class StartupTrace final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        if (!splashSeen_ && qobject_cast<tarvex::frmAbout*>(watched))
            splashSeen_ = print("splash");
        else if (!mainSeen_ && qobject_cast<tarvex::frmResult*>(watched))
            mainSeen_ = print("main");
        if (splashSeen_ && mainSeen_)
            deleteLater();
        return false;
    }

private:
    static bool print(const char* what) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        std::fprintf(stderr, "tarvex-startup %s %lld\n", what,
                     static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
        std::fflush(stderr);
        return true;
    }
    bool splashSeen_ = false;
    bool mainSeen_ = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("TARVEX_TRACE_STARTUP"))
        app.installEventFilter(new StartupTrace(&app));
    tarvex::setUpApplication();

    // The splash hands over to the main window and keeps it for the rest of the run.
    const std::unique_ptr<tarvex::frmAbout> splash = tarvex::frmAbout::system();
    splash->show();
    return QApplication::exec();
}
