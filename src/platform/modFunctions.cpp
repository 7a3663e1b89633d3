#include "modFunctions.h"

#include <QThread>

namespace tarvex {

void SystemPause::Sleep(std::chrono::milliseconds duration) {
    QThread::msleep(static_cast<unsigned long>(duration.count()));
}

} // namespace tarvex
