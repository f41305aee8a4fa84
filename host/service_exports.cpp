#include "host/service_exports.h"

#include <map>
#include <memory>
#include <string>
#include <type_traits>

#include "host/host_record.h"
#include "host/main_window.h"
#include "host/plugin_host.h"

namespace {

bool overridePluginArray = false;
PluginInfo** pluginArrayOverride = nullptr;
// Records handed out by GetPluginInfo until the plug-in frees them. Made at the first use and
// never destroyed: a plug-in's thread may still call a service while the process exits, after the
// C runtime has destroyed the static objects.
std::map<PluginInfo*, std::unique_ptr<OwnedPluginInfo>>& HandedOutRecords()
{
    static auto* const records = new std::map<PluginInfo*, std::unique_ptr<OwnedPluginInfo>>();
    return *records;
}

std::wstring Text(const wchar_t* text)
{
    return text != nullptr ? std::wstring(text) : std::wstring(L"(null)");
}

std::wstring Number(long long value)
{
    return std::to_wstring(value);
}

// The services have these exact types; a mismatch would break every plug-in that calls them.
static_assert(std::is_same<decltype(&TTBPlugin_GetPluginInfo), GetPluginInfoService>::value, "GetPluginInfo");
static_assert(std::is_same<decltype(&TTBPlugin_SetPluginInfo), SetPluginInfoService>::value, "SetPluginInfo");
static_assert(std::is_same<decltype(&TTBPlugin_FreePluginInfo), FreePluginInfoService>::value, "FreePluginInfo");
static_assert(std::is_same<decltype(&TTBPlugin_SetMenuProperty), SetMenuPropertyService>::value,
              "SetMenuProperty");
static_assert(std::is_same<decltype(&TTBPlugin_GetAllPluginInfo), GetAllPluginInfoService>::value,
              "GetAllPluginInfo");
static_assert(std::is_same<decltype(&TTBPlugin_FreePluginInfoArray), FreePluginInfoArrayService>::value,
              "FreePluginInfoArray");
static_assert(std::is_same<decltype(&TTBPlugin_SetTaskTrayIcon), SetTaskTrayIconService>::value,
              "SetTaskTrayIcon");
static_assert(std::is_same<decltype(&TTBPlugin_WriteLog), WriteLogService>::value, "WriteLog");
static_assert(std::is_same<decltype(&TTBPlugin_ExecuteCommand), ExecuteCommandService>::value, "ExecuteCommand");

}  // namespace

void OverridePluginInfoArray(PluginInfo** array)
{
    overridePluginArray = true;
    pluginArrayOverride = array;
}

void UseLoadedPluginInfo()
{
    overridePluginArray = false;
    pluginArrayOverride = nullptr;
}

extern "C" {

PluginInfo* WINAPI TTBPlugin_GetPluginInfo(DWORD_PTR hostPluginHandle)
{
    RecordCall(L"GetPluginInfo(" + Number(static_cast<long long>(hostPluginHandle)) + L")");
    LoadedPlugin* plugin = FindPluginByHandle(hostPluginHandle);
    if (plugin == nullptr) {
        return nullptr;
    }
    auto copy = std::make_unique<OwnedPluginInfo>(*plugin->info->Record());
    PluginInfo* record = copy->Record();
    HandedOutRecords()[record] = std::move(copy);
    return record;
}

void WINAPI TTBPlugin_SetPluginInfo(DWORD_PTR hostPluginHandle, PluginInfo* info)
{
    RecordCall(L"SetPluginInfo(" + Number(static_cast<long long>(hostPluginHandle)) + L")");
    LoadedPlugin* plugin = FindPluginByHandle(hostPluginHandle);
    if (plugin != nullptr && info != nullptr) {
        plugin->info = std::make_unique<OwnedPluginInfo>(*info);
    }
}

void WINAPI TTBPlugin_FreePluginInfo(PluginInfo* info)
{
    RecordCall(L"FreePluginInfo()");
    HandedOutRecords().erase(info);
}

void WINAPI TTBPlugin_SetMenuProperty(DWORD_PTR hostPluginHandle, int32_t commandId, int32_t changeFlags,
                                      int32_t flags)
{
    RecordCall(L"SetMenuProperty(" + Number(static_cast<long long>(hostPluginHandle)) + L"," + Number(commandId) +
               L"," + Number(changeFlags) + L"," + Number(flags) + L")");
    LoadedPlugin* plugin = FindPluginByHandle(hostPluginHandle);
    if (plugin != nullptr && (changeFlags & MENU_PROPERTY_CHECKED) != 0) {
        const bool checked = (flags & MENU_PROPERTY_CHECKED) != 0;
        plugin->checked[commandId] = checked;
        ShowPluginActivity(*plugin, commandId, checked ? L"check mark on" : L"check mark off");
    }
}

PluginInfo** WINAPI TTBPlugin_GetAllPluginInfo()
{
    RecordCall(L"GetAllPluginInfo()");
    return overridePluginArray ? pluginArrayOverride : NewPluginInfoArray();
}

void WINAPI TTBPlugin_FreePluginInfoArray(PluginInfo** plugins)
{
    RecordCall(L"FreePluginInfoArray()");
    // An array of the test's own (or none) is not the host's to free.
    FreePluginInfoArray(plugins);
}

void WINAPI TTBPlugin_SetTaskTrayIcon(HICON, const wchar_t* tip)
{
    RecordCall(L"SetTaskTrayIcon(" + Text(tip) + L")");
}

void WINAPI TTBPlugin_WriteLog(DWORD_PTR hostPluginHandle, int32_t level, const wchar_t* text)
{
    const std::wstring call = L"WriteLog(" + Number(static_cast<long long>(hostPluginHandle)) + L"," +
                              Number(level) + L"," + Text(text) + L")";
    RecordCall(call);
    RecordLog(Text(text));
    WriteHostLog(call);
}

BOOL WINAPI TTBPlugin_ExecuteCommand(const wchar_t* pluginFileName, int32_t commandId)
{
    RecordCall(L"ExecuteCommand(" + Text(pluginFileName) + L"," + Number(commandId) + L")");
    LoadedPlugin* plugin = FindPluginByFileName(pluginFileName);
    if (plugin == nullptr) {
        return FALSE;
    }
    return RunPluginCommand(*plugin, commandId);
}

}  // extern "C"
