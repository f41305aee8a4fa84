// A program with one window that writes every key it receives, and the modifiers held with it, to
// the file named on its command line: "down <virtual key> ctrl=<0|1> alt=<0|1> shift=<0|1>
// repeat=<0|1>" (repeat: the key was down already, as in a held key's repeats) or "up <virtual
// key>", one line each. Built twice under two file names, it stands for two programs.
// With "fullscreen" after the file name its window has no caption and covers the monitor.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

const wchar_t* keysPath;

void Record(const char* line)
{
    const HANDLE file = CreateFileW(keysPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
        CloseHandle(file);
    }
}

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    char line[64];
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        std::snprintf(line, sizeof(line), "down %u ctrl=%d alt=%d shift=%d repeat=%d\n", static_cast<unsigned>(wParam),
                      GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_MENU) < 0, GetKeyState(VK_SHIFT) < 0,
                      static_cast<int>((lParam >> 30) & 1));
        Record(line);
        return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        std::snprintf(line, sizeof(line), "up %u\n", static_cast<unsigned>(wParam));
        Record(line);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        return 2;
    }
    keysPath = argv[1];
    const bool fullScreen = argc > 2 && std::wcscmp(argv[2], L"fullscreen") == 0;
    wchar_t name[MAX_PATH];
    GetModuleFileNameW(nullptr, name, MAX_PATH);
    const wchar_t* title = std::wcsrchr(name, L'\\') != nullptr ? std::wcsrchr(name, L'\\') + 1 : name;

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = RecorderProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KeyRecorder";
    RegisterClassW(&windowClass);
    const HWND window = fullScreen ? CreateWindowExW(0, L"KeyRecorder", title, WS_POPUP | WS_VISIBLE, 0, 0,
                                                     GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                                     nullptr, nullptr, windowClass.hInstance, nullptr)
                                   : CreateWindowExW(0, L"KeyRecorder", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                                                     100, 300, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
