#include "hotkeys/program_scope.h"

#include <shlwapi.h>

#include <algorithm>

#include "base/bounded_text.h"

// A binding that must not fire for the program in front is unregistered, so the key reaches that
// program untouched, repeats and modifiers included. Where the platform reports foreground changes
// the registrations follow them; elsewhere (Wine reports none) a press still arrives, and is handed
// on: the binding is unregistered, the same key is put into the input while the user still holds
// the modifiers, and the binding is registered again once the key is up. Nothing here waits: the
// release is seen on a timer no faster than the settings file's watch.

int pauseFullscreen;

namespace {

// The settings watch has timer 1 on the same window.
constexpr UINT_PTR SCOPE_TIMER = 2;
constexpr UINT SCOPE_TIMER_MS = 500;

constexpr KeyCode VIRTUAL_KEY_BITS = 0x00FF;

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
// Registered bindings with a program list; without any, and without the pause, a foreground
// change changes nothing.
int scopedCount;
Foreground seen;
bool seenValid;
// Some binding is unregistered for the program in front; the timer looks at the foreground again,
// since a window that leaves full screen, for one, reports no foreground change.
bool withholding;
// Presses handed to the program: each binding waits for its key to be released. Two or three
// bindings pressed in turn faster than the timer looks are the most a hand makes.
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

void LookAtForeground(Foreground* now)
{
    now->window = GetForegroundWindow();
    ReadProgramName(now->window, now->program);
    now->paused = pauseFullscreen != 0 && FillsMonitor(now->window);
}

bool Fires(ProgramLists programs, const Foreground& now)
{
    if (now.paused || (programs.only[0] != L'\0' && !ProgramListNames(programs.only, now.program))) {
        return false;
    }
    return !ProgramListNames(programs.except, now.program);
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

// Registers what fires for the program in front and unregisters what does not. Only bindings with a
// program list change with the program; all change when the pause begins or ends. A registration
// the system already holds for us fails and changes nothing.
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
        const ProgramLists programs = GetHotkeyPrograms(liveTable, id);
        if (IsPassed(id) || (item->key & VIRTUAL_KEY_BITS) == 0 || !(pauseChanged || IsLimited(programs))) {
            continue;
        }
        if (Fires(programs, seen)) {
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

// The binding of a passed press takes presses again, whichever program is in front then.
void TakeBack(int index)
{
    const HotkeyItem* item = registered ? GetHotkeyItem(liveTable, passed[index].id) : nullptr;
    if (item != nullptr) {
        RegisterBinding(passed[index].id, *item);
    }
    passed[index] = passed[--passedCount];
}

// While a passed key is held its repeats go to the program; once it is up its binding is
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

struct Modifier {
    KeyCode bit;
    WORD virtualKey;
};
const Modifier modifiers[] = {{KEY_CONTROL, VK_CONTROL}, {KEY_SHIFT, VK_SHIFT}, {KEY_ALT, VK_MENU}, {KEY_WIN, VK_LWIN}};

bool IsDown(WORD virtualKey)
{
    if (virtualKey == VK_LWIN) {
        return GetAsyncKeyState(VK_LWIN) < 0 || GetAsyncKeyState(VK_RWIN) < 0;
    }
    return GetAsyncKeyState(virtualKey) < 0;
}

void AddKey(INPUT* inputs, UINT* count, WORD virtualKey, DWORD flags)
{
    INPUT& input = inputs[(*count)++];
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = flags;
}

// The key goes down once, with the modifiers the user still holds. A modifier already let go of is
// pressed around it, and a key already released goes up again, so nothing is left held down; a
// key still held goes up when the user lets go of it.
void SendKeyToProgram(KeyCode key)
{
    INPUT inputs[2 * ARRAYSIZE(modifiers) + 2] = {};
    UINT count = 0;
    bool pressedHere[ARRAYSIZE(modifiers)] = {};
    for (size_t i = 0; i < ARRAYSIZE(modifiers); ++i) {
        pressedHere[i] = (key & modifiers[i].bit) != 0 && !IsDown(modifiers[i].virtualKey);
        if (pressedHere[i]) {
            AddKey(inputs, &count, modifiers[i].virtualKey, 0);
        }
    }
    const auto virtualKey = static_cast<WORD>(key & VIRTUAL_KEY_BITS);
    const DWORD extended = (key & KEY_EXTENDED) != 0 ? KEYEVENTF_EXTENDEDKEY : 0;
    AddKey(inputs, &count, virtualKey, extended);
    if (!IsDown(virtualKey)) {
        AddKey(inputs, &count, virtualKey, extended | KEYEVENTF_KEYUP);
    }
    for (size_t i = ARRAYSIZE(modifiers); i-- > 0;) {
        if (pressedHere[i]) {
            AddKey(inputs, &count, modifiers[i].virtualKey, KEYEVENTF_KEYUP);
        }
    }
    SendInput(count, inputs, sizeof(INPUT));
}

// One entry of a ";"-separated program list: its text without the blanks around it, [begin, end),
// and where the entry after it starts.
struct ListEntry {
    const wchar_t* begin;
    const wchar_t* end;
    const wchar_t* next;
};

ListEntry ReadListEntry(const wchar_t* at)
{
    while (*at == L' ' || *at == L'\t') {
        ++at;
    }
    const wchar_t* end = at;
    while (*end != L'\0' && *end != L';') {
        ++end;
    }
    const wchar_t* next = *end == L';' ? end + 1 : end;
    while (end > at && (end[-1] == L' ' || end[-1] == L'\t')) {
        --end;
    }
    return {at, end, next};
}

// An entry that is a path names its program by the file name at its end.
const wchar_t* FileNameOf(const ListEntry& entry)
{
    const wchar_t* name = entry.begin;
    for (const wchar_t* at = entry.begin; at < entry.end; ++at) {
        if (*at == L'\\' || *at == L'/' || *at == L':') {
            name = at + 1;
        }
    }
    return name;
}

// A character no file name holds, or a comma: a list written with commas is one name that no
// program has.
bool NeverInFileName(wchar_t unit)
{
    return unit < L' ' || StrChrW(L"*?\"<>|,", unit) != nullptr;
}

}  // namespace

void ReadProgramName(HWND window, wchar_t* program)
{
    program[0] = L'\0';
    DWORD processId = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0) {
        return;
    }
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return;
    }
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, path, &size)) {
        CopyText(program, MAX_PATH, PathFindFileNameW(path));
    }
    CloseHandle(process);
}

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
    scopedCount = 0;
    seenValid = false;
    withholding = false;
    passedCount = 0;
    KillTimer(scopeWindow, SCOPE_TIMER);
}

