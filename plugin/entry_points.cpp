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

// A host that frees the library without TTBEvent_Unload would leave the window's procedure, and
// the timer that calls it, pointing into unmapped code.
void LetGoWithoutUnload()
{
    if (hotkeyWindow != nullptr) {
        AbandonHotkeyWindow(hotkeyWindow);
        hotkeyWindow = nullptr;
    }
    UnregisterClassW(HOTKEY_WINDOW_CLASS, moduleInstance);
}

}  // namespace

// cppcheck-suppress constParameter ; the loader's signature
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Freed by FreeLibrary rather than at the end of the process.
        LetGoWithoutUnload();
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
    // A host that starts the plug-in twice keeps the one window: a second would load the bindings
    // again, and the first would outlive the unload, its procedure unmapped with the library.
    if (hotkeyWindow == nullptr) {
        hotkeyWindow = CreateHotkeyWindow();
    }
    ShowEnabledCheckMark();
    return TRUE;
}

BOOL WINAPI TTBEvent_Unload()
{
    if (hotkeyWindow != nullptr) {
        DestroyWindow(hotkeyWindow);
        hotkeyWindow = nullptr;
    }
    return UnregisterClassW(HOTKEY_WINDOW_CLASS, moduleInstance);
}

BOOL WINAPI TTBEvent_Execute(int32_t commandId, HWND)
{
    return RouteCommand(commandId);
}

}  // extern "C"
