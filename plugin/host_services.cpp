#include "plugin/host_services.h"

HostServices hostServices;

namespace {

template <typename Service>
Service Resolve(HMODULE executable, const char* name)
{
    return reinterpret_cast<Service>(reinterpret_cast<void*>(GetProcAddress(executable, name)));
}

}  // namespace

void ResolveHostServices()
{
    const HMODULE executable = GetModuleHandleW(nullptr);
    hostServices.getPluginInfo = Resolve<GetPluginInfoService>(executable, "TTBPlugin_GetPluginInfo");
    hostServices.setPluginInfo = Resolve<SetPluginInfoService>(executable, "TTBPlugin_SetPluginInfo");
    hostServices.freePluginInfo = Resolve<FreePluginInfoService>(executable, "TTBPlugin_FreePluginInfo");
    hostServices.setMenuProperty = Resolve<SetMenuPropertyService>(executable, "TTBPlugin_SetMenuProperty");
    hostServices.getAllPluginInfo = Resolve<GetAllPluginInfoService>(executable, "TTBPlugin_GetAllPluginInfo");
    hostServices.freePluginInfoArray =
        Resolve<FreePluginInfoArrayService>(executable, "TTBPlugin_FreePluginInfoArray");
    hostServices.setTaskTrayIcon = Resolve<SetTaskTrayIconService>(executable, "TTBPlugin_SetTaskTrayIcon");
    hostServices.writeLog = Resolve<WriteLogService>(executable, "TTBPlugin_WriteLog");
    hostServices.executeCommand = Resolve<ExecuteCommandService>(executable, "TTBPlugin_ExecuteCommand");
}

HWND FindHostMainWindow()
{
    const DWORD currentProcess = GetCurrentProcessId();
    // Another running instance of the host owns a window of the same class and title; only the
    // one of this process receives the colon commands.
    HWND candidate = FindWindowExW(nullptr, nullptr, L"TTBaseMain", L"TTBase");
    while (candidate != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(candidate, &owner);
        if (owner == currentProcess) {
            return candidate;
        }
        candidate = FindWindowExW(nullptr, candidate, L"TTBaseMain", L"TTBase");
    }
    return nullptr;
}
