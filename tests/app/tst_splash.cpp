// The splash window: what it looks like, and how it hands over to the main window.

#include "app/frmAbout.h"
#include "fake_world.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using namespace tarvex;
using namespace tarvex::testing;

Q_DECLARE_METATYPE(std::function<void(QWidget*)>)

namespace {

QList<QWidget*> visibleWindows() {
    QList<QWidget*> shown;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            shown.append(w);
    }
    return shown;
}

int mainWindowCount() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<frmResult*>(w) != nullptr;
    return n;
}

} // namespace

class TestSplash : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void onlyTheSplashShowsUntilTheTick();
    void tickHandsOverToAnInitialisedMainWindow();
    void secondTickMakesNoSecondMainWindow();
    void closingTheSplashDoesNotEndTheApplication();
    void inputDoesNotChangeTheHandOver_data();
    void inputDoesNotChangeTheHandOver();
    void borderlessCentredAndOutOfTheTaskBar();
    void pictureIsDrawnUnscaledAndCutOff();
    void artworkIsBuiltIn_data();
    void artworkIsBuiltIn();

private:
    frmAbout& splash() { return *splash_; }

    VirtualClock clock_;
    FakeTimer* timer_ = nullptr;
    std::unique_ptr<FakeWorld> world_;
    std::unique_ptr<frmAbout> splash_;
    int made_ = 0;
    bool splashHiddenWhenMade_ = false;
};

void TestSplash::init() {
    clock_ = VirtualClock();
    made_ = 0;
    auto timer = std::make_unique<FakeTimer>(clock_);
    timer_ = timer.get();
    splash_ = std::make_unique<frmAbout>(std::move(timer), [this] {
        ++made_;
        splashHiddenWhenMade_ = !splash_->isVisible();
        world_ = std::make_unique<FakeWorld>();
        return std::move(world_->window);
    });
    splash_->show();
    QVERIFY(QTest::qWaitForWindowExposed(splash_.get()));
}

void TestSplash::cleanup() {
    // The splash owns the main window, whose fakes the world points at.
    splash_.reset();
    world_.reset();
}

void TestSplash::onlyTheSplashShowsUntilTheTick() {
    QCOMPARE(timer_->interval(), 3000ms);
    QVERIFY(timer_->isEnabled());

    clock_.run(2999ms);
    QCOMPARE(made_, 0);
    QCOMPARE(visibleWindows(), QList<QWidget*>{&splash()});
    QCOMPARE(splash().cursor().shape(), Qt::WaitCursor);

    clock_.run(1ms);
    QCOMPARE(made_, 1);
}

void TestSplash::tickHandsOverToAnInitialisedMainWindow() {
    clock_.run(kSplashDuration);

    QVERIFY(splashHiddenWhenMade_);
    frmResult* main = splash().mainWindow();
    QVERIFY(main);
    QCOMPARE(visibleWindows(), QList<QWidget*>{main});
    QVERIFY(!main->parentWidget());
    QVERIFY(!main->isModal());
    QCOMPARE(main->Combo1->currentText(), QStringLiteral("COM1"));
    QCOMPARE(main->txtMobileNo->text(), QStringLiteral("+91"));
    const StateFlags& flags = main->flags();
    for (const StateFlag* flag :
         {&flags.GotO, &flags.ModemFound, &flags.PortConnected, &flags.DetectDone})
        QVERIFY(!*flag);

    QVERIFY(splash().isHidden());
    QCOMPARE(splash().cursor().shape(), Qt::ArrowCursor);
    QVERIFY(!timer_->isEnabled());
    // Nothing brings it back later.
    clock_.run(1h);
    QVERIFY(splash().isHidden());
}

void TestSplash::secondTickMakesNoSecondMainWindow() {
    timer_->fire();
    frmResult* first = splash().mainWindow();
    timer_->fire();

    QCOMPARE(made_, 1);
    QCOMPARE(splash().mainWindow(), first);
    QCOMPARE(mainWindowCount(), 1);
    QVERIFY(first->isVisible());
    QVERIFY(splash().isHidden());
}

