#include "frmResult.h"

#include "colour_scheme.h"
#include "log/session_log.h"
#include "modem/sms_input.h"
#include "port_list.h"
#include "window_look.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace tarvex {
namespace {

// Positions and sizes are given in twips; 15 twips are one pixel at 96 dpi, and
// Qt's high-DPI scaling takes care of other screens.
constexpr int px(int twips) {
    return twips / 15;
}

QRect twipRect(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

QFont makeFont(const QString& family, qreal points, bool bold) {
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QGroupBox* frame(QWidget* container, const QString& caption, const QRect& geometry,
                 const QFont& f) {
    auto* box = new QGroupBox(caption, container);
    box->setGeometry(geometry);
    box->setFont(f);
    box->setFocusPolicy(Qt::NoFocus);
    // Without a name of its own, a frame inside a frame is announced by the outer caption.
    box->setAccessibleName(caption.trimmed());
    return box;
}

QPushButton* button(QWidget* container, const QString& caption, const QRect& geometry,
                    const QFont& f) {
    auto* b = new QPushButton(caption, container);
    b->setGeometry(geometry);
    b->setFont(f);
    b->setAutoDefault(false);
    return b;
}

QLineEdit* textBox(QWidget* container, const QRect& geometry, const QFont& f) {
    auto* box = new QLineEdit(container);
    box->setGeometry(geometry);
    box->setFont(f);
    return box;
}

} // namespace

frmResult::frmResult(DialoguePlatform platform, std::function<void()> endProcess, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
    , MSComm1(*platform.serial)
    , Timer1(*platform.replyTimer)
    , platform_(std::move(platform))
    , endProcess_(std::move(endProcess))
    , boxes_(*platform_.boxes)
    , ports_(*platform_.ports)
    , dialogue_(platform_) {
    createControls();
    wireEvents();
    Form_Load();
}

frmResult::~frmResult() = default;

void frmResult::createControls() {
    setObjectName(QStringLiteral("frmResult"));
    setWindowTitle(QStringLiteral("Tarvex - GUI"));
    setWindowIcon(QIcon(QStringLiteral(":/tarvex/icons/tarvex-32.png")));
    setFont(makeFont(QStringLiteral("MS Sans Serif"), 8.25, false));
    setBackgroundRole(kFormBackgroundRole);
    setAutoFillBackground(true);
    // Placed by hand, not centred: the client area opens at (5610, 3480) twips.
    setGeometry(twipRect(5610, 3480, 4680, 3840));
    setFixedSize(px(4680), px(3840));

    const QFont sansBold = makeFont(QStringLiteral("MS Sans Serif"), 8.25, true);
    const QFont arialFrame = makeFont(QStringLiteral("Arial"), 8.25, true);
    const QFont arialButton = makeFont(QStringLiteral("Arial"), 9, true);
    const QFont arialText = makeFont(QStringLiteral("Arial"), 9.75, true);

    Frame2 =
        frame(this, QStringLiteral("Select Com Port"), twipRect(120, 120, 4455, 735), sansBold);
    Combo1 = new PortList(Frame2);
    Combo1->setEditable(true);
    Combo1->setGeometry(twipRect(240, 240, 975, 315));
    Combo1->setFont(makeFont(QStringLiteral("MS Sans Serif"), 8.25, false));
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setEditText(QStringLiteral("Combo1"));
    Combo1->setCompleter(nullptr);
    connect = button(Frame2, QStringLiteral("Connect"), twipRect(1560, 240, 975, 375), sansBold);

    fraResult =
        frame(this, QStringLiteral("Modem Interface"), twipRect(120, 1080, 4455, 2655), sansBold);
    Frame1 =
        frame(fraResult, QStringLiteral("SMS Data "), twipRect(120, 240, 4215, 855), arialFrame);
    txtDat = textBox(Frame1, twipRect(120, 240, 3975, 375), arialText);
    txtDat->setMaxLength(int(kMaxSmsBodyLength));
    Command7 =
        button(fraResult, QStringLiteral("Send SMS"), twipRect(3000, 1680, 1335, 375), arialButton);
    cmdTest = button(fraResult, QStringLiteral("Test Modem Communication"),
                     twipRect(120, 2160, 4215, 375), arialButton);
    fras[1] = frame(fraResult, QStringLiteral("Mobile Number"), twipRect(120, 1200, 1935, 855),
                    arialFrame);
    txtMobileNo = textBox(fras[1], twipRect(120, 360, 1575, 375), arialText);

    Frame2->setObjectName(QStringLiteral("Frame2"));
    Combo1->setObjectName(QStringLiteral("Combo1"));
    connect->setObjectName(QStringLiteral("connect"));
    fraResult->setObjectName(QStringLiteral("fraResult"));
    Frame1->setObjectName(QStringLiteral("Frame1"));
    txtDat->setObjectName(QStringLiteral("txtDat"));
    Command7->setObjectName(QStringLiteral("Command7"));
    cmdTest->setObjectName(QStringLiteral("cmdTest"));
    fras[1]->setObjectName(QStringLiteral("fras"));
    txtMobileNo->setObjectName(QStringLiteral("txtMobileNo"));

    // Screen readers speak the caption of buttons and frames; the boxes need names.
    txtMobileNo->setAccessibleName(QStringLiteral("Mobile Number"));
    txtDat->setAccessibleName(QStringLiteral("SMS Data"));
    Combo1->setAccessibleName(QStringLiteral("COM port"));

    // Keyboard order: the ascending tab index of the focusable controls.
    QWidget::setTabOrder(txtMobileNo, cmdTest);
    QWidget::setTabOrder(cmdTest, Command7);
    QWidget::setTabOrder(Command7, txtDat);
    QWidget::setTabOrder(txtDat, connect);
    QWidget::setTabOrder(connect, Combo1);
    txtMobileNo->setFocus();

    controlsMade_ = true;
    applyLook();
}

// The colours the scheme calls for, set whole each time: what an earlier scheme set
// does not linger, and a switch lands where a start in the new scheme would.
void frmResult::applyLook() {
    const WindowLook look =
        lookFor(QApplication::palette(this), colour_scheme::systemHighContrast());
    setPalette(look.form);
    Frame2->setPalette(look.accentCaptions);
    fraResult->setPalette(look.accentCaptions);
    Frame1->setPalette(look.plainCaptions);
    fras[1]->setPalette(look.plainCaptions);
    txtDat->setPalette(look.textBoxes);
    txtMobileNo->setPalette(look.textBoxes);
    Command7->setPalette(look.sendButton);
    cmdTest->setPalette(look.testButton);
    Command7->setAutoFillBackground(look.graphicalFaces);
    cmdTest->setAutoFillBackground(look.graphicalFaces);
}

bool frmResult::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::ApplicationPaletteChange: // a desktop's scheme switch, qt6ct's
    case QEvent::ThemeChange:              // Windows' light, dark and contrast themes
    case QEvent::StyleChange:
        if (controlsMade_)
            applyLook();
        break;
    default:
        break;
    }
    return handled;
}

void frmResult::wireEvents() {
    // Typed text selects no entry, whatever it reads: Connect then refuses port 0
    // instead of opening an entry the operator did not choose.
    QLineEdit* portText = Combo1->lineEdit();
    QObject::connect(portText, &QLineEdit::textEdited, this, [this, portText](const QString& text) {
        const int cursor = portText->cursorPosition();
        Combo1->setCurrentIndex(-1);
        Combo1->setEditText(text);
        portText->setCursorPosition(cursor);
    });
    QObject::connect(static_cast<PortList*>(Combo1), &PortList::dropDown, this,
                     [this] { handlerBoundary([this] { Combo1_DropDown(); }); });
    QObject::connect(connect, &QPushButton::clicked, this,
                     [this] { handlerBoundary([this] { connect_Click(); }); });
    QObject::connect(cmdTest, &QPushButton::clicked, this,
                     [this] { handlerBoundary([this] { cmdTest_Click(); }); });
    QObject::connect(Command7, &QPushButton::clicked, this,
                     [this] { handlerBoundary([this] { Command7_Click(); }); });
    // What the dialogue's outcomes change on the window.
    QObject::connect(&dialogue_, &ModemDialogue::connectedChanged, this,
                     [this](bool connected) { connect->setVisible(!connected); });
    QObject::connect(&dialogue_, &ModemDialogue::smsSendingChanged, this,
                     [this](bool sending) { Command7->setEnabled(!sending); });
    QObject::connect(&dialogue_, &ModemDialogue::smsFinished, this, [this](bool accepted) {
        if (!accepted)
            return; // the typed number and text stay for another try
        txtMobileNo->setText(kNumberPrefix);
        txtDat->setText(QString());
    });
}

// The entries tell what they stand for as things are when the list opens, so a
// modem plugged in after start shows up; nothing is looked up while the list is closed.
void frmResult::Combo1_DropDown() {
    for (const PortInfo& info : ports_.ports()) {
        const int index = info.port - kFirstPort;
        const QString details = portDetails(info);
        Combo1->setItemData(index, details, Qt::ToolTipRole);
        Combo1->setItemData(index, details, Qt::AccessibleDescriptionRole);
    }
}

void frmResult::Form_Load() {
    txtMobileNo->setText(kNumberPrefix);
    dialogue_.reset();
    for (int port = kFirstPort; port <= kLastPort; ++port)
        Combo1->addItem(comName(port));
    Combo1->setCurrentIndex(0);
}

void frmResult::closeEvent(QCloseEvent* event) {
    if (boxes_.ask(QStringLiteral("Quitting............"),
                   QStringLiteral("Are you sure want to quit?"))) {
        // No further handler runs; the port is released with the process.
        if (platform_.log) {
            platform_.log->note(QStringLiteral("the operator quit"));
            platform_.log->finish();
        }
        endProcess_();
        return;
    }
    event->ignore();
}

void frmResult::connect_Click() {
    // Only the index counts, never the text: typing into the list leaves index -1,
    // which is port 0 and refused by the control.
    dialogue_.openPort(static_cast<qint16>(Combo1->currentIndex() + 1));
}

void frmResult::Command7_Click() {
    dialogue_.sendSms(txtMobileNo->text(), txtDat->text());
}

} // namespace tarvex
