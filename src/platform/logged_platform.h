#pragma once
// The window's platform with the session log listening in: every byte on the line,
// the port opening and closing, and every message box with the button pressed.
// Nothing is changed on the way through.

#include "window_platform.h"

namespace tarvex {

WindowPlatform withSessionLog(WindowPlatform platform, std::shared_ptr<SessionLog> log);

} // namespace tarvex
