#pragma once
// The session log listening in on the serial control and the message boxes: every
// byte on the line, the port opening and closing, and every box with the button
// pressed. Nothing is changed on the way through.

#include "platform/message_boxes.h"
#include "platform/serial_control.h"

#include <memory>

namespace tarvex {

class SessionLog;

std::unique_ptr<SerialControl> loggedSerialControl(std::unique_ptr<SerialControl> serial,
                                                   std::shared_ptr<SessionLog> log);
std::unique_ptr<MessageBoxes> loggedMessageBoxes(std::unique_ptr<MessageBoxes> boxes,
                                                 std::shared_ptr<SessionLog> log);

} // namespace tarvex
