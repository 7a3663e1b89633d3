#include "rig.h"

#include "log/session_log.h"
#include "modem/dialogue_platform.h"
#include "platform/message_boxes.h"

#include <QLineEdit>

namespace tarvex::bench {

Modem::Modem(PtyPeer& peer)
    : peer_(peer) {
    peer_.setOnByte([this](char byte, Clock::time_point at) { onByte(byte, at); });
}

Modem::~Modem() {
    peer_.setOnByte({});
}

void Modem::reset() {
    peer_.setOnByte({});
    line_.clear();
    peer_.setOnByte([this](char byte, Clock::time_point at) { onByte(byte, at); });
}

void Modem::clearReactions() {
    std::lock_guard lock(mutex_);
    reactions_.clear();
}

std::vector<double> Modem::reactionsMs() const {
    std::lock_guard lock(mutex_);
    return reactions_;
}

void Modem::onByte(char byte, Clock::time_point at) {
    if (awaitingEchoOff_ && byte == 'A') {
        awaitingEchoOff_ = false;
        std::lock_guard lock(mutex_);
        reactions_.push_back(milliseconds(at - kWritten_));
    }
    if (byte == 26) {
        line_.clear();
        peer_.write("\r\n+CMGS: 7\r\n\r\nOK\r\n");
        return;
    }
    if (byte == '\n')
        return;
    if (byte != '\r') {
        line_.push_back(byte);
        return;
    }
    if (line_ == "AT") {
        peer_.write("\r\nO");
        kWritten_ = Clock::now();
        awaitingEchoOff_ = true;
        peer_.write("K\r\n");
    } else if (line_ == "AT+CMGF=1") {
        peer_.write("\r\nOK\r\n");
    } else if (line_.rfind("AT+CMGS=", 0) == 0) {
        peer_.write("\r\n> ");
    }
    line_.clear();
}

Window::Window(const std::string& device, const QString& logFolder, bool connectNow) {
    qputenv("TARVEX_COM1", QByteArray::fromStdString(device));
    auto recorder = std::make_unique<RecordingMessageBoxes>();
    boxes = recorder.get();
    DialoguePlatform platform =
        DialoguePlatform::system(std::move(recorder), std::make_unique<SystemPause>());
    if (!logFolder.isEmpty())
        platform =
            withSessionLog(std::move(platform),
                           std::make_shared<SessionLog>(SessionLog::Options{logFolder, false, {}}));
    window = std::make_unique<frmResult>(std::move(platform), [] {});
    window->show();
    if (!connectNow)
        return;
    window->connect->click();
    if (!window->flags().PortConnected)
        qFatal("the window cannot open %s: %s", device.c_str(),
               qPrintable(boxes->texts.join(QLatin1Char(' '))));
}

bool Window::clickForBox(QPushButton* button, std::chrono::milliseconds timeout) {
    const auto before = boxes->texts.size();
    button->click();
    return waitUntil([&] { return boxes->texts.size() > before; }, timeout);
}

void Window::fillSms(const QString& body) {
    window->txtMobileNo->setText(kSmsNumber);
    window->txtDat->setText(body);
}

} // namespace tarvex::bench
