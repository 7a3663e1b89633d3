// The main window as the operator first sees it, and its close question.

#include "fake_world.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { world_ = std::make_unique<FakeWorld>(); }
    void cleanup() { world_.reset(); }

    void controlTable_data();
    void controlTable();
    void windowProperties();
    void initialState();
    void keyboardOrder();
    void bodyLimit_data();
    void bodyLimit();
    void typingIntoPortListSelectsNothing();
    void quitAnsweredNoChangesNothing();
    void quitAnsweredYesEndsProcess();
    void framesStartNothing();
    void accessibleNames_data();
    void accessibleNames();
    void entriesTellWhatTheyStandFor();

private:
    frmResult& w() { return *world_->window; }
    std::unique_ptr<FakeWorld> world_;
};

void TestMainWindow::controlTable_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry"); // pixels: twips / 15
    QTest::addColumn<QString>("family");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("bold");

    const QString sans = QStringLiteral("MS Sans Serif");
    const QString arial = QStringLiteral("Arial");
    QTest::newRow("Frame2") << "Frame2"
                            << "frmResult"
                            << "Select Com Port" << QRect(8, 8, 297, 49) << sans << 8.25 << true;
    QTest::newRow("Combo1") << "Combo1"
                            << "Frame2"
                            << "" << QRect(16, 16, 65, 21) << sans << 8.25 << false;
    QTest::newRow("connect") << "connect"
                             << "Frame2"
                             << "Connect" << QRect(104, 16, 65, 25) << sans << 8.25 << true;
    QTest::newRow("fraResult") << "fraResult"
                               << "frmResult"
                               << "Modem Interface" << QRect(8, 72, 297, 177) << sans << 8.25
                               << true;
    QTest::newRow("Frame1") << "Frame1"
                            << "fraResult"
                            << "SMS Data " << QRect(8, 16, 281, 57) << arial << 8.25 << true;
    QTest::newRow("txtDat") << "txtDat"
                            << "Frame1"
                            << "" << QRect(8, 16, 265, 25) << arial << 9.75 << true;
    QTest::newRow("Command7") << "Command7"
                              << "fraResult"
                              << "Send SMS" << QRect(200, 112, 89, 25) << arial << 9.0 << true;
    QTest::newRow("cmdTest") << "cmdTest"
                             << "fraResult"
                             << "Test Modem Communication" << QRect(8, 144, 281, 25) << arial << 9.0
                             << true;
    QTest::newRow("fras(1)") << "fras"
                             << "fraResult"
                             << "Mobile Number" << QRect(8, 80, 129, 57) << arial << 8.25 << true;
    QTest::newRow("txtMobileNo") << "txtMobileNo"
                                 << "fras"
                                 << "+91" << QRect(8, 24, 105, 25) << arial << 9.75 << true;
}

void TestMainWindow::controlTable() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    QFETCH(QString, family);
    QFETCH(qreal, points);
    QFETCH(bool, bold);

    auto* control = w().findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(control->font().family(), family);
    QCOMPARE(control->font().pointSizeF(), points);
    QCOMPARE(control->font().bold(), bold);
    QVERIFY(control->isEnabled());
    if (auto* frame = qobject_cast<QGroupBox*>(control))
        QCOMPARE(frame->title(), caption);
    else if (auto* button = qobject_cast<QPushButton*>(control))
        QCOMPARE(button->text(), caption);
    else if (auto* box = qobject_cast<QLineEdit*>(control))
        QCOMPARE(box->text(), caption);
}

