// The pull and connect stages: the port's end and its start, each on a window of
// its own and a pseudo-terminal of its own.

#include "stages.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSerialPort>
#include <cstdio>
#include <memory>

namespace tarvex::bench {

using namespace std::chrono_literals;

// A modem pulled while the port is open and nothing is sent: the window must notice
// and close the port, not spin on a line that reads end of file for ever.
void pull(Bench& bench) {
    std::fprintf(stderr, "pull: the device goes while the port is open and idle\n");
    auto peer = std::make_unique<PtyPeer>();
    Window w(peer->devicePath());
    runFor(500ms);
    const double before = ownCpuMs();
    peer.reset(); // both ends of the terminal closed, as when the cable goes
    runFor(2s);
    const double cpu = ownCpuMs() - before;
    const bool told = w.boxes->texts.size() == 1 &&
                      w.boxes->texts.first().contains(QLatin1String("the device went away"));
    if (!told)
        qFatal("pull: the window showed %s", qPrintable(w.boxes->texts.join(QLatin1String(" | "))));
    bench.add({QStringLiteral("CPU in the 2 s after a pull while idle"), QStringLiteral("ms"), cpu,
               0, QStringLiteral("nominal"), QStringLiteral("indistinguishable from 0 (<= 10 ms)"),
               cpu <= 10});
}

// Connect on a free port, and on one whose lock a port of this process holds: the
// busy report then looks the holder up (the lock folders, /proc) before its box.
// Each from the click to its return.
void connects(Bench& bench) {
    const Options& o = bench.options;
    std::fprintf(stderr, "connect: %d times on a free port and on a held one\n", o.connects);
    std::vector<double> free;
    std::vector<double> held;
    for (int i = 0; i < o.connects; ++i) {
        PtyPeer peer;
        const std::string& device = peer.devicePath();
        for (const bool hold : {false, true}) {
            QSerialPort holder(QString::fromStdString(device));
            if (hold && !holder.open(QIODevice::ReadWrite))
                qFatal("connect: the holder cannot open %s: %s", device.c_str(),
                       qPrintable(holder.errorString()));
            Window w(device, {}, false);
            QElapsedTimer timer;
            timer.start();
            w.window->connect->click();
            const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            const bool connected = static_cast<bool>(w.window->flags().PortConnected);
            const bool asExpected =
                hold ? !connected && w.boxes->texts.value(0).contains(QLatin1String("Held by"))
                     : connected;
            if (!asExpected)
                qFatal("connect: the window showed %s",
                       qPrintable(w.boxes->texts.join(QLatin1String(" | "))));
            (hold ? held : free).push_back(ms);
        }
    }
    bench.add({QStringLiteral("Connect, free port, median"), QStringLiteral("ms"), median(free), 0,
               QStringLiteral("nominal"), QStringLiteral("< 100 ms (never in the way)"),
               median(free) < 100});
    bench.add({QStringLiteral("Connect, port held, holder named, median"), QStringLiteral("ms"),
               median(held), median(free), QStringLiteral("free port"),
               QStringLiteral("< 100 ms (never in the way)"), median(held) < 100});
}

} // namespace tarvex::bench
