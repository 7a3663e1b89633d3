#include "serve.h"

#include "json_line.h"
#include "line_rate.h"
#include "modem.h"
#include "ports.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <random>
#include <string>
#include <unistd.h>

namespace tarvex::vmodem {

namespace {

using Clock = std::chrono::steady_clock;

// A client that stops reading must not make us hoard memory.
constexpr std::size_t kMaxQueued = 1 << 20;

// How often a port that talks unasked does: a GPS a burst of sentences five times
// a second, a NUL-flooding line 40 bytes ten times a second.
constexpr auto kNmeaEvery = std::chrono::milliseconds(200);
constexpr auto kNulsEvery = std::chrono::milliseconds(100);
constexpr std::size_t kNulsEachTime = 40;

// One "<steady clock ns> <hex byte>[ sent]" line per byte.
void stamp(std::FILE* stamps, std::string_view bytes, Clock::time_point at, const char* suffix) {
    if (stamps == nullptr) {
        return;
    }
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
    for (const char c : bytes) {
        std::fprintf(stamps, "%lld %02x%s\n", static_cast<long long>(ns),
                     static_cast<unsigned char>(c), suffix);
    }
    std::fflush(stamps);
}

class Device final : public ModemSink {
public:
    Device(const Options& options, std::FILE* log, std::FILE* stamps)
        : options_(options)
        , log_(log)
        , stamps_(stamps)
        , random_(options.seed ? *options.seed : std::random_device{}()) {}

    void queue(std::string_view bytes) {
        if (out_.size() + bytes.size() <= kMaxQueued) {
            out_ += bytes;
        }
    }

    std::string noise(std::uint64_t count) {
        std::uniform_int_distribution<int> byte(0, 255);
        std::string bytes;
        for (std::uint64_t i = 0; i < count; ++i) {
            bytes += static_cast<char>(byte(random_));
        }
        return bytes;
    }

    void echo(std::string_view bytes) override { queue(bytes); }

    void answer(std::string_view bytes) override {
        if (options_.trace) {
            std::fprintf(stderr, "vmodem >> %s\n", jsonString(bytes).c_str());
        }
        std::string delivered = noise(options_.noiseBetween) + std::string(bytes);
        if (options_.delayMs == 0) {
            queue(delivered);
        } else {
            late_.push_back(
                {Clock::now() + std::chrono::milliseconds(options_.delayMs), std::move(delivered)});
        }
    }

    void accepted(const Message& message) override {
        write(jsonLine(message, std::chrono::system_clock::now()));
    }

    void commandLine(std::string_view line) override {
        if (options_.logCommands) {
            write(jsonCommandLine(line, std::chrono::system_clock::now()));
        }
    }

    // Moves answers that are due into the output; returns how long until the next one.
    std::optional<Clock::duration> releaseDue() {
        const auto now = Clock::now();
        while (!late_.empty() && late_.front().due <= now) {
            queue(late_.front().bytes);
            late_.pop_front();
        }
        if (late_.empty()) {
            return std::nullopt;
        }
        return late_.front().due - now;
    }

    // Writes what the pty takes without blocking; the rest waits for POLLOUT.
    void flush(int fd) {
        while (!out_.empty()) {
            // Stamped before the write: the program cannot read a byte earlier.
            const Clock::time_point writing = Clock::now();
            const auto n = ::write(fd, out_.data(), out_.size());
            if (n <= 0) {
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                return;
            }
            stamp(stamps_, std::string_view(out_).substr(0, static_cast<std::size_t>(n)), writing,
                  " sent");
            out_.erase(0, static_cast<std::size_t>(n));
        }
    }

    bool pending() const { return !out_.empty(); }

    // Prints what the client sent one line (or SMS body) at a time.
    void traceReceived(std::string_view bytes) {
        for (const char c : bytes) {
            traced_ += c;
            if (c == '\r' || c == 26 || c == 27 || traced_.size() >= 200) {
                std::fprintf(stderr, "vmodem << %s\n", jsonString(traced_).c_str());
                traced_.clear();
            }
        }
    }

private:
    void write(const std::string& logLine) {
        std::fputs(logLine.c_str(), log_);
        std::fflush(log_);
    }

