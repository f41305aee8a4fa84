// The services the host exports from its executable, resolved once at Init, and the lookup of
// the host's main window.
#pragma once

#include "plugin/host_abi.h"

// One entry per service; an entry stays null when the host does not export the name.
struct HostServices {
    GetPluginInfoService getPluginInfo;
    SetPluginInfoService setPluginInfo;
    FreePluginInfoService freePluginInfo;
    SetMenuPropertyService setMenuProperty;
    GetAllPluginInfoService getAllPluginInfo;
    FreePluginInfoArrayService freePluginInfoArray;
    SetTaskTrayIconService setTaskTrayIcon;
    WriteLogService writeLog;
    ExecuteCommandService executeCommand;
};

extern HostServices hostServices;

// Looks the nine services up in the executable module of the current process.
void ResolveHostServices();

// The first top-level "TTBaseMain" window titled "TTBase" that belongs to this process, or null.
HWND FindHostMainWindow();
