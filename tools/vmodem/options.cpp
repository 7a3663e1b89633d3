#include "options.h"

#include "line_rate.h"

#include <charconv>
#include <chrono>
#include <limits>
#include <utility>

namespace tarvex::vmodem {

namespace {

std::optional<std::uint64_t> unsignedNumber(std::string_view text, std::uint64_t max) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> signedNumber(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

// The value that `text` names in `names`, if any.
template <typename Enum, std::size_t N>
std::optional<Enum> choice(std::optional<std::string_view> text,
                           const std::pair<std::string_view, Enum> (&names)[N]) {
    for (const auto& [name, value] : names) {
        if (text == name) {
            return value;
        }
    }
    return std::nullopt;
}

constexpr std::pair<std::string_view, Sim> kSims[] = {
    {"ready", Sim::Ready}, {"pin", Sim::Pin}, {"puk", Sim::Puk}, {"absent", Sim::Absent}};
constexpr std::pair<std::string_view, Registration> kRegistrations[] = {
    {"home", Registration::Home},           {"roaming", Registration::Roaming},
    {"searching", Registration::Searching}, {"denied", Registration::Denied},
    {"none", Registration::None},           {"sms-only", Registration::SmsOnly}};
constexpr std::pair<std::string_view, Technology> kTechnologies[] = {
    {"gsm", Technology::Gsm}, {"umts", Technology::Umts}, {"lte", Technology::Lte}};
constexpr std::pair<std::string_view, PortKind> kPortKinds[] = {{"at", PortKind::At},
                                                                {"nmea", PortKind::Nmea},
                                                                {"diag", PortKind::Diag},
                                                                {"nul", PortKind::Nul}};

bool isPhoneNumber(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    return !text.empty() && text.size() <= 20 &&
           text.find_first_not_of("0123456789") == std::string_view::npos;
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string_view>& args) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    constexpr auto kAny = std::numeric_limits<std::uint64_t>::max();
    std::optional<Technology> technology;
    std::optional<PortKind> kind;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> inlineValue;
        if (const auto eq = name.find('=');
            name.starts_with("--") && eq != std::string_view::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const auto value = [&]() -> std::optional<std::string_view> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };
        const auto numberFor = [&](std::uint64_t max) -> std::optional<std::uint64_t> {
            const auto text = value();
            return text ? unsignedNumber(*text, max) : std::nullopt;
        };
        const auto flag = [&](bool& target) {
            target = true;
            return !inlineValue;
        };

        bool ok = true;
        if (name == "--help" || name == "-h") {
            ok = flag(o.help);
        } else if (name == "--silent") {
            ok = flag(o.silent);
        } else if (name == "--usb-modem") {
            ok = flag(o.usbModem);
        } else if (name == "--answer-as") {
            kind = choice(value(), kPortKinds);
            ok = kind.has_value();
        } else if (name == "--trace") {
            ok = flag(o.trace);
        } else if (name == "--no-echo") {
            bool noEcho = false;
            ok = flag(noEcho);
            o.modem.echoAfterReset = false;
        } else if (name == "--link" || name == "--log" || name == "--stamps") {
            const auto text = value();
            ok = text && !text->empty();
            if (ok) {
                (name == "--link"  ? o.link
                 : name == "--log" ? o.log
                                   : o.stamps) = std::string(*text);
            }
        } else if (name == "--error-on") {
            const auto text = value();
            ok = text && !text->empty();
            if (ok) {
                o.modem.errorOn.emplace_back(*text);
            }
        } else if (name == "--mr") {
            const auto n = numberFor(255);
            ok = n.has_value();
            o.modem.firstMr = static_cast<std::uint32_t>(n.value_or(1));
        } else if (name == "--cms-error") {
            const auto n = numberFor(999);
            ok = n.has_value();
            if (ok) {
                o.modem.cmsError = static_cast<int>(*n);
            }
        } else if (name == "--log-commands") {
            ok = flag(o.logCommands);
        } else if (name == "--sim") {
            const auto sim = choice(value(), kSims);
            ok = sim.has_value();
            o.modem.sim = sim.value_or(Sim::Ready);
        } else if (name == "--sim-busy") {
            const auto n = numberFor(3'600'000);
            ok = n.has_value();
            o.modem.simBusy = std::chrono::milliseconds(n.value_or(0));
        } else if (name == "--registration") {
            const auto registration = choice(value(), kRegistrations);
            ok = registration.has_value();
            o.modem.registration = registration.value_or(Registration::Home);
        } else if (name == "--technology") {
            technology = choice(value(), kTechnologies);
            ok = technology.has_value();
        } else if (name == "--signal") {
            const auto text = value();
            o.modem.signalDbm = text ? signedNumber(*text, -150, 0) : std::nullopt;
            ok = text == "none" || o.modem.signalDbm;
        } else if (name == "--smsc") {
            const auto text = value();
            ok = text == "none" || (text && isPhoneNumber(*text));
            o.modem.smsc = ok && text != "none" ? std::string(*text) : std::string();
        } else if (name == "--radio-off") {
            ok = flag(o.modem.radioOff);
        } else if (name == "--2g-only") {
            ok = flag(o.modem.twoGOnly);
        } else if (name == "--delay") {
            const auto n = numberFor(3'600'000);
            ok = n.has_value();
            o.delayMs = n.value_or(0);
        } else if (name == "--noise" || name == "--noise-between") {
            const auto n = numberFor(1'000'000);
            ok = n.has_value();
            (name == "--noise" ? o.noise : o.noiseBetween) = n.value_or(0);
        } else if (name == "--seed") {
            o.seed = numberFor(kAny);
            ok = o.seed.has_value();
        } else if (name == "--rate") {
            const auto n = numberFor(kAny);
            ok = n && isCommonRate(*n);
            if (ok) {
                o.rate = static_cast<std::uint32_t>(*n);
            }
        } else if (name == "--vanish-after-bytes") {
            o.vanishAfterBytes = numberFor(kAny);
            ok = o.vanishAfterBytes.has_value();
        } else if (name == "--vanish-after-ms") {
            o.vanishAfterMs = numberFor(kAny / 2);
            ok = o.vanishAfterMs.has_value();
        } else {
            parsed.error = "unknown option: " + std::string(args[i]);
            return parsed;
        }
        if (!ok) {
            parsed.error = "bad or missing value for " + std::string(name);
            return parsed;
        }
    }
    // A 2G-only modem registers on GSM or not at all.
    if (o.modem.twoGOnly && technology.value_or(Technology::Gsm) != Technology::Gsm) {
        parsed.error = "--2g-only needs --technology gsm";
        return parsed;
    }
    o.modem.technology = technology.value_or(o.modem.twoGOnly ? Technology::Gsm : Technology::Lte);
    o.answerAs = kind.value_or(PortKind::At);
    if (o.usbModem && kind) {
        parsed.error = "--usb-modem fixes each port's kind: leave out --answer-as";
    } else if (o.usbModem && o.rate) {
        parsed.error = "--rate is for a UART modem; a USB modem's ports hear any speed";
    } else if (o.silent && o.answerAs != PortKind::At) {
        parsed.error = "--silent is a kind of port of its own: leave out --answer-as";
    }
    return parsed;
}

std::vector<Options> usbModemPorts(const Options& options) {
    std::vector<Options> ports(4);
    ports[0].answerAs = PortKind::Diag;
    ports[1].answerAs = PortKind::Nmea;
    ports[2] = options;
    ports[2].usbModem = false;
    ports[3].silent = true;
    for (std::size_t n = 0; n < ports.size(); ++n) {
        const std::string suffix = ".if0" + std::to_string(n);
        if (!options.stamps.empty()) {
            ports[n].stamps = options.stamps + suffix;
        }
        if (!options.link.empty()) {
            ports[n].link = options.link + suffix;
        }
    }
    return ports;
}

std::string usage(std::string_view program) {
    return "Usage: " + std::string(program) + R"( [options]
A virtual GSM modem on a pseudo-terminal. Prints the terminal's path as the
first line, then answers AT commands there until SIGINT, SIGTERM or SIGHUP.

  --answer-as KIND         the kind of port: at (default, the modem), nmea (a
                           GPS port: NMEA sentences every 200 ms from the start,
                           never an answer), diag (a Qualcomm DIAG port: a
                           binary frame for whatever arrives, nothing unasked)
                           or nul (NUL bytes, 400 a second, never an answer)
  --usb-modem              a whole USB modem: four terminals, their paths one a
                           line in USB interface order: if00 DIAG, if01 NMEA,
                           if02 AT (with the modem options given), if03 silent;
                           --stamps FILE and --link PATH go to FILE.if00 ...
                           FILE.if03 and PATH.if00 ... PATH.if03; all four end
                           together, on a signal or when the AT port vanishes
  --link PATH              make PATH a symlink to the terminal (removed on exit)
  --log FILE               append each accepted SMS as a JSON line to FILE
                           (default: standard output, after the path line)
  --log-commands           also append there each command line received, as
                           {"command":"AT...","time":"..."}
  --stamps FILE            append each received byte to FILE as a line
                           "<steady clock ns> <hex byte>", stamped on arrival,
                           and each byte written as "<ns> <hex byte> sent"
  --mr N                   first message reference (0-255, default 1)
  --no-echo                echo off at start and after ATZ
  --silent                 read everything, answer and echo nothing
  --delay MS               write every answer MS milliseconds late
  --cms-error N            refuse every SMS body with +CMS ERROR: N
  --sim STATE              the SIM: ready (default), pin, puk or absent; until
                           it is ready the SMS commands answer +CME ERROR, in
                           the form +CMEE sets
  --sim-busy MS            +CPIN? and the SMS commands answer +CME ERROR: 14
                           (SIM busy) for the first MS milliseconds
  --registration STATE     home (default), roaming, searching, denied, none or
                           sms-only, while the radio is on and the SIM ready;
                           an SMS goes only when home, roaming or sms-only
                           (otherwise +CMS ERROR: 331)
  --technology ACT         gsm, umts or lte (default); GSM and UMTS register on
                           +CREG and +CGREG, LTE on +CEREG
  --signal DBM|none        the received level (default -73) for +CSQ's rssi and
                           +CESQ's RXLEV, RSCP or RSRP; none: 99 and 255
  --smsc NUMBER|none       the SMS centre's address on the SIM (default
                           +447700900100); with none an SMS fails with
                           +CMS ERROR: 330
  --radio-off              +CFUN: 4: no registration and no signal
  --2g-only                an older GSM-only modem, like a SIM800: +CEREG and
                           +CESQ answer ERROR; implies --technology gsm
  --error-on CMD           answer ERROR to the command line CMD, e.g. AT+CMGF=1
                           (case-insensitive, repeatable; '*' means every line)
  --rate N                 a UART modem fixed at N baud, e.g. 115200 like a
                           SIM7600 HAT (a standard rate, 1200 to 921600): what
                           the program sends while its side of the line is set
                           to another speed is noise, not echoed, answered or
                           kept; without --rate any speed is heard (not with
                           --usb-modem)
  --noise N                write N random bytes when the first byte arrives
  --noise-between N        write N random bytes before each answer
  --seed S                 seed for the random bytes (reproducible noise)
  --vanish-after-bytes N   close the device after N received bytes, then exit
  --vanish-after-ms N      close the device after N milliseconds, then exit
  --trace                  log received lines and answers on standard error
  --help                   show this help
)";
}

} // namespace tarvex::vmodem
