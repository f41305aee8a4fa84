#include "ui/dialog_scale.h"

namespace {

constexpr int BASE_DPI = 96;

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

// Windows 10 1607 and later know the DPI of each window; older systems have one for the screen.
UINT WindowDpi(HWND window)
{
    const HMODULE user = GetModuleHandleW(L"user32.dll");
    const auto getDpiForWindow = user != nullptr ? reinterpret_cast<GetDpiForWindowFunction>(
                                                       reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")))
                                                 : nullptr;
    if (getDpiForWindow != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) {
            return dpi;
        }
    }
    const HDC screen = GetDC(window);
    if (screen == nullptr) {
        return BASE_DPI;
    }
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(window, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : BASE_DPI;
}

}  // namespace

int ScaleToWindow(HWND window, int pixelsAt96Dpi)
{
    return MulDiv(pixelsAt96Dpi, static_cast<int>(WindowDpi(window)), BASE_DPI);
}
