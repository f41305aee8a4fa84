#include "bench/measuring.h"

#include <algorithm>
#include <cmath>

#include "host/host_driving.h"

namespace {

constexpr wchar_t FLOOR_WINDOW_CLASS[] = L"TesselBenchFloor";
constexpr int PROFILE_CACHE_ENTRIES = 10;

LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HOTKEY) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

double Milliseconds()
{
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::max<size_t>(rank, 1) - 1];
}

double Median(const std::vector<double>& values)
{
    return Percentile(values, 0.5);
}

void DispatchPending()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD limitMs)
{
    const double deadline = Milliseconds() + limitMs;
    while (!done()) {
        if (Milliseconds() >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        DispatchPending();
    }
    return true;
}

HWND CreateFloorWindow(DWORD style)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = FloorWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = FLOOR_WINDOW_CLASS;
        registered = RegisterClassW(&windowClass) != 0;
    }
    return CreateWindowExW(0, FLOOR_WINDOW_CLASS, L"floor", style, 100, 100, 660, 400, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

UINT HotkeyModifiers(KeyCode key)
{
    return ((key & KEY_SHIFT) != 0 ? MOD_SHIFT : 0) | ((key & KEY_CONTROL) != 0 ? MOD_CONTROL : 0) |
           ((key & KEY_ALT) != 0 ? MOD_ALT : 0) | ((key & KEY_WIN) != 0 ? MOD_WIN : 0);
}

void RegisterAll(HWND window, const std::vector<Binding>& bindings)
{
    for (size_t id = 0; id < bindings.size(); ++id) {
        RegisterHotKey(window, static_cast<int>(id), HotkeyModifiers(bindings[id].key), bindings[id].key & 0xFF);
    }
}

void UnregisterAll(HWND window, const std::vector<Binding>& bindings)
{
    for (size_t id = 0; id < bindings.size(); ++id) {
        UnregisterHotKey(window, static_cast<int>(id));
    }
}

std::vector<INPUT> PressInputs(KeyCode key)
{
    std::vector<WORD> keys;
    if ((key & KEY_CONTROL) != 0) {
        keys.push_back(VK_CONTROL);
    }
    if ((key & KEY_ALT) != 0) {
        keys.push_back(VK_MENU);
    }
    if ((key & KEY_SHIFT) != 0) {
        keys.push_back(VK_SHIFT);
    }
    if ((key & KEY_WIN) != 0) {
        keys.push_back(VK_LWIN);
    }
    keys.push_back(static_cast<WORD>(key & 0xFF));
    return KeyPressInputs(keys);
}

SIZE_T HeldHeapBytes()
{
    // On the stack: a container of the heaps would itself be a block of one of them.
    HANDLE heaps[64];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    SIZE_T held = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i])) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                held += entry.cbData + entry.cbOverhead;
            }
        }
        HeapUnlock(heaps[i]);
    }
    return held;
}

void ReleaseProfileCache(const std::wstring& folder)
{
    // Wine keeps the last ten files it parsed and lets the oldest go when another is read; ten
    // reads of files that do not exist leave only those ten small entries, whichever large files
    // were held before.
    for (int i = 0; i < PROFILE_CACHE_ENTRIES; ++i) {
        const std::wstring name = folder + L"\\absent" + std::to_wstring(i) + L".ini";
        GetPrivateProfileIntW(L"s", L"k", 0, name.c_str());
    }
}
