#include "bench/scope_timing.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>

#include "bench/bench_bindings.h"
#include "bench/measuring.h"
#include "host/host_record.h"
#include "host/plugin_host.h"

namespace {

constexpr int SCOPE_WARM_UP = 3;
constexpr DWORD KEY_LIMIT_MS = 2000;
// Tessel registers a passed binding again on its half-second timer once the key is up.
constexpr DWORD REGISTERED_AGAIN_MS = 700;
constexpr DWORD SETTLE_MS = 50;
constexpr int FOREGROUND_CHANGES = 10;
constexpr KeyCode CTRL_ALT_X = 0x0658;
constexpr KeyCode CTRL_ALT_Y = 0x0659;
constexpr wchar_t FRONT_CLASS[] = L"TesselBenchFront";

double keyArrived = NAN;
int foregroundEvents;

LRESULT CALLBACK FrontProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && wParam == 'X') {
        keyArrived = Milliseconds();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateFrontWindow(int x)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = FrontProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = FRONT_CLASS;
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, FRONT_CLASS, L"front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, 0, 200, 100, nullptr,
                           nullptr, windowClass.hInstance, nullptr);
}

void BringToFront(HWND window)
{
    SetForegroundWindow(window);
    SetFocus(window);
    PumpUntil([window] { return GetForegroundWindow() == window; }, KEY_LIMIT_MS);
}

// One press of Ctrl+Alt+X until its key-down reaches the window in front, or NaN.
double TimeKeyArrival(const std::vector<INPUT>& inputs)
{
    DispatchPending();
    keyArrived = NAN;
    const double start = Milliseconds();
    SendInput(static_cast<UINT>(inputs.size()), const_cast<INPUT*>(inputs.data()), sizeof(INPUT));
    PumpUntil([] { return !std::isnan(keyArrived); }, KEY_LIMIT_MS);
    return keyArrived - start;
}

void TimeKeys(DWORD between, int presses, std::vector<double>& times, int* lost)
{
    const std::vector<INPUT> inputs = PressInputs(CTRL_ALT_X);
    for (int press = 0; press < SCOPE_WARM_UP + presses; ++press) {
        const double time = TimeKeyArrival(inputs);
        if (std::isnan(time)) {
            ++*lost;
        } else if (press >= SCOPE_WARM_UP) {
            times.push_back(time);
        }
        PumpUntil([] { return false; }, between);
    }
}

bool PressedCommandRan()
{
    const std::wstring pressedCall = L"ExecuteCommand(Sample.dll," + std::to_wstring(PRESSED_COMMAND_ID) + L")";
    const std::vector<std::wstring> calls = RecordedCalls();
    return std::find(calls.begin(), calls.end(), pressedCall) != calls.end();
}

// Presses of the combination until the host ran the pressed command each time.
void TimeFiredPresses(KeyCode key, int presses, std::vector<double>& times, int* lost)
{
    const std::vector<INPUT> inputs = PressInputs(key);
    for (int press = 0; press < SCOPE_WARM_UP + presses; ++press) {
        DispatchPending();
        ClearRecords();
        const double start = Milliseconds();
        SendInput(static_cast<UINT>(inputs.size()), const_cast<INPUT*>(inputs.data()), sizeof(INPUT));
        if (!PumpUntil(PressedCommandRan, KEY_LIMIT_MS)) {
            ++*lost;
        } else if (press >= SCOPE_WARM_UP) {
            times.push_back(Milliseconds() - start);
        }
    }
}

// Ctrl+Alt+X is bound for another program first and for every program after it, so each press
// looks at the program in front and passes over the first binding; Ctrl+Alt+Y has one binding.
void TimeSharedCombination(const std::wstring& folder, int presses, ScopeFigures& figures)
{
    const std::wstring pressed = L"Sample.dll|" + std::to_wstring(PRESSED_COMMAND_ID);
    WriteSettingsFile(folder + L"\\Tessel.ini",
                      L"[setting]\r\nenable=1\r\n[hotkeys]\r\nitem0_key=" + std::to_wstring(CTRL_ALT_X) +
                          L"\r\nitem0_command=Sample.dll|5\r\nitem0_param=\r\nitem0_only=elsewhere.exe\r\nitem1_key=" +
                          std::to_wstring(CTRL_ALT_X) + L"\r\nitem1_command=" + pressed +
                          L"\r\nitem1_param=\r\nitem2_key=" + std::to_wstring(CTRL_ALT_Y) + L"\r\nitem2_command=" +
                          pressed + L"\r\nitem2_param=\r\n");
    std::wstring error;
    if (LoadPlugin(folder + L"\\Tessel.dll", &error) == nullptr) {
        figures.lost += presses;
        return;
    }
    TimeFiredPresses(CTRL_ALT_X, presses, figures.sharedPress, &figures.lost);
    TimeFiredPresses(CTRL_ALT_Y, presses, figures.plainPress, &figures.lost);
    UnloadAllPlugins();
}

