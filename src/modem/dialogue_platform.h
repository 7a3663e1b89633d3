#pragma once
// Everything the modem dialogue needs from outside, so tests can put fakes in its place.

#include "platform/message_boxes.h"
#include "platform/modFunctions.h"
#include "platform/port_names.h"
#include "platform/serial_control.h"
#include "platform/timer.h"

#include <memory>

namespace tarvex {

class SessionLog;

struct DialoguePlatform {
    std::unique_ptr<SerialControl> serial;
    std::unique_ptr<Pause> pause;
    std::unique_ptr<MessageBoxes> boxes;
    std::unique_ptr<Timer> replyTimer;
    std::unique_ptr<Timer> smsTimer;
    // The time-out of each readiness query.
    std::unique_ptr<Timer> queryTimer;
    // What each entry of the port list stands for, looked up without opening anything.
    std::unique_ptr<PortDirectory> ports;
    // What the dialogue itself has to say in the session log; none when it is off.
    std::shared_ptr<SessionLog> log;

    // The real serial port, timers and port lookup; `boxes` tell the outcomes,
    // `pause` waits, and `devices` says which device each entry stands for.
    static DialoguePlatform system(std::unique_ptr<MessageBoxes> boxes,
                                   std::unique_ptr<Pause> pause,
                                   DeviceLookup devices = deviceForPort);
};

// `platform` with the session log listening in: every byte on the line, the port
// opening and closing, and every message box with the button pressed. Nothing is
// changed on the way through. Without a log, `platform` as it was.
DialoguePlatform withSessionLog(DialoguePlatform platform, std::shared_ptr<SessionLog> log);

} // namespace tarvex
