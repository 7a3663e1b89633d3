#include "paced_transmitter.h"

#include "line_timing.h"

#include <limits>
#include <stdexcept>

namespace tarvex {

void sendPaced(SerialControl& line, Pause& pause, const QString& text, qsizetype* sent) {
    if (text.size() > std::numeric_limits<qint16>::max())
        throw std::length_error(
            QStringLiteral("Overflow: a command of %1 characters is longer than "
                           "32767 and was not sent.")
                .arg(text.size())
                .toStdString());
    for (qsizetype p = 0; p < text.size(); ++p) {
        pause.beforeWrite();
        line.Output(text.mid(p, 1));
        if (sent)
            *sent = p + 1;
        pause.Sleep(kCharacterPause);
    }
}

} // namespace tarvex
