// A second instance of the host for the window lookup tests: it owns a "TTBaseMain" window
// titled "TTBase" in a process of its own, and runs until it is ended. The window is topmost,
// so a search of the top-level windows meets it before the test's own.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"TTBaseMain";
    RegisterClassW(&windowClass);
    if (CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"TTBaseMain", L"TTBase", WS_POPUP, 0, 0, 1, 1, nullptr,
                        nullptr, instance, nullptr) == nullptr) {
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}
