// The size floor for Tessel.dll: the least plug-in of the same kind, built by tools/bench.sh with
// the release build's compiler and options. It exports the six events and a descriptor, keeps a
// hidden window, registers the [hotkeys] keys of its INI file and posts each press to the host.
// Never loaded; only its size is compared.
#include <windows.h>

#include "plugin/host_abi.h"

namespace {

HINSTANCE instance;
HWND window;
wchar_t fileName[MAX_PATH];
wchar_t name[] = L"Bare";
PluginInfo descriptor = {0, name, fileName, 0, 0x00010005, 0, 0, nullptr, 0};

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HOTKEY) {
        const auto execute = reinterpret_cast<ExecuteCommandService>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "TTBPlugin_ExecuteCommand")));
        if (execute != nullptr) {
            execute(L"Other.dll", static_cast<int32_t>(wParam));
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterStoredKeys()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH - 4);
    lstrcpynW(path + length, L".ini", 5);
    static wchar_t section[32768];
    GetPrivateProfileSectionW(L"hotkeys", section, 32768, path);
    int id = 0;
    for (const wchar_t* line = section; *line != L'\0'; line += lstrlenW(line) + 1) {
        const wchar_t* value = line;
        while (*value != L'\0' && *value != L'=') {
            ++value;
        }
        const UINT key = *value == L'=' ? static_cast<UINT>(value[1] - L'0') : 0;
        RegisterHotKey(window, id++, MOD_CONTROL, key);
    }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        instance = module;
    }
    return TRUE;
}

extern "C" {

__declspec(dllexport) PluginInfo* WINAPI TTBEvent_InitPluginInfo(const wchar_t* pluginFileName)
{
    lstrcpynW(fileName, pluginFileName, MAX_PATH);
    return &descriptor;
}

__declspec(dllexport) void WINAPI TTBEvent_FreePluginInfo(PluginInfo*)
{
}

__declspec(dllexport) BOOL WINAPI TTBEvent_Init(const wchar_t*, DWORD_PTR)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"BareClass";
    RegisterClassW(&windowClass);
    window = CreateWindowExW(0, L"BareClass", nullptr, 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    RegisterStoredKeys();
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI TTBEvent_Unload()
{
    DestroyWindow(window);
    return UnregisterClassW(L"BareClass", instance);
}

__declspec(dllexport) BOOL WINAPI TTBEvent_Execute(int32_t, HWND)
{
    return TRUE;
}

__declspec(dllexport) void WINAPI TTBEvent_WindowsHook(UINT, WPARAM, LPARAM)
{
}

}  // extern "C"
