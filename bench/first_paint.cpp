#include "bench/first_paint.h"

#include <commctrl.h>
#include <shlwapi.h>

#include "bench/measuring.h"

namespace {

ListPaint watched;
WNDPROC originalProc;
WPARAM closeOnPaint;  // 0: the dialog is left open
WPARAM nextCloseCommand;
HHOOK creationHook;
UINT_PTR guardTimer;

LRESULT CALLBACK WatchedListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC original = originalProc;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        watched.destroyed = true;
        return CallWindowProcW(original, list, message, wParam, lParam);
    }
    const LRESULT result = CallWindowProcW(original, list, message, wParam, lParam);
    if (message == WM_PAINT && !watched.painted) {
        watched.paintedAt = Milliseconds();
        watched.painted = true;
        watched.rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        if (closeOnPaint != 0) {
            watched.closedAt = Milliseconds();
            PostMessageW(GetParent(list), WM_COMMAND, closeOnPaint, 0);
        }
    }
    return result;
}

void Wrap(HWND list, WPARAM closeWith)
{
    watched = ListPaint{};
    watched.list = list;
    closeOnPaint = closeWith;
    originalProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchedListProc)));
}

bool IsListView(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return StrStrIW(name, WC_LISTVIEWW) != nullptr;
}

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam)
{
    const auto window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND && watched.list == nullptr && IsListView(window)) {
        Wrap(window, nextCloseCommand);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A dialog that never paints is cancelled, so the run goes on and reports the failure.
void CALLBACK DialogGuard(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    guardTimer = 0;
    if (watched.list != nullptr && !watched.destroyed) {
        PostMessageW(GetParent(watched.list), WM_COMMAND, IDCANCEL, 0);
    }
}

}  // namespace

void WatchList(HWND list)
{
    Wrap(list, 0);
}

void WatchNextDialogList(DWORD limitMs, WPARAM closeWith)
{
    watched = ListPaint{};
    nextCloseCommand = closeWith;
    creationHook = SetWindowsHookExW(WH_CBT, CreationHook, nullptr, GetCurrentThreadId());
    guardTimer = SetTimer(nullptr, 0, limitMs, DialogGuard);
}

void StopWatchingDialogs()
{
    if (guardTimer != 0) {
        KillTimer(nullptr, guardTimer);
        guardTimer = 0;
    }
    if (creationHook != nullptr) {
        UnhookWindowsHookEx(creationHook);
        creationHook = nullptr;
    }
}

const ListPaint& WatchedList()
{
    return watched;
}
