#pragma once
// Finding a modem's AT port among serial ports: which ports to try and which to leave
// alone, what a port's answer to a bare AT says, and the probe that asks it.

#include "platform/port_names.h"
#include "platform/serial_control.h"
#include "platform/timer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

namespace tarvex {

// What one of a known USB modem's interfaces carries.
enum class InterfaceRole { Unknown, At, Diagnostics, Nmea, Audio };

// The role of the port's USB interface, where its modem's layout is known; `maker`
// gets the modem's maker then.
InterfaceRole interfaceRole(const PortInfo& info, QString* maker = nullptr);

// Whether a scan that names no ports takes this one: USB serial ports (modems' and
// adapters'), CDC-ACM ports of the modem class that no development board brings, the
// Raspberry Pi's GPIO UART (serial0), and on Windows every COM port.
bool inDefaultScan(const PortInfo& info);

// How a scan treats a port, decided before anything is opened.
struct ProbePlan {
    QString skip;      // why it is left alone; empty: it is probed
    QList<int> speeds; // the line speeds it is tried at, in order
};
// `holder` names the program that holds the port ("minicom (pid 4242)"), if any.
ProbePlan planProbe(const PortInfo& info, const QString& holder);

// What a port has sent back to the probe so far.
enum class ProbeReply {
    Nothing, // not a byte
    Text,    // text, but no result code
    Ok,      // a whole line OK
    Error,   // a whole line ERROR or +CME ERROR: an AT port all the same
    Nmea,    // NMEA sentences: a GPS port
    Binary,  // bytes no text has: a diagnostics port, or a UART at another speed
    Nul,     // a flood of NUL bytes
};
ProbeReply readProbeReply(const QByteArray& received);
// Whether `reply` answers the probe: an AT port, or plainly none.
bool settles(ProbeReply reply);

// The probe's bytes. ESC first ends an SMS prompt that a program left open, which
// would take the AT for message text; a command line ignores what comes before "AT".
inline constexpr char kProbeBytes[] = "\x1b"
                                      "AT\r";
// How long the first speed waits for an answer, and each further speed.
inline constexpr std::chrono::milliseconds kProbeAnswerTime{2000};
inline constexpr std::chrono::milliseconds kOtherSpeedTime{500};

struct ProbeResult {
    ProbeReply reply = ProbeReply::Nothing;
    int speed = 0;   // the speed the reply came at, or the last one tried
    QString failure; // why the port could not be opened or went away; empty if it did not
    // What came back, for the report: the ERROR line, or the first line of text
    // other than the probe's echo.
    QString received;
    QList<int> speedsTried;
};

// Asks one port for an AT answer: opens it as Connect does, sends kProbeBytes and
// listens; a port silent or unreadable at one speed is asked at the next. It closes
// the port as soon as the answer is plain, and at the latest when the last speed's
// time is up.
class PortProbe final : public QObject {
    Q_OBJECT
public:
    // `port` is the entry `line` opens.
    PortProbe(std::unique_ptr<SerialControl> line, std::unique_ptr<Timer> timer, qint16 port,
              QList<int> speeds, QObject* parent = nullptr);
    ~PortProbe() override;

    void start();
    // Closes the port now; the result stays as it is.
    void stop();
    bool done() const { return done_; }
    const ProbeResult& result() const { return result_; }

signals:
    void finished();

private:
    void listen(int speed);
    void onComm();
    void timeUp();
    void finish();
    void fail(const QString& why);
    QString shownLine() const;

    std::unique_ptr<SerialControl> line_;
    std::unique_ptr<Timer> timer_;
    qint16 port_;
    QList<int> speeds_;
    qsizetype next_ = 0;
    QByteArray received_;
    ProbeResult result_;
    bool done_ = false;
};

} // namespace tarvex