    struct Late {
        Clock::time_point due;
        std::string bytes;
    };

    const Options& options_;
    std::FILE* log_;
    std::FILE* stamps_;
    std::mt19937_64 random_;
    std::string out_;
    std::string traced_;
    std::deque<Late> late_;
};

} // namespace

void serve(const Options& options, Pty& pty, std::FILE* log, std::FILE* stamps, int stopFd) {
    Device device(options, log, stamps);
    // One interpreter for the whole run. A client that closes the device and opens
    // it again finds the modem as it left it, an unfinished command line included,
    // as on a real modem: the next command is appended to that line.
    Modem modem(options.modem);

    const auto vanishAt =
        options.vanishAfterMs
            ? std::optional(Clock::now() + std::chrono::milliseconds(*options.vanishAfterMs))
            : std::nullopt;
    std::uint64_t received = 0;
    // The kinds that talk unasked start at once, whether or not a client has the
    // port open. What the terminal cannot take is never said: like a UART's
    // transmitter, the port does not wait for a reader, so the next burst is due
    // only once the last one is out.
    const bool talks = options.answerAs == PortKind::Nmea || options.answerAs == PortKind::Nul;
    auto nextTalk = Clock::now();

    PtyHandlers handlers;
    handlers.beforeWait = [&] {
        auto wait = device.releaseDue();
        if (talks) {
            const auto now = Clock::now();
            if (nextTalk <= now) {
                const bool nmea = options.answerAs == PortKind::Nmea;
                if (!device.pending()) {
                    device.queue(nmea ? nmeaBurst() : std::string(kNulsEachTime, '\0'));
                }
                nextTalk = now + (nmea ? kNmeaEvery : kNulsEvery);
            }
            wait = wait ? std::min(*wait, nextTalk - now) : nextTalk - now;
        }
        device.flush(pty.master());
        if (vanishAt) {
            const auto left = *vanishAt - Clock::now();
            if (left <= Clock::duration::zero())
                return PtyHandlers::Wait{{}, false, false};
            wait = wait ? std::min(*wait, left) : left;
        }
        return PtyHandlers::Wait{wait, device.pending(), true};
    };
    handlers.received = [&](std::string_view bytes, Clock::time_point arrived) {
        if (options.vanishAfterBytes) {
            bytes = bytes.substr(
                0, std::min<std::uint64_t>(bytes.size(), *options.vanishAfterBytes - received));
        }
        // The start noise waits for the program's first byte: a serial port that is
        // opened drops what its device held before, so noise written earlier would
        // test nothing.
        if (received == 0 && !bytes.empty()) {
            device.queue(device.noise(options.noise));
        }
        // A UART at the wrong rate frames garbage: the modem echoes none of it, runs
        // none of it and keeps none of it, so the line it is typing stays as it was.
        // The speed is read as the bytes are: a client switching speeds waits for
        // the answer (or its silence) first, so its earlier bytes are long read.
        // Read before the stamp, so a byte on record has been judged.
        const auto baud = options.rate ? lineBaud(pty.master()) : std::nullopt;
        const bool heard = !options.rate || baud == options.rate;
        received += bytes.size();
        stamp(stamps, bytes, arrived, "");
        if (options.trace) {
            if (heard) {
                device.traceReceived(bytes);
            } else {
                std::fprintf(stderr, "vmodem << %s (noise: the line is at %s, not %u baud)\n",
                             jsonString(bytes).c_str(),
                             baud ? std::to_string(*baud).c_str() : "another speed",
                             static_cast<unsigned>(*options.rate));
            }
        }
        if (!options.silent && heard) {
            if (options.answerAs == PortKind::At) {
                modem.feed(bytes, device);
            } else if (options.answerAs == PortKind::Diag) {
                device.answer(diagAnswer(bytes));
            }
        }
        if (options.vanishAfterBytes && received >= *options.vanishAfterBytes) {
            device.releaseDue();
            device.flush(pty.master());
            return false;
        }
        return true;
    };
    // Stopped: the program ends and closes the pty itself. Otherwise the modem
    // vanishes: the cable is pulled.
    if (servePty(pty, stopFd, handlers) != PtyLoopEnd::Stopped) {
        pty.close();
    }
}

} // namespace tarvex::vmodem
