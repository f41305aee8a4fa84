// Pictures of windows for the README and the demo.
#pragma once

#include <windows.h>

#include <string>

// Repaints the window and copies what the screen shows of it into a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path);
