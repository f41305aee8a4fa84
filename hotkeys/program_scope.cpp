#include "hotkeys/program_scope.h"

#include "base/heap_block.h"
#include "hotkeys/combination_rows.h"
#include "hotkeys/handed_key.h"
#include "hotkeys/program_names.h"

// A combination that must not fire for the program in front is unregistered, so the key reaches
// that program untouched, repeats and modifiers included. Where the platform reports foreground
// changes the registrations follow them; elsewhere (Wine reports none) a press still arrives, and
// is handed on: the combination is unregistered, the same key is put into the input while the
// user still holds the modifiers, and the combination is registered again once the key is up.
// Nothing here waits: the release is seen on a timer no faster than the settings file's watch.

int pauseFullscreen;

namespace {

// The settings watch has timer 1 on the same window.
constexpr UINT_PTR SCOPE_TIMER = 2;
constexpr UINT SCOPE_TIMER_MS = 500;

// The class names of the desktop behind every window, which covers the monitor without being a
// program in front.
constexpr int CLASS_NAME_CAPACITY = 16;

// The program in front: its window, the file name of its process and whether it fills its monitor
// while the pause is on.
struct Foreground {
    HWND window;
    bool paused;
    wchar_t program[MAX_PATH];
};

HWND scopeWindow;
HWINEVENTHOOK foregroundHook;
// The hotkey window's bindings are registered: hotkeys on and no settings session.
bool registered;
// The live table's rows that share a combination, while registered and a press must choose
// among them; null otherwise, and each row is then alone.
CombinationRow* combinationRows;
int linkedCount;
// Registered bindings with a program list; without any, and without the pause, a foreground
// change changes nothing.
int scopedCount;
Foreground seen;
bool seenValid;
// Some combination is unregistered for the program in front; the timer looks at the foreground
// again, since a window that leaves full screen, for one, reports no foreground change.
bool withholding;
// Presses handed to the program: each combination, by its first row, waits for its key to be
// released. Two or three combinations pressed in turn faster than the timer looks are the most a
// hand makes.
constexpr int MAX_PASSED = 8;
struct Passed {
    int id;
    UINT virtualKey;
};
Passed passed[MAX_PASSED];
int passedCount;

bool IsOwnProcess(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId == GetCurrentProcessId();
}

bool IsDesktop(HWND window)
{
    wchar_t className[CLASS_NAME_CAPACITY] = {};
    GetClassNameW(window, className, CLASS_NAME_CAPACITY);
    return window == GetShellWindow() || window == GetDesktopWindow() || lstrcmpW(className, L"WorkerW") == 0 ||
           lstrcmpW(className, L"Progman") == 0;
}

// Another program's window without a caption over its whole monitor: a game, a presentation, a
// video. The host's windows and Tessel's own share this process and never count; a maximised
// window keeps its caption.
bool FillsMonitor(HWND window)
{
    if (window == nullptr || IsOwnProcess(window) || IsDesktop(window) ||
        (GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
        return false;
    }
    RECT bounds;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetWindowRect(window, &bounds) ||
        !GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return false;
    }
    return bounds.left <= monitor.rcMonitor.left && bounds.top <= monitor.rcMonitor.top &&
           bounds.right >= monitor.rcMonitor.right && bounds.bottom >= monitor.rcMonitor.bottom;
}

// The program last named, by its window and process: a window keeps its process for life, so a
// press in the same window spares asking the process again.
struct NamedProgram {
    HWND window;
    DWORD processId;
    wchar_t program[MAX_PATH];
};
NamedProgram named;

void NameProgram(HWND window, wchar_t* program)
{
    DWORD processId = 0;
    if (window != nullptr) {
        GetWindowThreadProcessId(window, &processId);
    }
    if (processId == 0 || window != named.window || processId != named.processId) {
        named.window = window;
        named.processId = processId;
        ReadProgramName(window, named.program);
    }
    CopyText(program, MAX_PATH, named.program);
}

void LookAtForeground(Foreground* now)
{
    now->window = GetForegroundWindow();
    NameProgram(now->window, now->program);
    now->paused = pauseFullscreen != 0 && FillsMonitor(now->window);
}

// The first row of the combination registered under id that fires for the program in front, or -1.
int FiringRow(int id, const Foreground& now)
{
    if (now.paused) {
        return -1;
    }
    for (int row = id; row != -1; row = NextRowOf(combinationRows, linkedCount, row)) {
        if (ProgramsAdmit(GetHotkeyPrograms(liveTable, row), now.program)) {
            return row;
        }
    }
    return -1;
}

bool IsFirstRow(int row)
{
    return FirstRowOf(combinationRows, linkedCount, row) == row;
}

void CALLBACK OnScopeTimer(HWND, UINT, UINT_PTR, DWORD);

bool IsPassed(int id)
{
    for (int i = 0; i < passedCount; ++i) {
        if (passed[i].id == id) {
            return true;
        }
    }
    return false;
}

// Setting the timer again only restarts its period.
void StartTimer()
{
    SetTimer(scopeWindow, SCOPE_TIMER, SCOPE_TIMER_MS, OnScopeTimer);
}

void RegisterBinding(int id, const HotkeyItem& item)
{
    RegisterHotKey(scopeWindow, id, HotkeyModifiers(item.key), item.key & VIRTUAL_KEY_BITS);
}

// Registers what fires for the program in front and unregisters what does not. Only combinations
// whose first row has a program list change with the program (one without fires everywhere); all
// change when the pause begins or ends. A registration the system already holds for us fails and
// changes nothing.
void FollowForeground()
{
    if (!registered || (scopedCount == 0 && pauseFullscreen == 0)) {
        return;
    }
    Foreground now;
    LookAtForeground(&now);
    if (seenValid && now.window == seen.window && now.paused == seen.paused) {
        return;
    }
    const bool pauseChanged = seenValid ? now.paused != seen.paused : now.paused;
    seen = now;
    seenValid = true;
    withholding = false;
    const int count = GetHotkeyCount(liveTable);
    for (int id = 0; id < count; ++id) {
        const HotkeyItem* item = GetHotkeyItem(liveTable, id);
        if (IsPassed(id) || (item->key & VIRTUAL_KEY_BITS) == 0 || !IsFirstRow(id) ||
            !(pauseChanged || IsLimited(GetHotkeyPrograms(liveTable, id)))) {
            continue;
        }
        if (FiringRow(id, seen) != -1) {
            RegisterBinding(id, *item);
        } else {
            UnregisterHotKey(scopeWindow, id);
            withholding = true;
        }
    }
    if (withholding) {
        StartTimer();
    }
}

void CALLBACK OnForegroundEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD)
{
    FollowForeground();
}

