#pragma once
// Everything the main window needs from outside, so tests can put fakes in its place.

#include "message_boxes.h"
#include "modFunctions.h"
#include "port_names.h"
#include "serial_control.h"
#include "session_log.h"
#include "timer.h"

#include <functional>
#include <memory>

namespace tarvex {

struct WindowPlatform {
    std::unique_ptr<SerialControl> serial;
    std::unique_ptr<Pause> pause;
    std::unique_ptr<MessageBoxes> boxes;
    std::unique_ptr<Timer> replyTimer;
    std::unique_ptr<Timer> smsTimer;
    // What each entry of the port list stands for, looked up without opening anything.
    std::unique_ptr<PortDirectory> ports;
    // Ends the process at once, without further handlers.
    std::function<void()> endProcess;
    // What the window itself has to say in the session log; none when it is off.
    std::shared_ptr<SessionLog> log;

    // The real serial port, sleep, message boxes and timers.
    static WindowPlatform system();
};

} // namespace tarvex
