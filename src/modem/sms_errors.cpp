#include "sms_errors.h"

#include <array>

namespace tarvex {
namespace {

using Entry = SmsErrorWords;

// Message service failures (3GPP TS 27.005, 3.2.5) and the network causes
// (TS 24.011) that technicians meet most.
constexpr std::array kCmsErrors{
    Entry{1, "unassigned (unallocated) number"},
    Entry{8, "operator determined barring"},
    Entry{10, "call barred"},
    Entry{21, "short message transfer rejected"},
    Entry{27, "destination out of service"},
    Entry{28, "unidentified subscriber"},
    Entry{29, "facility rejected"},
    Entry{30, "unknown subscriber"},
    Entry{38, "network out of order"},
    Entry{41, "temporary failure"},
    Entry{42, "congestion"},
    Entry{47, "resources unavailable"},
    Entry{50, "requested facility not subscribed"},
    Entry{69, "requested facility not implemented"},
    Entry{96, "invalid mandatory information"},
    Entry{111, "protocol error"},
    Entry{300, "ME failure"},
    Entry{301, "SMS service of ME reserved"},
    Entry{302, "operation not allowed"},
    Entry{303, "operation not supported"},
    Entry{304, "invalid PDU mode parameter"},
    Entry{305, "invalid text mode parameter"},
    Entry{310, "SIM not inserted"},
    Entry{311, "SIM PIN required"},
    Entry{312, "PH-SIM PIN required"},
    Entry{313, "SIM failure"},
    Entry{314, "SIM busy"},
    Entry{315, "SIM wrong"},
    Entry{316, "SIM PUK required"},
    Entry{320, "memory failure"},
    Entry{321, "invalid memory index"},
    Entry{322, "memory full"},
    Entry{330, "SMSC address unknown"},
    Entry{331, "no network service"},
    Entry{332, "network timeout"},
    Entry{340, "no +CNMA acknowledgement expected"},
    Entry{500, "unknown error"},
};

// Mobile equipment errors (3GPP TS 27.007, 9.2).
constexpr std::array kCmeErrors{
    Entry{0, "phone failure"},
    Entry{3, "operation not allowed"},
    Entry{4, "operation not supported"},
    Entry{10, "SIM not inserted"},
    Entry{11, "SIM PIN required"},
    Entry{12, "SIM PUK required"},
    Entry{13, "SIM failure"},
    Entry{14, "SIM busy"},
    Entry{15, "SIM wrong"},
    Entry{16, "incorrect password"},
    Entry{20, "memory full"},
    Entry{30, "no network service"},
    Entry{31, "network timeout"},
    Entry{32, "network not allowed - emergency calls only"},
    Entry{100, "unknown error"},
};

} // namespace

std::span<const SmsErrorWords> smsErrorTable(bool network) {
    if (network)
        return kCmsErrors;
    return kCmeErrors;
}

QString smsErrorText(bool network, const QString& code) {
    const QString prefix = network ? QStringLiteral("CMS") : QStringLiteral("CME");
    bool isNumber = false;
    const int number = code.toInt(&isNumber);
    if (!isNumber)
        return code.isEmpty() ? QStringLiteral("%1 ERROR").arg(prefix) : code;
    for (const auto& [known, words] : smsErrorTable(network)) {
        if (known == number)
            return QStringLiteral("%1 (%2 ERROR %3)")
                .arg(QString::fromLatin1(words), prefix)
                .arg(number);
    }
    return QStringLiteral("%1 ERROR %2").arg(prefix).arg(number);
}

} // namespace tarvex
