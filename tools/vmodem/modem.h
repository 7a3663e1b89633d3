#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex::vmodem {

struct ModemConfig {
    bool echoAfterReset = true;
    std::optional<int> cmsError;
    // Command lines (from "AT" on) that must fail; "*" fails every line.
    std::vector<std::string> errorOn;
    std::uint32_t firstMr = 1;
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
};

// A GSM modem's command interpreter: bytes in, echo/answers/messages out.
class Modem {
public:
    explicit Modem(ModemConfig config);

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
    enum class Result { Ok, Error, Prompt, PduModeRefusal };
    Result basicCommand(char prefix, char name, int value, std::string& info);
    Result extendedCommand(std::string_view command, std::string& info);
    Result sendCommand(std::string_view suffix);
    bool forcedError(std::string_view line) const;

    ModemConfig config_;
    std::string line_;
    bool lastWasCr_ = false;

    bool echo_ = true;
    bool textMode_ = false;
    int cmee_ = 0;
    std::string charset_ = "GSM";

    // Set while collecting an SMS body after the "> " prompt.
    bool inBody_ = false;
    std::string pendingNumber_;
    std::string body_;
    std::uint32_t nextMr_ = 1;
};

} // namespace tarvex::vmodem
