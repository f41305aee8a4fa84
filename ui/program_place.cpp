#include "ui/program_place.h"

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "hotkeys/program_scope.h"
#include "res/resource_ids.h"

namespace {

// The drop-down's entries, in this order.
enum PlaceMode { PLACE_EVERYWHERE, PLACE_ONLY, PLACE_EXCEPT };
const wchar_t* const placeModes[] = {L"すべてのプログラム", L"次のプログラムだけ", L"次のプログラム以外"};

// The choice the editor opened with, which decides whether a list it did not show is kept.
PlaceMode shownMode;

// The most programs "..." offers; more windows than this are rarely open.
constexpr int MAX_OFFERED = 48;
// "name.exe\ttitle", cut.
constexpr int OFFER_TEXT_CAPACITY = 2 * MAX_PATH;

struct Offered {
    int count;
    wchar_t names[MAX_OFFERED][MAX_PATH];
    wchar_t texts[MAX_OFFERED][OFFER_TEXT_CAPACITY];
};

PlaceMode ModeOf(const HotkeyItem& item)
{
    if (item.key == 0 || (item.only[0] == L'\0' && item.except[0] == L'\0')) {
        return PLACE_EVERYWHERE;
    }
    return item.only[0] != L'\0' ? PLACE_ONLY : PLACE_EXCEPT;
}

PlaceMode ChosenMode(HWND dialog)
{
    const LRESULT chosen = SendDlgItemMessageW(dialog, IDC_PLACE_MODE, CB_GETCURSEL, 0, 0);
    return chosen == PLACE_ONLY || chosen == PLACE_EXCEPT ? static_cast<PlaceMode>(chosen) : PLACE_EVERYWHERE;
}

// The names mean nothing while the binding fires everywhere.
void EnableNames(HWND dialog)
{
    const bool limited = ChosenMode(dialog) != PLACE_EVERYWHERE;
    EnableWindow(GetDlgItem(dialog, IDC_PLACE_PROGRAMS), limited);
    EnableWindow(GetDlgItem(dialog, IDC_CHOOSE_PROGRAM), limited);
}

// Each program once, by the first of its visible, titled windows in the order of the screen: the
// one in front first. This process's windows (the host's and the editor's) are left out.
BOOL CALLBACK OfferWindow(HWND window, LPARAM lParam)
{
    auto* offered = reinterpret_cast<Offered*>(lParam);
    wchar_t title[MAX_PATH];
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!IsWindowVisible(window) || GetWindowTextW(window, title, MAX_PATH) == 0 ||
        (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0 || processId == GetCurrentProcessId()) {
        return TRUE;
    }
    wchar_t* name = offered->names[offered->count];
    ReadProgramName(window, name);
    if (name[0] == L'\0') {
        return TRUE;
    }
    for (int i = 0; i < offered->count; ++i) {
        if (CompareStringOrdinal(offered->names[i], -1, name, -1, TRUE) == CSTR_EQUAL) {
            return TRUE;
        }
    }
    FormatText(offered->texts[offered->count], OFFER_TEXT_CAPACITY, L"%ls\t%ls", name, title);
    ++offered->count;
    return offered->count < MAX_OFFERED;
}

// The chosen program's name goes to the end of the names, after a ";" when there are some.
void AddProgramName(HWND dialog, const wchar_t* name)
{
    wchar_t names[TEXT_CAPACITY] = {};
    GetDlgItemTextW(dialog, IDC_PLACE_PROGRAMS, names, TEXT_CAPACITY);
    wchar_t joined[TEXT_CAPACITY];
    FormatText(joined, TEXT_CAPACITY, names[0] != L'\0' ? L"%ls;%ls" : L"%ls%ls", names, name);
    SetDlgItemTextW(dialog, IDC_PLACE_PROGRAMS, joined);
}

// The programs with a visible window now, as a menu below "...".
void OfferPrograms(HWND dialog)
{
    auto* offered = static_cast<Offered*>(AllocateBlock(sizeof(Offered)));
    const HMENU menu = offered != nullptr ? CreatePopupMenu() : nullptr;
    if (menu != nullptr) {
        EnumWindows(OfferWindow, reinterpret_cast<LPARAM>(offered));
        for (int i = 0; i < offered->count; ++i) {
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(i) + 1, offered->texts[i]);
        }
        if (offered->count == 0) {
            AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"(ウィンドウのあるプログラムはありません)");
        }
        RECT button;
        GetWindowRect(GetDlgItem(dialog, IDC_CHOOSE_PROGRAM), &button);
        const int chosen = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTALIGN | TPM_TOPALIGN,
                                                           button.right, button.bottom, 0, dialog, nullptr));
        if (chosen > 0 && chosen <= offered->count) {
            AddProgramName(dialog, offered->names[chosen - 1]);
        }
        DestroyMenu(menu);
    }
    ReleaseBlock(offered);
}

}  // namespace

void ShowProgramPlace(HWND dialog, const HotkeyItem& item)
{
    for (const wchar_t* mode : placeModes) {
        SendDlgItemMessageW(dialog, IDC_PLACE_MODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mode));
    }
    SendDlgItemMessageW(dialog, IDC_PLACE_PROGRAMS, EM_LIMITTEXT, TEXT_CAPACITY - 1, 0);
    shownMode = ModeOf(item);
    SendDlgItemMessageW(dialog, IDC_PLACE_MODE, CB_SETCURSEL, shownMode, 0);
    if (shownMode != PLACE_EVERYWHERE) {
        SetDlgItemTextW(dialog, IDC_PLACE_PROGRAMS, shownMode == PLACE_ONLY ? item.only : item.except);
    }
    EnableNames(dialog);
}

void ReadProgramPlace(HWND dialog, HotkeyItem* item)
{
    const PlaceMode mode = ChosenMode(dialog);
    wchar_t* shown = mode == PLACE_ONLY ? item->only : item->except;
    wchar_t* other = mode == PLACE_ONLY ? item->except : item->only;
    if (mode == PLACE_EVERYWHERE) {
        item->only[0] = L'\0';
        item->except[0] = L'\0';
        return;
    }
    GetDlgItemTextW(dialog, IDC_PLACE_PROGRAMS, shown, TEXT_CAPACITY);
    if (mode != shownMode) {
        other[0] = L'\0';
    }
}

// Any command of the drop-down looks at its choice again: the notification code is not read.
void OnProgramPlaceCommand(HWND dialog, WORD id)
{
    if (id == IDC_PLACE_MODE) {
        EnableNames(dialog);
    } else if (id == IDC_CHOOSE_PROGRAM) {
        OfferPrograms(dialog);
    }
}

void FormatPlaceNote(wchar_t* target, int capacity, const wchar_t* text, const HotkeyItem& item)
{
    if (item.only[0] != L'\0' && item.except[0] != L'\0') {
        FormatText(target, capacity, L"%ls (%ls だけ, %ls 以外)", text, item.only, item.except);
    } else if (item.only[0] != L'\0') {
        FormatText(target, capacity, L"%ls (%ls だけ)", text, item.only);
    } else if (item.except[0] != L'\0') {
        FormatText(target, capacity, L"%ls (%ls 以外)", text, item.except);
    } else {
        CopyText(target, capacity, text);
    }
}
