// A picture of a window as the screen shows it, saved as PNG.
#pragma once

#include <windows.h>

#include <string>

namespace kest::wine {

// Copies the window's rectangle (frame and title bar included) from the
// screen; the part outside the screen is left out. On failure `detail` says
// which step failed.
bool SaveWindowPicture(HWND window, const char* path, std::string& detail);

}  // namespace kest::wine
