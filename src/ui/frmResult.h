#pragma once
// The main window: every control the operator uses, the serial control, the
// reply timer and the state flags. The modem dialogue runs in its handlers.

#include "modem/sms_answer.h"
#include "platform/message_boxes.h"
#include "platform/modFunctions.h"
#include "platform/port_names.h"
#include "platform/serial_control.h"
#include "platform/state_flag.h"
#include "platform/timer.h"

#include <QWidget>
#include <functional>
#include <map>
#include <memory>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace tarvex {

class SerialError;

// Everything the window needs from outside, so tests can put fakes in its place.
struct WindowPlatform {
    std::unique_ptr<SerialControl> serial;
    std::unique_ptr<Pause> pause;
    std::unique_ptr<MessageBoxes> boxes;
    std::unique_ptr<Timer> replyTimer;
    std::unique_ptr<Timer> smsTimer;
    // What each entry of the port list stands for, looked up without opening anything.
    std::unique_ptr<PortDirectory> ports;
    // Ends the process at once, without further handlers.
    std::function<void()> endProcess;

    // The real serial port, sleep, message boxes and timers.
    static WindowPlatform system();
};

struct StateFlags {
    StateFlag GotO;
    StateFlag ModemFound;
    StateFlag PortConnected;
    StateFlag DetectDone;
};

class frmResult : public QWidget {
    Q_OBJECT
public:
    explicit frmResult(WindowPlatform platform, QWidget* parent = nullptr);
    ~frmResult() override;

    const StateFlags& flags() const { return flags_; }
    bool smsInProgress() const { return smsSending_; }

    // Event handlers. Each runs behind handlerBoundary() when an event starts it.
    void Form_Load();
    void connect_Click();
    void Combo1_DropDown();
    void MSComm1_OnComm();
    void cmdTest_Click();
    void Timer1_Timer();
    void Command7_Click();

    void SendComm(const QString& text);
    void HandleInput(const QString& InBuff);

    // Controls, named as the operator's documentation names them.
    QGroupBox* Frame2 = nullptr;
    QComboBox* Combo1 = nullptr;
    QPushButton* connect = nullptr; // hides QObject::connect in this class: qualify calls
    QGroupBox* fraResult = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLineEdit* txtDat = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* cmdTest = nullptr;
    std::map<int, QGroupBox*> fras; // a control group whose only element is 1
    QLineEdit* txtMobileNo = nullptr;

    SerialControl& MSComm1;
    Timer& Timer1;

protected:
    void closeEvent(QCloseEvent* event) override; // Form_Unload
    bool event(QEvent* event) override;

private:
    void createControls();
    void wireEvents();
    void applyLook();
    template <typename Handler> void handlerBoundary(Handler&& handler);
    void onPlatformError(const SerialError& error);
    void onDeviceLost(const QString& report);
    void Sleep(std::chrono::milliseconds duration);
    void sendAttention();
    void smsTimer_Timer();
    void finishSms(const SmsOutcome& outcome);
    void abandonSms();

    WindowPlatform platform_;
    Pause& pause_;
    MessageBoxes& boxes_;
    Timer& smsTimer_;
    PortDirectory& ports_;
    StateFlags flags_;
    SmsAnswerReader sms_;
    bool smsSending_ = false; // from the click until the operator is told the outcome
};

} // namespace tarvex