void TestMainWindow::windowProperties() {
    QCOMPARE(w().windowTitle(), QStringLiteral("Tarvex - GUI"));
    QCOMPARE(w().geometry(), QRect(374, 232, 312, 256));
    QCOMPARE(w().minimumSize(), w().maximumSize()); // fixed border: not resizable
    const Qt::WindowFlags flags = w().windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w().Frame2->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    QCOMPARE(w().fraResult->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    QVERIFY(w().Frame1->palette().color(QPalette::WindowText) != QColor(0, 0, 128));
    QCOMPARE(w().txtDat->palette().color(QPalette::Text), QColor(0, 0, 128));
    QCOMPARE(w().txtMobileNo->palette().color(QPalette::Text), QColor(0, 0, 128));
    QCOMPARE(w().Command7->palette().color(QPalette::Button), QColor(224, 224, 224));
    QCOMPARE(w().cmdTest->palette().color(QPalette::Button), QColor(192, 192, 192));
    QCOMPARE(world_->replyTimer->interval(), std::chrono::milliseconds(2000));
}

void TestMainWindow::initialState() {
    w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&w()));
    QCOMPARE(w().Combo1->count(), 40);
    for (int i = 0; i < 40; ++i)
        QCOMPARE(w().Combo1->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    QCOMPARE(w().Combo1->currentIndex(), 0);
    QCOMPARE(w().Combo1->currentText(), QStringLiteral("COM1"));
    QCOMPARE(w().txtMobileNo->text(), QStringLiteral("+91"));
    QCOMPARE(w().txtDat->text(), QString());
    for (const StateFlag* flag : {&w().flags().GotO, &w().flags().ModemFound,
                                  &w().flags().PortConnected, &w().flags().DetectDone})
        QVERIFY(!*flag);
    QVERIFY(!w().Timer1.isEnabled());
    QVERIFY(w().connect->isVisible());
    QVERIFY(world_->serial->configuration.isEmpty());
    QVERIFY(world_->serial->written.isEmpty());
}

void TestMainWindow::keyboardOrder() {
    const QList<QWidget*> expected{w().txtMobileNo, w().cmdTest, w().Command7,
                                   w().txtDat,      w().connect, w().Combo1};
    for (qsizetype i = 0; i + 1 < expected.size(); ++i) {
        QWidget* next = expected[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus || !expected.contains(next)) {
            QVERIFY2(next != expected[i], "focus chain is broken");
            next = next->nextInFocusChain();
        }
        QCOMPARE(next->objectName(), expected[i + 1]->objectName());
    }
    for (QGroupBox* frame : {w().Frame1, w().Frame2, w().fraResult, w().fras.at(1)})
        QCOMPARE(frame->focusPolicy(), Qt::NoFocus);
}

void TestMainWindow::bodyLimit_data() {
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("kept");
    const QString text34 = QString(34, QLatin1Char('x'));
    QTest::newRow("typed 34") << false << text34 << text34;
    QTest::newRow("typed 35") << false << text34 + QLatin1Char('y') << text34;
    QTest::newRow("pasted 35") << true << text34 + QLatin1Char('y') << text34;
    QTest::newRow("pasted 10000") << true << QString(10000, QLatin1Char('z'))
                                  << QString(34, QLatin1Char('z'));
}

void TestMainWindow::bodyLimit() {
    QFETCH(bool, paste);
    QFETCH(QString, input);
    QFETCH(QString, kept);
    w().show();
    w().txtDat->setFocus();
    if (paste) {
        QApplication::clipboard()->setText(input);
        w().txtDat->paste();
    } else {
        QTest::keyClicks(w().txtDat, input);
    }
    QCOMPARE(w().txtDat->text(), kept);
}

void TestMainWindow::typingIntoPortListSelectsNothing() {
    w().show();
    w().Combo1->lineEdit()->selectAll();
    QTest::keyClicks(w().Combo1->lineEdit(), QStringLiteral("COM7"));
    QCOMPARE(w().Combo1->currentText(), QStringLiteral("COM7"));
    QCOMPARE(w().Combo1->currentIndex(), -1);
    QCOMPARE(w().Combo1->count(), 40);
}

void TestMainWindow::quitAnsweredNoChangesNothing() {
    world_->connectPort();
    w().txtDat->setText(QStringLiteral("hello"));
    world_->boxes->answers = {false, false};
    for (int request = 0; request < 2; ++request) {
        QVERIFY(!w().close());
        QCOMPARE(world_->boxes->shown.size(), request + 1);
        const Shown& question = world_->boxes->shown.last();
        QCOMPARE(question.kind, Shown::Ask);
        QCOMPARE(question.caption, QStringLiteral("Quitting............"));
        QCOMPARE(question.text, QStringLiteral("Are you sure want to quit?"));
    }
    QCOMPARE(world_->processEnds, 0);
    QVERIFY(world_->serial->PortOpen());
    QVERIFY(w().flags().PortConnected);
    QCOMPARE(w().txtDat->text(), QStringLiteral("hello"));
    QCOMPARE(w().txtMobileNo->text(), QStringLiteral("+91"));
    QVERIFY(world_->serial->configuration.isEmpty()); // the port was neither closed nor touched
}

