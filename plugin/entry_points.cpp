// The six events the host calls, the plug-in descriptor it reads, and the library entry point.
#include <windows.h>

#include "hotkeys/hotkey_window.h"
#include "plugin/command_router.h"
#include "plugin/host_abi.h"
#include "plugin/host_services.h"
#include "plugin/plugin_state.h"

HINSTANCE moduleInstance;
DWORD_PTR hostPluginHandle;
wchar_t pluginFileName[TEXT_CAPACITY];
HWND hostMainWindow;
HWND hotkeyWindow;

namespace {

// The host's records point at writable text, so the descriptor's texts are arrays of their own.
wchar_t pluginName[] = L"Tessel";
wchar_t enableName[] = L"Tessel enable";
wchar_t enableCaption[] = L"Tessel 有効";
wchar_t settingName[] = L"Tessel setting";
wchar_t settingCaption[] = L"Tessel 設定...";

constexpr uint32_t MENU_FLAGS_OWN_COMMANDS = 5;

PluginCommandInfo ownCommands[] = {
    {enableName, enableCaption, 0, 0, 0, MENU_FLAGS_OWN_COMMANDS, 0, 0},
    {settingName, settingCaption, 1, 0, 0, MENU_FLAGS_OWN_COMMANDS, 0, 0},
};

PluginInfo descriptor = {
    0, pluginName, pluginFileName, 0, 0x00010005, 0, 2, ownCommands, 0,
};

// Held from Init until Unload has ended the window: a host that frees the library without Unload,
// from any thread, leaves it mapped and working, so the window's procedure, its timers and the
// foreground hook never point into unmapped code. Taking all of that down from DllMain instead
// cannot work for a window of another thread, and the loader's lock is no place for a save.
HMODULE heldLibrary;

void HoldLibrary()
{
    if (heldLibrary == nullptr) {
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&descriptor),
                           &heldLibrary);
    }
}

void LetGoOfLibrary()
{
    if (heldLibrary != nullptr) {
        FreeLibrary(heldLibrary);
        heldLibrary = nullptr;
    }
}

}  // namespace

// cppcheck-suppress constParameter ; the loader's signature
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
    }
    return TRUE;
}

extern "C" {

PluginInfo* WINAPI TTBEvent_InitPluginInfo(const wchar_t* fileName)
{
    CopyText(pluginFileName, TEXT_CAPACITY, fileName);
    return &descriptor;
}

// Exported as both TTBEvent_FreePluginInfo and TTBEvent_WindowsHook: the descriptor is static
// and the plug-in watches no window messages, so neither event has anything to do.
void WINAPI IgnoreHostEvent()
{
}

BOOL WINAPI TTBEvent_Init(const wchar_t* fileName, DWORD_PTR pluginHandle)
{
    hostPluginHandle = pluginHandle;
    CopyText(pluginFileName, TEXT_CAPACITY, fileName);
    ResolveHostServices();
    hostMainWindow = FindHostMainWindow();
    HoldLibrary();
    // A host that starts the plug-in twice, or loads it again after freeing it without Unload,
    // keeps the one window: a second would load the bindings again and share the first one's
    // table. A window whose thread has ended went with it. Without the hold no window is made,
    // since nothing could then keep its code mapped.
    if (heldLibrary != nullptr && (hotkeyWindow == nullptr || !IsWindow(hotkeyWindow))) {
        hotkeyWindow = CreateHotkeyWindow();
    }
    ShowEnabledCheckMark();
    return TRUE;
}

BOOL WINAPI TTBEvent_Unload()
{
    // Only the window's own thread can destroy it: called from another, the plug-in stays held
    // and working, for an Unload on that thread to end.
    if (hotkeyWindow != nullptr) {
        DestroyWindow(hotkeyWindow);
        if (!IsWindow(hotkeyWindow)) {
            hotkeyWindow = nullptr;
        }
    }
    const BOOL unregistered = UnregisterClassW(HOTKEY_WINDOW_CLASS, moduleInstance);
    if (hotkeyWindow == nullptr) {
        LetGoOfLibrary();
    }
    return unregistered;
}

BOOL WINAPI TTBEvent_Execute(int32_t commandId, HWND)
{
    return RouteCommand(commandId);
}

}  // extern "C"
