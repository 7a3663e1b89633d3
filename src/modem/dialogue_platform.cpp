#include "dialogue_platform.h"

#include "log/logged_platform.h"
#include "platform/qt_serial_control.h"

namespace tarvex {

DialoguePlatform DialoguePlatform::system(std::unique_ptr<MessageBoxes> boxes,
                                          std::unique_ptr<Pause> pause, DeviceLookup devices) {
    DialoguePlatform platform;
    platform.serial = std::make_unique<QtSerialControl>(devices);
    platform.pause = std::move(pause);
    platform.boxes = std::move(boxes);
    platform.replyTimer = std::make_unique<QtTimer>();
    platform.smsTimer = std::make_unique<QtTimer>();
    platform.queryTimer = std::make_unique<QtTimer>();
    platform.ports = std::make_unique<SystemPortDirectory>(std::move(devices));
    return platform;
}

DialoguePlatform withSessionLog(DialoguePlatform platform, std::shared_ptr<SessionLog> log) {
    if (!log)
        return platform;
    platform.serial = loggedSerialControl(std::move(platform.serial), log);
    platform.boxes = loggedMessageBoxes(std::move(platform.boxes), log);
    platform.log = std::move(log);
    return platform;
}

} // namespace tarvex
