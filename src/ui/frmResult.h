#pragma once
// The main window: every control the operator uses. Its buttons drive the modem
// dialogue, which owns the serial control, the reply timer and the state flags.

#include "modem/modem_dialogue.h"

#include <QWidget>
#include <functional>
#include <map>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace tarvex {

class frmResult : public QWidget {
    Q_OBJECT
public:
    // `endProcess` ends the process at once, without further handlers.
    frmResult(DialoguePlatform platform, std::function<void()> endProcess,
              QWidget* parent = nullptr);
    ~frmResult() override;

    const StateFlags& flags() const { return dialogue_.flags(); }
    bool smsInProgress() const { return dialogue_.smsInProgress(); }
    ModemDialogue& dialogue() { return dialogue_; }

    // Event handlers. Each runs behind the dialogue's boundary when an event starts it.
    void Form_Load();
    void connect_Click();
    void Combo1_DropDown();
    void MSComm1_OnComm() { dialogue_.MSComm1_OnComm(); }
    void cmdTest_Click() { dialogue_.cmdTest_Click(); }
    void Timer1_Timer() { dialogue_.Timer1_Timer(); }
    void Command7_Click();

    void SendComm(const QString& text) { dialogue_.SendComm(text); }
    void HandleInput(const QString& InBuff) { dialogue_.HandleInput(InBuff); }

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
    template <typename Handler> void handlerBoundary(Handler&& handler) {
        dialogue_.run(std::forward<Handler>(handler));
    }

    DialoguePlatform platform_;
    std::function<void()> endProcess_;
    MessageBoxes& boxes_;
    PortDirectory& ports_;
    ModemDialogue dialogue_;
    bool controlsMade_ = false; // no look is applied before there is anything to colour
};

} // namespace tarvex
