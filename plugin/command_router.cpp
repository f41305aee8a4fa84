#include "plugin/command_router.h"

#include "hotkeys/hotkey_window.h"

int RouteCommand(int32_t commandId)
{
    RunOwnCommand(commandId);
    return 1;
}