void TestSplash::closingTheSplashDoesNotEndTheApplication() {
    // For a moment the splash is the only window. Were it to count as the last
    // window closing, Qt would quit, first asking the new main window to close.
    // Qt reports that only from a running event loop.
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    QTimer::singleShot(0, this, [this] {
        timer_->fire();
        const auto quit = [] { QCoreApplication::exit(42); };
        QMetaObject::invokeMethod(qApp, quit, Qt::QueuedConnection);
    });
    QCOMPARE(QApplication::exec(), 42);
    QCOMPARE(lastClosed.count(), 0);
    QVERIFY(world_);
    QCOMPARE(world_->boxes->shown.size(), 0);
    QVERIFY(splash().mainWindow()->isVisible());
}

void TestSplash::inputDoesNotChangeTheHandOver_data() {
    using Input = std::function<void(QWidget*)>;
    QTest::addColumn<Input>("input");
    QTest::newRow("click") << Input([](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); });
    QTest::newRow("right click") << Input(
        [](QWidget* w) { QTest::mouseClick(w, Qt::RightButton); });
    QTest::newRow("double click") << Input(
        [](QWidget* w) { QTest::mouseDClick(w, Qt::LeftButton); });
    QTest::newRow("Escape") << Input([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    QTest::newRow("Enter") << Input([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
    QTest::newRow("Space") << Input([](QWidget* w) { QTest::keyClick(w, Qt::Key_Space); });
    QTest::newRow("letter") << Input([](QWidget* w) { QTest::keyClick(w, Qt::Key_A); });
}

void TestSplash::inputDoesNotChangeTheHandOver() {
    QFETCH(std::function<void(QWidget*)>, input);
    clock_.run(1000ms);
    input(&splash());

    QVERIFY(splash().isVisible());
    QCOMPARE(splash().cursor().shape(), Qt::WaitCursor);
    QCOMPARE(made_, 0);
    // Neither hurried nor held back: the hand-over stays three seconds after start.
    clock_.run(1999ms);
    QCOMPARE(made_, 0);
    clock_.run(1ms);
    QCOMPARE(made_, 1);
}

void TestSplash::borderlessCentredAndOutOfTheTaskBar() {
    const Qt::WindowFlags flags = splash().windowFlags();
    QCOMPARE(splash().windowType(), Qt::Tool);
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    for (const Qt::WindowType decoration : {Qt::WindowTitleHint, Qt::WindowSystemMenuHint,
                                            Qt::WindowMinMaxButtonsHint, Qt::WindowCloseButtonHint})
        QVERIFY(!flags.testFlag(decoration));

    QCOMPARE(splash().size(), QSize(295, 149));
    QCOMPARE(splash().minimumSize(), splash().maximumSize());
    const QPoint middle = splash().screen()->geometry().center();
    QVERIFY2((splash().geometry().center() - middle).manhattanLength() <= 1,
             qPrintable(QStringLiteral("centre at %1,%2")
                            .arg(splash().geometry().center().x())
                            .arg(splash().geometry().center().y())));

    QVERIFY(splash().autoFillBackground());
    QCOMPARE(splash().backgroundRole(), QPalette::Window);
    QVERIFY(!splash().accessibleName().isEmpty());
    QVERIFY(!splash().accessibleDescription().isEmpty());
}

void TestSplash::pictureIsDrawnUnscaledAndCutOff() {
    const QImage picture = QImage(kSplashPicturePath).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(picture.size(), QSize(300, 150));
    const QImage shown = splash().grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(295, 149));
    QCOMPARE(shown, picture.copy(0, 0, 295, 149));
}

void TestSplash::artworkIsBuiltIn_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("splash") << kSplashPicturePath << QSize(300, 150);
    // The main window asks for this one by name.
    QTest::newRow("window icon") << QStringLiteral(":/tarvex/icons/tarvex-32.png") << QSize(32, 32);
    for (const int n : kApplicationIconSizes)
        QTest::addRow("icon %d", n) << applicationIconPath(n) << QSize(n, n);
}

void TestSplash::artworkIsBuiltIn() {
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    if (path.endsWith(QLatin1String(".png")))
        QVERIFY(image.hasAlphaChannel());
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
