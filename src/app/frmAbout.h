#pragma once
// The splash window: the Tarvex picture for a fixed three seconds while the
// application starts, then the main window in its place.

#include "platform/timer.h"

#include <QIcon>
#include <QPixmap>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>

namespace tarvex {

class frmResult;
class SessionLog;

// How long the splash stays up. Fixed: nothing the operator does shortens it.
inline constexpr std::chrono::milliseconds kSplashDuration{3000};

// Where the artwork lives among the built-in resources.
inline const QString kSplashPicturePath = QStringLiteral(":/tarvex/splash.jpg");
QString applicationIconPath(int size);
// Every size of the application icon, for the desktop and the main window.
QIcon applicationIcon();
// The sizes the application icon comes in, smallest first (src/app/CMakeLists.txt).
inline constexpr int kApplicationIconSizes[] = {TARVEX_ICON_SIZES};

// The window's end when the operator quits: at once, with success, and without
// further handlers; the port is released with the process.
[[noreturn]] void endTheProcess();

class frmAbout : public QWidget {
    Q_OBJECT
public:
    using MainWindowFactory = std::function<std::unique_ptr<frmResult>()>;

    // The splash counts from here; `makeMainWindow` runs once, on the first tick.
    frmAbout(std::unique_ptr<Timer> timer, MainWindowFactory makeMainWindow,
             QWidget* parent = nullptr);
    ~frmAbout() override;

    // The real timer and a main window on the real serial port and message boxes,
    // with `log` (none when it is off) listening in; Connect sets `lineSpeed`.
    static std::unique_ptr<frmAbout> system(std::shared_ptr<SessionLog> log, int lineSpeed);

    void Form_Load();
    void Timer1_Timer();

    // The main window once the splash has handed over, null before.
    frmResult* mainWindow() const { return mainWindow_.get(); }
    const QPixmap& picture() const { return picture_; }

    Timer& Timer1;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<Timer> timer_;
    MainWindowFactory makeMainWindow_;
    // Lives as long as the splash, which main() keeps for the whole run.
    std::unique_ptr<frmResult> mainWindow_;
    QPixmap picture_;
};

} // namespace tarvex