bool FiresInForeground(ProgramLists programs)
{
    if (IsLimited(programs)) {
        ++scopedCount;
    } else if (pauseFullscreen == 0) {
        return true;
    }
    if (!seenValid || GetForegroundWindow() != seen.window) {
        LookAtForeground(&seen);
        seenValid = true;
    }
    if (Fires(programs, seen)) {
        return true;
    }
    withholding = true;
    StartTimer();
    return false;
}

bool PassPressToProgram(int id, const HotkeyItem& item, ProgramLists programs)
{
    if (!IsLimited(programs) && pauseFullscreen == 0) {
        return false;
    }
    Foreground now;
    LookAtForeground(&now);
    if (Fires(programs, now)) {
        return false;
    }
    // Unregistered first: the key put into the input would otherwise come back as this hotkey.
    UnregisterHotKey(scopeWindow, id);
    SendKeyToProgram(item.key);
    if (passedCount == MAX_PASSED) {
        TakeBack(0);
    }
    passed[passedCount++] = {id, static_cast<UINT>(item.key & VIRTUAL_KEY_BITS)};
    StartTimer();
    return true;
}

bool ProgramListNames(const wchar_t* list, const wchar_t* program)
{
    if (program[0] == L'\0') {
        return false;
    }
    for (ListEntry entry = ReadListEntry(list); entry.begin != entry.next; entry = ReadListEntry(entry.next)) {
        const wchar_t* name = FileNameOf(entry);
        if (entry.end > name &&
            CompareStringOrdinal(name, static_cast<int>(entry.end - name), program, -1, TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

const wchar_t* UnmatchableProgramName(const wchar_t* list)
{
    for (ListEntry entry = ReadListEntry(list); entry.begin != entry.next; entry = ReadListEntry(entry.next)) {
        if (entry.end == entry.begin) {
            continue;
        }
        const wchar_t* name = FileNameOf(entry);
        if (name == entry.end || std::find_if(name, entry.end, NeverInFileName) != entry.end) {
            return entry.begin;
        }
    }
    return nullptr;
}