void CALLBACK CountForegroundEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD)
{
    ++foregroundEvents;
}

// Foreground changes between two windows, and how many of them the platform reported.
void CountForegroundEvents(HWND first, HWND second, ScopeFigures& figures)
{
    foregroundEvents = 0;
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                               CountForegroundEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
    for (int change = 0; change < FOREGROUND_CHANGES; ++change) {
        const HWND next = change % 2 == 0 ? second : first;
        BringToFront(next);
        figures.foregroundChanges += GetForegroundWindow() == next ? 1 : 0;
    }
    PumpUntil([] { return false; }, SETTLE_MS * 4);
    UnhookWinEvent(hook);
    figures.foregroundEvents = foregroundEvents;
}

}  // namespace

ScopeFigures MeasureProgramScope(const std::wstring& folder, int presses)
{
    ScopeFigures figures;
    const HWND front = CreateFrontWindow(0);
    const HWND other = CreateFrontWindow(300);
    BringToFront(front);
    TimeKeys(SETTLE_MS, presses, figures.plainKey, &figures.lost);

    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const wchar_t* name = std::wcsrchr(program, L'\\') != nullptr ? std::wcsrchr(program, L'\\') + 1 : program;
    WriteSettingsFile(folder + L"\\Tessel.ini", L"[setting]\r\nenable=1\r\n[hotkeys]\r\nitem0_key=" +
                                                    std::to_wstring(CTRL_ALT_X) + L"\r\nitem0_command=Sample.dll|" +
                                                    std::to_wstring(PRESSED_COMMAND_ID) +
                                                    L"\r\nitem0_param=\r\nitem0_except=" + name + L"\r\n");
    std::wstring error;
    if (LoadPlugin(folder + L"\\Tessel.dll", &error) == nullptr) {
        figures.lost = presses;
    } else {
        BringToFront(front);
        TimeKeys(REGISTERED_AGAIN_MS, presses, figures.passThrough, &figures.lost);
        CountForegroundEvents(front, other, figures);
        UnloadAllPlugins();
        BringToFront(front);
        TimeSharedCombination(folder, presses, figures);
    }
    DestroyWindow(front);
    DestroyWindow(other);
    DispatchPending();
    return figures;
}

void PrintScopeReport(const ScopeFigures& figures)
{
    const double passThrough = Median(figures.passThrough);
    const double plain = Median(figures.plainKey);
    std::printf("\nA binding kept out of the program in front (medians of %d presses; the floor is the same keys "
                "reaching the program with no hotkey registered):\n\n",
                static_cast<int>(figures.passThrough.size()));
    std::printf("| Figure | Tessel | Floor | Excess | Ratio |\n|---|---:|---:|---:|---:|\n");
    std::printf("| Press in an excluded program to the key reaching it | %.3f ms | %.3f ms | %s%.3f ms | %.2f |\n",
                passThrough, plain, passThrough < plain ? "-" : "+", std::fabs(passThrough - plain), passThrough / plain);
    const double shared = Median(figures.sharedPress);
    const double single = Median(figures.plainPress);
    std::printf("| Press of a combination bound first for another program, to the host's call (floor: one bound "
                "once) | %.3f ms | %.3f ms | %s%.3f ms | %.2f |\n",
                shared, single, shared < single ? "-" : "+", std::fabs(shared - single), shared / single);
    std::printf("\nPresses lost: %d. Foreground changes: %d, of which the platform reported %d "
                "(EVENT_SYSTEM_FOREGROUND); ",
                figures.lost, figures.foregroundChanges, figures.foregroundEvents);
    if (figures.foregroundEvents == 0) {
        std::printf("without them no registration follows a change here, and every press in an excluded program "
                    "takes the pass-through above.\n");
    } else {
        std::printf("Tessel's registrations follow each within the same dispatch of the reported event.\n");
    }
}
