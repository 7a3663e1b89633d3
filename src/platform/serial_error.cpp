#include "serial_error.h"

namespace tarvex {

SerialError::SerialError(Kind kind, const QString& port, const QString& cause)
    : std::runtime_error((port + QStringLiteral(": ") + cause).toStdString())
    , kind_(kind)
    , text_(port + QStringLiteral(": ") + cause) {}

} // namespace tarvex
