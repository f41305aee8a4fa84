// Carries out the plug-in's own commands, for the host and for hotkeys bound to them.
#pragma once

#include <cstdint>

constexpr int32_t COMMAND_ENABLE = 0;
constexpr int32_t COMMAND_SETTINGS = 1;

// 0 toggles the hotkeys and re-syncs the host's check mark; 1 opens the settings once the
// host's message loop runs again; any other id does nothing. Always returns 1.
int RouteCommand(int32_t commandId);

// Shows command 0 in the host's menus with a check mark exactly when the hotkeys are on.
void ShowEnabledCheckMark();
