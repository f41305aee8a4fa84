// The floor plug-in: the least plug-in of Tessel's kind. tessel_bench loads it beside Tessel for
// the Init and Unload floors, and tools/bench.sh builds it with the release build's compiler and
// options for the size floor. At Init it creates its hidden window, reads the flag and its
// [hotkeys] in one call each and registers every "item<N>_key"; a press is forwarded to the host;
// at Unload it unregisters them and saves what it read whole: a temporary file written, flushed
// and swapped in. It has no dialogs and no resources.
#include <windows.h>

#include "bench/floor_save.h"
#include "plugin/host_abi.h"

namespace {

HINSTANCE instance;
HWND window;
wchar_t fileName[MAX_PATH];
wchar_t name[] = L"Bare";
PluginInfo descriptor = {0, name, fileName, 0, 0x00010005, 0, 0, nullptr, 0};

wchar_t settingsPath[MAX_PATH];
UINT enabled;
wchar_t* section;  // [hotkeys] as read, kept for the save
int registered;

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

// The library's path with ".ini" in place of ".dll".
void FindSettings()
{
    const DWORD length = GetModuleFileNameW(instance, settingsPath, MAX_PATH);
    if (length > 4 && length < MAX_PATH) {
        lstrcpynW(settingsPath + length - 4, L".ini", 5);
    }
}

void ReadSettings()
{
    enabled = GetPrivateProfileIntW(L"setting", L"enable", 1, settingsPath);
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    GetFileAttributesExW(settingsPath, GetFileExInfoStandard, &file);
    const DWORD capacity = file.nFileSizeLow + 4;
    section = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(wchar_t)));
    if (section != nullptr) {
        GetPrivateProfileSectionW(L"hotkeys", section, capacity, settingsPath);
    }
}

UINT Modifiers(UINT code)
{
    return ((code & 0x100) != 0 ? MOD_SHIFT : 0) | ((code & 0x200) != 0 ? MOD_CONTROL : 0) |
           ((code & 0x400) != 0 ? MOD_ALT : 0) | ((code & 0x1000) != 0 ? MOD_WIN : 0);
}

// "item<N>_key=<code>" lines, in the order of the file.
void RegisterKeys()
{
    registered = 0;
    for (const wchar_t* line = section; line != nullptr && *line != L'\0'; line += lstrlenW(line) + 1) {
        const wchar_t* value = line;
        while (*value != L'\0' && *value != L'=') {
            ++value;
        }
        if (*value != L'=' || value - line < 4 || value[-4] != L'_' || value[-3] != L'k' || value[-2] != L'e' ||
            value[-1] != L'y') {
            continue;
        }
        UINT code = 0;
        for (++value; *value >= L'0' && *value <= L'9'; ++value) {
            code = code * 10 + static_cast<UINT>(*value - L'0');
        }
        RegisterHotKey(window, registered++, Modifiers(code), code & 0xFF);
    }
}

// Appends text at *end, within the block's capacity.
void Append(wchar_t* block, wchar_t** end, SIZE_T capacity, const wchar_t* text)
{
    const int length = lstrlenW(text);
    if (static_cast<SIZE_T>(*end - block + length) < capacity) {
        lstrcpynW(*end, text, length + 1);
        *end += length;
    }
}

// The file as Tessel writes it: the byte-order mark, [setting] enable, then [hotkeys].
void SaveSettings()
{
    SIZE_T units = 64;
    for (const wchar_t* line = section; line != nullptr && *line != L'\0'; line += lstrlenW(line) + 1) {
        units += static_cast<SIZE_T>(lstrlenW(line)) + 2;
    }
    auto* text = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, units * sizeof(wchar_t)));
    if (text == nullptr) {
        return;
    }
    wchar_t* end = text;
    wchar_t flag[] = L"0";
    flag[0] = static_cast<wchar_t>(L'0' + (enabled != 0 ? 1 : 0));
    Append(text, &end, units, L"\xFEFF[setting]\r\nenable=");
    Append(text, &end, units, flag);
    Append(text, &end, units, L"\r\n[hotkeys]\r\n");
    for (const wchar_t* line = section; line != nullptr && *line != L'\0'; line += lstrlenW(line) + 1) {
        Append(text, &end, units, line);
        Append(text, &end, units, L"\r\n");
    }
    SaveFileWhole(settingsPath, text, static_cast<DWORD>((end - text) * sizeof(wchar_t)));
    HeapFree(GetProcessHeap(), 0, text);
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
    FindSettings();
    ReadSettings();
    if (enabled != 0) {
        RegisterKeys();
    }
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI TTBEvent_Unload()
{
    for (int id = 0; id < registered; ++id) {
        UnregisterHotKey(window, id);
    }
    SaveSettings();
    HeapFree(GetProcessHeap(), 0, section);
    section = nullptr;
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
