// Sample.dll: a second plug-in for the stand-in host, so the host offers more than one. Its
// commands have ids out of order and varied menu flags; running one writes "<file name>|<id>"
// to the host's log, which is how a test sees that it ran, and shows a note that says so under
// the host's window while that window is on screen, which is how a user sees it.
#include <windows.h>

#include <strsafe.h>

#include <algorithm>
#include <iterator>

#include "base/bounded_text.h"
#include "plugin/host_abi.h"

namespace {

wchar_t fileName[MAX_PATH];
DWORD_PTR hostHandle;

wchar_t pluginName[] = L"Sample";
wchar_t openName[] = L"Sample open";
wchar_t openCaption[] = L"サンプルを開く";
wchar_t beepName[] = L"Sample beep";
wchar_t beepCaption[] = L"Sample beep";
wchar_t noteName[] = L"Sample note";
wchar_t noteCaption[] = L"Sample メモ";
wchar_t hiddenName[] = L"Sample hidden";
wchar_t hiddenCaption[] = L"Sample hidden";

PluginCommandInfo commands[] = {
    {openName, openCaption, 5, 0, 0, 1, 0, 0},
    {beepName, beepCaption, 7, 0, 0, 4, 0, 0},
    {noteName, noteCaption, 2, 0, 0, 5, 0, 0},
    {hiddenName, hiddenCaption, 9, 0, 0, 2, 0, 0},
};

PluginInfo descriptor = {0, pluginName, fileName, 0, 0x00010000, 0, 4, commands, 0};

constexpr UINT_PTR NOTE_TIMER = 1;
constexpr UINT NOTE_SHOWN_MS = 3000;
constexpr int NOTE_WIDTH = 320;
constexpr int NOTE_HEIGHT = 28;
// A static control of its own: it draws its text, and the plug-in needs no window class.
HWND note;

void CALLBACK HideNote(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    ShowWindow(window, SW_HIDE);
}

// The note never takes the focus: under Wine the hotkeys fire only while a Wine window has it.
void ShowNote(HWND hostWindow, int32_t commandId)
{
    if (hostWindow == nullptr || !IsWindowVisible(hostWindow)) {
        return;
    }
    if (!IsWindow(note)) {
        note = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, L"Static", L"",
                               WS_POPUP | WS_BORDER | SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0, NOTE_WIDTH,
                               NOTE_HEIGHT, hostWindow, nullptr, nullptr, nullptr);
        if (note == nullptr) {
            return;
        }
        SendMessageW(note, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
    const auto* command = std::find_if(std::begin(commands), std::end(commands),
                                       [commandId](const auto& each) { return each.commandId == commandId; });
    const wchar_t* caption = command != std::end(commands) ? command->caption : L"";
    wchar_t text[128];
    StringCchPrintfW(text, ARRAYSIZE(text), L"Sample: %ls (command %d)", caption, commandId);
    SetWindowTextW(note, text);
    RECT host = {};
    GetWindowRect(hostWindow, &host);
    SetWindowPos(note, HWND_TOPMOST, host.left, host.bottom, NOTE_WIDTH, NOTE_HEIGHT,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SetTimer(note, NOTE_TIMER, NOTE_SHOWN_MS, HideNote);
}

}  // namespace

extern "C" {

PluginInfo* WINAPI TTBEvent_InitPluginInfo(const wchar_t* pluginFileName)
{
    CopyText(fileName, ARRAYSIZE(fileName), pluginFileName);
    return &descriptor;
}

void WINAPI TTBEvent_FreePluginInfo(PluginInfo*)
{
}

BOOL WINAPI TTBEvent_Init(const wchar_t* pluginFileName, DWORD_PTR pluginHandle)
{
    CopyText(fileName, ARRAYSIZE(fileName), pluginFileName);
    hostHandle = pluginHandle;
    return TRUE;
}

BOOL WINAPI TTBEvent_Unload()
{
    // The note's timer calls into this DLL, which is about to go.
    if (IsWindow(note)) {
        DestroyWindow(note);
    }
    note = nullptr;
    return TRUE;
}

BOOL WINAPI TTBEvent_Execute(int32_t commandId, HWND hostWindow)
{
    const auto writeLog = reinterpret_cast<WriteLogService>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "TTBPlugin_WriteLog")));
    if (writeLog != nullptr) {
        wchar_t text[MAX_PATH + 16];
        StringCchPrintfW(text, ARRAYSIZE(text), L"%ls|%d", fileName, commandId);
        writeLog(hostHandle, 0, text);
    }
    ShowNote(hostWindow, commandId);
    return TRUE;
}

void WINAPI TTBEvent_WindowsHook(UINT, WPARAM, LPARAM)
{
}

}  // extern "C"
