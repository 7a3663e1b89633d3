#include "qt_serial_control.h"
#include "window_platform.h"

#include <cstdio>
#include <cstdlib>

namespace tarvex {

WindowPlatform WindowPlatform::system() {
    WindowPlatform platform;
    platform.serial = std::make_unique<QtSerialControl>();
    platform.pause = std::make_unique<SystemPause>();
    platform.boxes = std::make_unique<QtMessageBoxes>();
    platform.replyTimer = std::make_unique<QtTimer>();
    platform.smsTimer = std::make_unique<QtTimer>();
    platform.ports = std::make_unique<SystemPortDirectory>();
    platform.endProcess = [] {
        std::fflush(nullptr);
        std::_Exit(EXIT_SUCCESS);
    };
    return platform;
}

} // namespace tarvex
