#pragma once
// The main window: every control the operator uses, the serial control, the
// reply timer and the state flags. The modem dialogue runs in its handlers.

#include "modem/sms_answer.h"
#include "platform/state_flag.h"
#include "platform/window_platform.h"

#include <QWidget>
#include <map>
#include <optional>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace tarvex {

class SerialError;

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
    // What the operator can connect to instead, when `error` says the device is missing.
    std::optional<QString> presentOnMissingDevice(const SerialError& error);
    // True when the port is open; otherwise the operator is told to connect first.
    bool requireConnection();
    void Sleep(std::chrono::milliseconds duration);
    // A line in the session log, when there is one.
    void note(const QString& text);
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
    bool smsSending_ = false;   // from the click until the operator is told the outcome
    bool controlsMade_ = false; // no look is applied before there is anything to colour
};

} // namespace tarvex
