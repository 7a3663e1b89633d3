#pragma once
// What the desktop says about its colour scheme beyond the palette it hands to Qt:
// one implementation per platform (colour_scheme_unix.cpp, colour_scheme_win.cpp),
// chosen by CMake.

namespace tarvex::colour_scheme {

// The user has asked the system for a high-contrast scheme (Windows' contrast
// themes). Where the system has no such switch, the palette alone tells.
bool systemHighContrast();

} // namespace tarvex::colour_scheme
