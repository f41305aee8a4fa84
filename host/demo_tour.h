// The scripted tour of tools/demo.sh: from a thread of its own it presses every bound hotkey
// of the demo's settings with real key input, checks what each did, pictures the three dialogs,
// switches the hotkeys off and back on from the host's menu, pictures the host's window and
// closes the host, printing one line per step.
#pragma once

#include <windows.h>

#include <string>

// Starts the tour once the plug-ins are loaded; pictures go to folder.
bool StartDemoTour(const std::wstring& folder, HWND hostWindow);
// After the host's message loop has ended: 0 when every step did what it should.
int FinishDemoTour();
