#include "port_opening.h"

namespace tarvex {

void openWithLineSettings(SerialControl& line, qint16 port, int speed) {
    line.setCommPort(port);
    line.setHandshaking(Handshaking::None);
    line.setRThreshold(1);
    line.setRTSEnable(true);
    line.setSettings(QStringLiteral("%1,n,8,1").arg(speed));
    line.setSThreshold(0);
    line.setInputLen(1);
    line.setPortOpen(true);
}

} // namespace tarvex