// The combination of a passed press takes presses again, whichever program is in front then.
void TakeBack(int index)
{
    const HotkeyItem* item = registered ? GetHotkeyItem(liveTable, passed[index].id) : nullptr;
    if (item != nullptr) {
        RegisterBinding(passed[index].id, *item);
    }
    passed[index] = passed[--passedCount];
}

// While a passed key is held its repeats go to the program; once it is up its combination is
// registered again.
void CALLBACK OnScopeTimer(HWND, UINT, UINT_PTR, DWORD)
{
    for (int i = passedCount; i-- > 0;) {
        if (GetAsyncKeyState(static_cast<int>(passed[i].virtualKey)) >= 0) {
            TakeBack(i);
        }
    }
    if (withholding) {
        FollowForeground();
    }
    if (!withholding && passedCount == 0) {
        KillTimer(scopeWindow, SCOPE_TIMER);
    }
}

// Unregistered first: the key put into the input would otherwise come back as this hotkey.
void PassPressToProgram(int id, const HotkeyItem& item)
{
    UnregisterHotKey(scopeWindow, id);
    HandKeyToProgram(item.key);
    if (passedCount == MAX_PASSED) {
        TakeBack(0);
    }
    passed[passedCount++] = {id, static_cast<UINT>(item.key & VIRTUAL_KEY_BITS)};
    StartTimer();
}

// Counts the limited rows, and keeps the links only where a press must choose: a combination whose
// first row fires everywhere takes every press itself, as one with a row alone does.
void LinkLimitedRows()
{
    scopedCount = 0;
    bool choosing = false;
    linkedCount = GetHotkeyCount(liveTable);
    combinationRows = LinkCombinationRows(liveTable);
    for (int row = 0; row < linkedCount; ++row) {
        if (IsLimited(GetHotkeyPrograms(liveTable, row))) {
            ++scopedCount;
            choosing = choosing || (IsFirstRow(row) && NextRowOf(combinationRows, linkedCount, row) != -1);
        }
    }
    if (!choosing) {
        ReleaseBlock(combinationRows);
        combinationRows = nullptr;
    }
}

// Whether the first row's combination is registered or not by the program in front.
bool FollowsForeground(int row)
{
    return IsLimited(GetHotkeyPrograms(liveTable, row)) || pauseFullscreen != 0;
}

// As the table is registered: the program in front looked at, when some combination depends on
// it, and the timer started when a combination waits for the foreground to change.
void WithholdWhatDoesNotFire()
{
    if (scopedCount == 0 && pauseFullscreen == 0) {
        return;
    }
    LookAtForeground(&seen);
    seenValid = true;
    const int count = GetHotkeyCount(liveTable);
    for (int row = 0; row < count && !withholding; ++row) {
        const HotkeyItem* item = GetHotkeyItem(liveTable, row);
        withholding = (item->key & VIRTUAL_KEY_BITS) != 0 && IsFirstRow(row) && FollowsForeground(row) &&
                      FiringRow(row, seen) == -1;
    }
    if (withholding) {
        StartTimer();
    }
}

}  // namespace

void StartProgramScope(HWND window)
{
    scopeWindow = window;
    registered = false;
    seenValid = false;
    withholding = false;
    passedCount = 0;
    // Out of context: the events come to this thread's message loop, never into other processes.
    foregroundHook = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, OnForegroundEvent, 0,
                                     0, WINEVENT_OUTOFCONTEXT);
}

void StopProgramScope()
{
    if (foregroundHook != nullptr) {
        UnhookWinEvent(foregroundHook);
        foregroundHook = nullptr;
    }
    FollowRegistration(false);
    scopeWindow = nullptr;
}

void FollowRegistration(bool registeredNow)
{
    registered = registeredNow;
    seenValid = false;
    withholding = false;
    passedCount = 0;
    KillTimer(scopeWindow, SCOPE_TIMER);
    ReleaseBlock(combinationRows);
    combinationRows = nullptr;
    linkedCount = 0;
    scopedCount = 0;
    if (registered) {
        LinkLimitedRows();
        WithholdWhatDoesNotFire();
    }
}

bool RegistersInForeground(int row)
{
    return IsFirstRow(row) && (!FollowsForeground(row) || FiringRow(row, seen) != -1);
}

int ChoosePressedRow(int id)
{
    const HotkeyItem* item = GetHotkeyItem(liveTable, id);
    if (item == nullptr) {
        return -1;
    }
    if (!IsLimited(GetHotkeyPrograms(liveTable, id)) && pauseFullscreen == 0) {
        return id;
    }
    Foreground now;
    LookAtForeground(&now);
    const int row = FiringRow(id, now);
    if (row == -1) {
        PassPressToProgram(id, *item);
    }
    return row;
}
