// tarvex-vmodem: a virtual GSM modem on a pseudo-terminal, for checking
// Tarvex (and technicians' habits) against well-behaved and faulty modems, or a
// whole USB modem, one pseudo-terminal for each of its ports.
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
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// A port's SMS log and byte stamps, opened before any path is printed so that a
// bad file name fails at once.
struct PortFiles {
    File log{nullptr, &std::fclose};
    File stamps{nullptr, &std::fclose};

    bool open(const Options& port) {
        return openForAppend(port.log, log) && openForAppend(port.stamps, stamps);
    }
    void serve(const Options& port, Pty& pty) {
        tarvex::vmodem::serve(port, pty, log ? log.get() : stdout, stamps.get(), stopPipe[0]);
    }
};

int oneModem(const Options& options) {
    PortFiles files;
    if (!files.open(options))
        return 1;
    Pty pty;
    std::optional<Link> link;
    if (!options.link.empty()) {
        link.emplace(options.link, pty.slavePath());
    }
    std::printf("%s\n", pty.slavePath().c_str());
    std::fflush(stdout);
    files.serve(options, pty);
    return 0;
}

// Serves `port` in a child of its own until the stop pipe becomes readable, then
// ends it without running the parent's destructors: the links are the parent's
// to remove.
pid_t startPort(const Options& port, std::size_t index, std::vector<std::unique_ptr<Pty>>& ptys,
                PortFiles& files) {
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // A parent killed outright must not leave its ports behind.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        ::_exit(0);
    for (std::size_t i = 0; i < ptys.size(); ++i) {
        if (i != index)
            ptys[i]->close();
    }
    int status = 0;
    try {
        files.serve(port, *ptys[index]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvex-vmodem: %s\n", e.what());
        status = 1;
    }
    std::fflush(nullptr);
    ::_exit(status);
}

// One child a port, all stopped together: by a signal, or by a port that ends on
// its own, as a USB modem whose cable is pulled loses all its ports at once.
int usbModem(const Options& options) {
    const std::vector<Options> ports = usbModemPorts(options);
    std::vector<PortFiles> files(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (!files[i].open(ports[i]))
            return 1;
    }
    std::vector<std::unique_ptr<Pty>> ptys;
    std::vector<std::unique_ptr<Link>> links;
    for (const Options& port : ports) {
        ptys.push_back(std::make_unique<Pty>());
        if (!port.link.empty())
            links.push_back(std::make_unique<Link>(port.link, ptys.back()->slavePath()));
        std::printf("%s\n", ptys.back()->slavePath().c_str());
    }
    std::fflush(stdout);

    // A child that ends wakes the parent through the stop pipe, and so stops the rest.
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGCHLD, &action, nullptr);

    std::vector<pid_t> children;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const pid_t pid = startPort(ports[i], i, ptys, files[i]);
        if (pid < 0) {
            std::perror("fork");
            onStopSignal(0);
            break;
        }
        children.push_back(pid);
    }
    // The children hold the ports now: a port the parent kept open would never
    // hang up when its child pulls the cable.
    for (const auto& pty : ptys)
        pty->close();
    files.clear();

    pollfd stop{stopPipe[0], POLLIN, 0};
    while (::poll(&stop, 1, -1) < 0 && errno == EINTR) {
    }
    int result = children.size() == ports.size() ? 0 : 1;
    for (const pid_t pid : children)
        ::kill(pid, SIGTERM);
    for (const pid_t pid : children) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            result = 1;
    }
    return result;
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
        return options.usbModem ? usbModem(options) : oneModem(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvex-vmodem: %s\n", e.what());
        return 1;
    }
}
