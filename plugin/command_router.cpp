#include "plugin/command_router.h"

#include "hotkeys/hotkey_window.h"
#include "plugin/host_services.h"
#include "plugin/plugin_state.h"
#include "res/resource_ids.h"

void ShowEnabledCheckMark()
{
    // Without the window the query yields 0, so the mark is cleared.
    const LRESULT enabled = hotkeyWindow != nullptr ? SendMessageW(hotkeyWindow, WM_QUERY_ENABLED, 0, 0) : 0;
    if (hostServices.setMenuProperty == nullptr) {
        return;
    }
    hostServices.setMenuProperty(hostPluginHandle, COMMAND_ENABLE, MENU_PROPERTY_CHECKED,
                                 enabled != 0 ? MENU_PROPERTY_CHECKED : 0);
}

int RouteCommand(int32_t commandId)
{
    switch (commandId) {
    case COMMAND_ENABLE:
        if (hotkeyWindow != nullptr) {
            SendMessageW(hotkeyWindow, WM_COMMAND, IDM_ENABLE, 0);
        }
        // Re-synced even when the toggle was refused during a settings session.
        ShowEnabledCheckMark();
        break;
    case COMMAND_SETTINGS:
        // Posted: the dialog runs from the host's loop after the host's call has returned.
        if (hotkeyWindow != nullptr) {
            PostMessageW(hotkeyWindow, WM_COMMAND, IDM_OPTION, 0);
        }
        break;
    default:
        break;
    }
    return 1;
}