void TestMainWindow::quitAnsweredYesEndsProcess() {
    world_->boxes->answers = {true};
    QCloseEvent event;
    QApplication::sendEvent(&w(), &event);
    QCOMPARE(world_->processEnds, 1);
    QVERIFY(world_->serial->configuration.isEmpty());
}

void TestMainWindow::framesStartNothing() {
    w().show();
    for (QGroupBox* frame : {w().Frame1, w().Frame2, w().fraResult, w().fras.at(1)})
        QTest::mouseClick(frame, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::keyClicks(w().txtMobileNo, QStringLiteral("12345"));
    QTest::keyClicks(w().txtDat, QStringLiteral("hello"));
    QVERIFY(world_->boxes->shown.isEmpty());
    QVERIFY(world_->serial->configuration.isEmpty());
    QVERIFY(world_->serial->written.isEmpty());
}

// What a screen reader announces for each control: its role, its own name (a
// frame inside a frame is not named after the outer one) and its value.
void TestMainWindow::accessibleNames_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("Frame2") << "Frame2" << QAccessible::Grouping << "Select Com Port"
                            << "";
    QTest::newRow("Combo1") << "Combo1" << QAccessible::ComboBox << "COM port"
                            << "COM1";
    QTest::newRow("connect") << "connect" << QAccessible::Button << "Connect"
                             << "";
    QTest::newRow("fraResult") << "fraResult" << QAccessible::Grouping << "Modem Interface"
                               << "";
    QTest::newRow("Frame1") << "Frame1" << QAccessible::Grouping << "SMS Data"
                            << "";
    QTest::newRow("txtDat") << "txtDat" << QAccessible::EditableText << "SMS Data"
                            << "";
    QTest::newRow("Command7") << "Command7" << QAccessible::Button << "Send SMS"
                              << "";
    QTest::newRow("cmdTest") << "cmdTest" << QAccessible::Button << "Test Modem Communication"
                             << "";
    QTest::newRow("fras(1)") << "fras" << QAccessible::Grouping << "Mobile Number"
                             << "";
    QTest::newRow("txtMobileNo") << "txtMobileNo" << QAccessible::EditableText << "Mobile Number"
                                 << "+91";
}

void TestMainWindow::accessibleNames() {
    QFETCH(QString, control);
    QFETCH(QAccessible::Role, role);
    QFETCH(QString, name);
    QFETCH(QString, value);
    w().show();
    QAccessibleInterface* a =
        QAccessible::queryAccessibleInterface(w().findChild<QWidget*>(control));
    QVERIFY(a);
    QCOMPARE(a->role(), role);
    QCOMPARE(a->text(QAccessible::Name), name);
    QCOMPARE(a->text(QAccessible::Value), value);
}

// Each entry's tooltip and accessible description say what it stands for, as
// things are when the list opens; nothing is looked up while it is closed.
void TestMainWindow::entriesTellWhatTheyStandFor() {
    const auto details = [this](int index) {
        const QVariant tip = w().Combo1->itemData(index, Qt::ToolTipRole);
        const QVariant description = w().Combo1->itemData(index, Qt::AccessibleDescriptionRole);
        return tip == description ? tip.toString() : QStringLiteral("differ");
    };
    w().show();
    QCOMPARE(world_->ports->reads, 0);
    w().Combo1->showPopup();
    QCOMPARE(world_->ports->reads, 1);
    QCOMPARE(details(20), QStringLiteral("/dev/fake21: no device present"));
    w().Combo1->hidePopup();

    // Plugged in after start: it shows the next time the list opens.
    world_->ports->plug(presentPort(21, "/dev/ttyACM0", "Telit", "LE910", "0123", 0));
    QCoreApplication::processEvents();
    QCOMPARE(world_->ports->reads, 1);
    QTest::keyClick(w().Combo1, Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(world_->ports->reads, 2);
    QCOMPARE(details(20), QStringLiteral("/dev/ttyACM0: device present\nManufacturer: Telit\n"
                                         "Product: LE910\nSerial number: 0123\nUSB interface: 0"));
    QCOMPARE(details(0), QStringLiteral("/dev/fake1: no device present"));
    QCOMPARE(details(39), QStringLiteral("/dev/fake40: no device present"));
    QVERIFY(world_->serial->configuration.isEmpty()); // the port itself is left alone
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
