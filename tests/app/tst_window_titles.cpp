// The titles as the window system has them (WM_NAME and _NET_WM_NAME, read with
// xprop), with the application set up as the program sets it up.

#include "app/application.h"
#include "fake_world.h"
#include "ui/qt_message_boxes.h"

#include <QDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

// "WM_NAME" and "_NET_WM_NAME" of the window, in that order.
QStringList titlesOf(const QWidget* window) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window->winId()), QStringLiteral("WM_NAME"),
                 QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(10'000) || xprop.exitCode() != 0)
        return {QStringLiteral("xprop failed: ") +
                QString::fromLocal8Bit(xprop.readAllStandardError())};
    static const QRegularExpression property(
        QStringLiteral(R"re(^(_NET_)?WM_NAME\(\w+\) = "(.*)"$)re"),
        QRegularExpression::MultilineOption);
    QStringList titles;
    for (const QRegularExpressionMatch& m :
         property.globalMatch(QString::fromUtf8(xprop.readAll())))
        titles.append(m.captured(2));
    return titles;
}

} // namespace

class TestWindowTitles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setUpApplication(); }

    void mainWindow() {
        FakeWorld world;
        world.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(world.window.get()));
        const QString caption = QStringLiteral("Tarvex - GUI");
        QCOMPARE(titlesOf(world.window.get()), (QStringList{caption, caption}));
    }

    void messageBoxes_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("caption");
        QTest::newRow("information") << int(Shown::Inform) << "Test Tarvex";
        QTest::newRow("error report") << int(Shown::Report) << "Test Tarvex";
        QTest::newRow("question") << int(Shown::Ask) << "Quitting............";
    }

    void messageBoxes() {
        QFETCH(int, kind);
        QFETCH(QString, caption);
        QStringList titles;
        // Read while the box is open, then close it.
        QTimer::singleShot(0, this, [&titles] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (QTest::qWaitForWindowExposed(box))
                titles = titlesOf(box);
            box->done(0);
        });
        QtMessageBoxes boxes;
        if (kind == Shown::Inform)
            boxes.inform(QStringLiteral("GSM Modem OK"));
        else if (kind == Shown::Report)
            boxes.report(QStringLiteral("COM1 (/dev/ttyS0): No such file or directory."));
        else
            boxes.ask(caption, QStringLiteral("Are you sure want to quit?"));
        QCOMPARE(titles, (QStringList{caption, caption}));
    }
};

QTEST_MAIN(TestWindowTitles)
#include "tst_window_titles.moc"
