// The stand-in host's plug-ins: loading and unloading them, the information records the host
// keeps for them, their menu check marks, and running their commands.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugin/host_abi.h"

// A deep copy of a PluginInfo and its commands; the record's pointers point into the copy.
class OwnedPluginInfo {
public:
    explicit OwnedPluginInfo(const PluginInfo& source);
    OwnedPluginInfo(const OwnedPluginInfo&) = delete;
    OwnedPluginInfo& operator=(const OwnedPluginInfo&) = delete;

    PluginInfo* Record() { return &record_; }

private:
    std::wstring name_;
    std::wstring fileName_;
    std::vector<std::wstring> commandNames_;
    std::vector<std::wstring> commandCaptions_;
    std::vector<PluginCommandInfo> commands_;
    PluginInfo record_;
};

struct LoadedPlugin {
    std::wstring fileName;  // as the host knows it: the DLL's base name
    std::wstring path;
    HMODULE module = nullptr;
    DWORD_PTR handle = 0;
    std::unique_ptr<OwnedPluginInfo> info;
    std::map<int32_t, bool> checked;  // command id -> check mark shown
    ExecuteEvent execute = nullptr;
    UnloadEvent unload = nullptr;
};

// Loads the DLL at path as the host does: InitPluginInfo, keep a copy of the record, then Init
// with a handle of the host's own. Returns the plug-in, or null when it is not a plug-in.
LoadedPlugin* LoadPlugin(const std::wstring& path, std::wstring* error);
// Unload then FreeLibrary for every plug-in, in load order; what each Unload answered. Plug-in
// handles count from 1 again afterwards.
std::vector<BOOL> UnloadAllPlugins();
const std::vector<std::unique_ptr<LoadedPlugin>>& LoadedPlugins();

// The file name compares without regard to case, as the host's menus and references do.
LoadedPlugin* FindPluginByFileName(const wchar_t* fileName);
LoadedPlugin* FindPluginByHandle(DWORD_PTR handle);

// Calls the plug-in's TTBEvent_Execute as the host's menus do, and shows it in the host's window.
BOOL RunPluginCommand(LoadedPlugin& plugin, int32_t commandId);
// The caption of the plug-in's command with this id; empty when it has none.
std::wstring CommandCaption(const LoadedPlugin& plugin, int32_t commandId);

// The null-terminated array of deep copies that GetAllPluginInfo hands out, and its release.
PluginInfo** NewPluginInfoArray();
// False when the array was not made by NewPluginInfoArray (or was freed already).
bool FreePluginInfoArray(PluginInfo** array);
int OutstandingPluginInfoArrays();
