// The plug-in's module-wide state, one value each, set by the entry points.
#pragma once

#include <windows.h>

#include "base/bounded_text.h"

// The library's own instance: window class, dialog resources and the settings path use it.
extern HINSTANCE moduleInstance;

// The host's opaque handle for this plug-in, passed back with every menu property change.
extern DWORD_PTR hostPluginHandle;

// The file name the host knows this plug-in by; the plug-in descriptor points at it.
extern wchar_t pluginFileName[TEXT_CAPACITY];

// The host's main window of this process, or null when it was not found.
extern HWND hostMainWindow;

// The hidden window that owns the hotkeys, or null before Init and once Unload has ended it.
extern HWND hotkeyWindow;
