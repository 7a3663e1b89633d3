#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex::vmodem {

enum class Sim { Ready, Pin, Puk, Absent };

// The values are 27.007's <stat>.
enum class Registration { None = 0, Home = 1, Searching = 2, Denied = 3, Roaming = 5, SmsOnly = 6 };

// The values are 27.007's <AcT>.
enum class Technology { Gsm = 0, Umts = 2, Lte = 7 };

struct ModemConfig {
    bool echoAfterReset = true;
    std::optional<int> cmsError;
    // Command lines (from "AT" on) that must fail; "*" fails every line.
    std::vector<std::string> errorOn;
    std::uint32_t firstMr = 1;

    // The states that decide whether an SMS can go. The defaults make a modem
    // that is ready to send.
    Sim sim = Sim::Ready;
    std::chrono::milliseconds simBusy{0}; // after the modem starts
    Registration registration = Registration::Home;
    Technology technology = Technology::Lte;
    std::optional<int> signalDbm = -73; // none: the modem hears nothing
    std::string smsc = "+447700900100"; // empty: none on the SIM
    bool radioOff = false;
    bool twoGOnly = false; // no +CEREG, no +CESQ, like a SIM800
};

struct Message {
    std::string number;
    std::string text;
    std::uint32_t mr = 0;
};

// Receives what the modem produces. Echo and answers are kept apart because
// the fault switches delay or garble answers but never the echo.
class ModemSink {
public:
    virtual ~ModemSink() = default;
    virtual void echo(std::string_view bytes) = 0;
    virtual void answer(std::string_view bytes) = 0;
    virtual void accepted(const Message& message) = 0;
    // Each command line run, from "AT" on, before its answer.
    virtual void commandLine(std::string_view line) = 0;
};

// A GSM modem's command interpreter: bytes in, echo/answers/messages out.
class Modem {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // The clock times the SIM's busy start; tests pass one they move by hand.
    explicit Modem(ModemConfig config, Clock clock = std::chrono::steady_clock::now);

    void feed(std::string_view bytes, ModemSink& sink);

    bool echoOn() const { return echo_; }
    bool textMode() const { return textMode_; }

private:
    void commandByte(char c, ModemSink& sink);
    void bodyByte(char c, ModemSink& sink);
    void endOfLine(ModemSink& sink);
    void reset();

    // Runs one command line (the text after "AT"); returns the full answer.
    std::string execute(std::string_view command);
    enum class Result { Ok, Error, Prompt, PduModeRefusal, CmeError };
    Result basicCommand(char prefix, char name, int value, std::string& info);
    Result extendedCommand(std::string_view command, std::string& info);
    std::optional<Result> readinessCommand(std::string_view name, std::string_view suffix,
                                           std::string& info);
    Result sendCommand(std::string_view suffix);
    Result cmeError(int code);
    bool forcedError(std::string_view line) const;
    std::string refusal() const;

    // What the states add up to at this moment.
    std::optional<int> simError() const; // the +CME ERROR code while the SIM is not ready
    int registrationStat() const;        // <stat>
    bool registered() const;
    std::optional<int> signalDbm() const;

    ModemConfig config_;
    Clock clock_;
    std::chrono::steady_clock::time_point started_;
    std::string line_;
    bool lastWasCr_ = false;

    bool echo_ = true;
    bool textMode_ = false;
    int cmee_ = 0;
    int cmeCode_ = 0; // of the last Result::CmeError
    std::string charset_ = "GSM";

    // Set while collecting an SMS body after the "> " prompt.
    bool inBody_ = false;
    std::string pendingNumber_;
    std::string body_;
    std::uint32_t nextMr_ = 1;
};

} // namespace tarvex::vmodem
