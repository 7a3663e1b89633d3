#include "frmAbout.h"

#include "modem/dialogue_platform.h"
#include "ui/frmResult.h"
#include "ui/qt_message_boxes.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

namespace tarvex {
namespace {

// The picture is 300 x 150; the window shows its top-left 295 x 149 and cuts the rest.
constexpr QSize kClientSize(295, 149);

} // namespace

QString applicationIconPath(int size) {
    return QStringLiteral(":/tarvex/icons/tarvex-%1.png").arg(size);
}

frmAbout::frmAbout(std::unique_ptr<Timer> timer, MainWindowFactory makeMainWindow, QWidget* parent)
    // A frameless tool window: no caption, system menu or boxes, and no task-bar
    // button (Windows gives tool windows none; X11 task bars skip utility windows).
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
    , Timer1(*timer)
    , timer_(std::move(timer))
    , makeMainWindow_(std::move(makeMainWindow))
    , picture_(kSplashPicturePath) {
    setObjectName(QStringLiteral("frmAbout"));
    setAccessibleName(QStringLiteral("Tarvex"));
    setAccessibleDescription(
        QStringLiteral("Tarvex, GSM modem test, is starting. The main window opens shortly."));
    // Closing the splash must not end the application: at that moment it is the
    // only window, and the main window appears only after it has gone.
    setAttribute(Qt::WA_QuitOnClose, false);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    setFixedSize(kClientSize);

    QObject::connect(&Timer1, &Timer::tick, this, &frmAbout::Timer1_Timer);
    Timer1.setInterval(kSplashDuration);
    Timer1.setEnabled(true);
    Form_Load();
}

frmAbout::~frmAbout() = default;

std::unique_ptr<frmAbout> frmAbout::system(std::shared_ptr<SessionLog> log, int lineSpeed) {
    return std::make_unique<frmAbout>(
        std::make_unique<QtTimer>(), [log = std::move(log), lineSpeed] {
            // Set only now: the splash has no icon, and decoding every size up to 256 px
            // before its first frame would only delay it.
            QApplication::setWindowIcon(applicationIcon());
            auto window = std::make_unique<frmResult>(
                withSessionLog(DialoguePlatform::system(std::make_unique<QtMessageBoxes>(),
                                                        std::make_unique<SystemPause>()),
                               log),
                endTheProcess);
            window->dialogue().setLineSpeed(lineSpeed);
            return window;
        });
}

void endTheProcess() {
    std::fflush(nullptr);
    std::_Exit(EXIT_SUCCESS);
}

QIcon applicationIcon() {
    QIcon icon;
    for (const int size : kApplicationIconSizes)
        icon.addFile(applicationIconPath(size), QSize(size, size));
    return icon;
}

void frmAbout::Form_Load() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect placed(QPoint(), size());
        placed.moveCenter(screen->geometry().center());
        move(placed.topLeft());
    }
    setCursor(Qt::WaitCursor);
}

void frmAbout::Timer1_Timer() {
    close();
    if (!mainWindow_)
        mainWindow_ = makeMainWindow_();
    mainWindow_->show();
    // The splash is closed; changing its pointer does not show it again.
    unsetCursor();
    Timer1.setEnabled(false);
}

void frmAbout::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(QPoint(0, 0), picture_);
}

} // namespace tarvex
