#pragma once
// Application-wide settings, shared by the program and whatever drives its windows.

namespace tarvex {

// Call once after the application object is made.
void setUpApplication();

} // namespace tarvex
