// The nine services the host exports to its plug-ins (TTBPlugin_*), each recorded as it is
// called; and the switch with which a test plays a careless host.
#pragma once

#include "plugin/host_abi.h"

// From now on TTBPlugin_GetAllPluginInfo answers this array (null included) instead of copies
// of the loaded plug-ins' records, and TTBPlugin_FreePluginInfoArray leaves it alone.
void OverridePluginInfoArray(PluginInfo** array);
void UseLoadedPluginInfo();

extern "C" {
PluginInfo* WINAPI TTBPlugin_GetPluginInfo(DWORD_PTR hostPluginHandle);
void WINAPI TTBPlugin_SetPluginInfo(DWORD_PTR hostPluginHandle, PluginInfo* info);
void WINAPI TTBPlugin_FreePluginInfo(PluginInfo* info);
void WINAPI TTBPlugin_SetMenuProperty(DWORD_PTR hostPluginHandle, int32_t commandId, int32_t changeFlags,
                                      int32_t flags);
PluginInfo** WINAPI TTBPlugin_GetAllPluginInfo();
void WINAPI TTBPlugin_FreePluginInfoArray(PluginInfo** plugins);
void WINAPI TTBPlugin_SetTaskTrayIcon(HICON icon, const wchar_t* tip);
void WINAPI TTBPlugin_WriteLog(DWORD_PTR hostPluginHandle, int32_t level, const wchar_t* text);
BOOL WINAPI TTBPlugin_ExecuteCommand(const wchar_t* pluginFileName, int32_t commandId);
}
