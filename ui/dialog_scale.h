// Sizes given in pixels of a 96 DPI display, for a window drawn at another scale.
#pragma once

#include <windows.h>

// The length at the window's DPI; unchanged at 96 DPI.
int ScaleToWindow(HWND window, int pixelsAt96Dpi);
