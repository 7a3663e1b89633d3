#include "modem.h"

#include <algorithm>
#include <cctype>

namespace tarvex::vmodem {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kBackspace = 8;
constexpr char kDelete = 127;
constexpr char kCtrlZ = 26;
constexpr char kEscape = 27;

// Bounds memory against a client that streams garbage without ever ending a line.
constexpr std::size_t kMaxLine = 1024;
constexpr std::size_t kMaxBody = 4096;

bool isPrintable(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7f;
}

std::size_t findAt(std::string_view line) {
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(line[i])) == 'A' &&
            std::toupper(static_cast<unsigned char>(line[i + 1])) == 'T') {
            return i;
        }
    }
    return std::string_view::npos;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

Modem::Modem(ModemConfig config, Clock clock)
    : config_(std::move(config))
    , clock_(std::move(clock))
    , started_(clock_())
    , nextMr_(config_.firstMr) {
    reset();
}

void Modem::reset() {
    echo_ = config_.echoAfterReset;
    textMode_ = false;
    cmee_ = 0;
    charset_ = "GSM";
}

void Modem::feed(std::string_view bytes, ModemSink& sink) {
    for (const char c : bytes) {
        if (inBody_) {
            bodyByte(c, sink);
        } else {
            commandByte(c, sink);
        }
    }
}

void Modem::commandByte(char c, ModemSink& sink) {
    const bool afterCr = lastWasCr_;
    lastWasCr_ = c == kCr;
    if (echo_) {
        sink.echo(std::string_view(&c, 1));
    }
    if (c == kCr) {
        endOfLine(sink);
    } else if (c == kLf && afterCr) {
        // The LF of a CR LF terminator; the line was already run at the CR.
    } else if (c == kBackspace || c == kDelete) {
        if (!line_.empty()) {
            line_.pop_back();
        }
    } else if (isPrintable(c) && line_.size() < kMaxLine) {
        line_ += c;
    }
}

void Modem::endOfLine(ModemSink& sink) {
    const std::string line = std::move(line_);
    line_.clear();
    const auto at = findAt(line);
    if (at == std::string::npos) {
        return; // Modems ignore anything that is not a command line.
    }
    const std::string_view fromAt = trimmed(std::string_view(line).substr(at));
    sink.commandLine(fromAt);
    if (forcedError(fromAt)) {
        sink.answer("\r\nERROR\r\n");
        return;
    }
    sink.answer(execute(fromAt.substr(2)));
}

bool Modem::forcedError(std::string_view line) const {
    return std::ranges::any_of(config_.errorOn, [line](const std::string& pattern) {
        return pattern == "*" || equalsIgnoringCase(line, pattern);
    });
}

void Modem::bodyByte(char c, ModemSink& sink) {
    // A real client sends CR LF after AT+CMGS="..."; the LF is not part of the text.
    if (c == kLf && lastWasCr_) {
        lastWasCr_ = false;
        return;
    }
    lastWasCr_ = false;
    if (c == kCtrlZ || c == kEscape) {
        inBody_ = false;
        if (c == kEscape) {
            sink.answer("\r\nOK\r\n");
        } else if (const std::string refusal = this->refusal(); !refusal.empty()) {
            sink.answer(refusal);
        } else {
            const Message message{pendingNumber_, body_, nextMr_};
            nextMr_ = (nextMr_ + 1) % 256; // TP-MR is one octet.
            sink.accepted(message);
            sink.answer("\r\n+CMGS: " + std::to_string(message.mr) + "\r\n\r\nOK\r\n");
        }
        pendingNumber_.clear();
        body_.clear();
        return;
    }
    if (echo_) {
        sink.echo(std::string_view(&c, 1));
    }
    if (c == kBackspace || c == kDelete) {
        if (!body_.empty()) {
            body_.pop_back();
        }
    } else if (body_.size() < kMaxBody) {
        body_ += c;
    }
}

} // namespace tarvex::vmodem
