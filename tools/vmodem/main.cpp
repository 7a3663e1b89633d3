// tarvex-vmodem: a virtual GSM modem on a pseudo-terminal, for checking
// Tarvex (and technicians' habits) against well-behaved and faulty modems.
#include "options.h"
#include "pty.h"
#include "serve.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace tarvex::vmodem;
using tarvex::Link;
using tarvex::Pty;

namespace {

int stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

void installStopHandlers() {
    if (::pipe(stopPipe) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    ::fcntl(stopPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(sig, &action, nullptr);
    }
    // A log reader that goes away must not kill the modem.
    std::signal(SIGPIPE, SIG_IGN);
}

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Opens `path` for appending; no path, no file. False when it cannot be opened.
bool openForAppend(const std::string& path, File& file) {
    if (path.empty())
        return true;
    file.reset(std::fopen(path.c_str(), "a"));
    if (!file)
        std::perror(path.c_str());
    return file != nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = parseOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "tarvex-vmodem: %s\n%s", parsed.error.c_str(),
                     usage("tarvex-vmodem").c_str());
        return 2;
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::fputs(usage("tarvex-vmodem").c_str(), stdout);
        return 0;
    }
    installStopHandlers();

    try {
        File logFile(nullptr, &std::fclose);
        File stampsFile(nullptr, &std::fclose);
        if (!openForAppend(options.log, logFile) || !openForAppend(options.stamps, stampsFile))
            return 1;
        Pty pty;
        std::optional<Link> link;
        if (!options.link.empty()) {
            link.emplace(options.link, pty.slavePath());
        }
        std::printf("%s\n", pty.slavePath().c_str());
        std::fflush(stdout);
        serve(options, pty, logFile ? logFile.get() : stdout, stampsFile.get(), stopPipe[0]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvex-vmodem: %s\n", e.what());
        return 1;
    }
    return 0;
}
