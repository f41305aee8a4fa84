// Carries out the plug-in's own commands for the host: the hotkey window does the work.
#pragma once

#include <cstdint>

// 0 toggles the hotkeys and re-syncs the host's check mark; 1 opens the settings once the
// host's message loop runs again; any other id does nothing. Always returns 1.
int RouteCommand(int32_t commandId);
