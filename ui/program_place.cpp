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

PlaceMode ModeOf(ProgramLists programs)
{
    if (!IsLimited(programs)) {
        return PLACE_EVERYWHERE;
    }
    return programs.only[0] != L'\0' ? PLACE_ONLY : PLACE_EXCEPT;
}

// The names field's text whole, in a block of the process heap; null short of memory.
wchar_t* ReadNames(HWND dialog)
{
    const HWND field = GetDlgItem(dialog, IDC_PLACE_PROGRAMS);
    const int capacity = GetWindowTextLengthW(field) + 1;
    auto* names = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(capacity) * sizeof(wchar_t)));
    if (names != nullptr) {
        GetWindowTextW(field, names, capacity);
    }
    return names;
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
    wchar_t* names = ReadNames(dialog);
    const int capacity = names != nullptr ? TextLength(names) + TextLength(name) + 2 : 0;
    auto* joined = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(capacity) * sizeof(wchar_t)));
    if (joined != nullptr) {
        FormatText(joined, capacity, names[0] != L'\0' ? L"%ls;%ls" : L"%ls%ls", names, name);
        SetDlgItemTextW(dialog, IDC_PLACE_PROGRAMS, joined);
    }
    ReleaseBlock(joined);
    ReleaseBlock(names);
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

void ShowProgramPlace(HWND dialog, ProgramLists programs)
{
    for (const wchar_t* mode : placeModes) {
        SendDlgItemMessageW(dialog, IDC_PLACE_MODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mode));
    }
    // The names are as long as the user writes them: nothing is cut.
    SendDlgItemMessageW(dialog, IDC_PLACE_PROGRAMS, EM_LIMITTEXT, 0, 0);
    shownMode = ModeOf(programs);
    SendDlgItemMessageW(dialog, IDC_PLACE_MODE, CB_SETCURSEL, shownMode, 0);
    if (shownMode != PLACE_EVERYWHERE) {
        SetDlgItemTextW(dialog, IDC_PLACE_PROGRAMS, shownMode == PLACE_ONLY ? programs.only : programs.except);
    }
    EnableNames(dialog);
}

wchar_t* ReadProgramPlace(HWND dialog, ProgramLists shown, ProgramLists* chosen)
{
    const PlaceMode mode = ChosenMode(dialog);
    wchar_t* names = mode != PLACE_EVERYWHERE ? ReadNames(dialog) : nullptr;
    const wchar_t* onlyText = L"";
    const wchar_t* exceptText = L"";
    if (mode == PLACE_ONLY) {
        onlyText = names != nullptr ? names : L"";
        exceptText = mode == shownMode ? shown.except : L"";
    } else if (mode == PLACE_EXCEPT) {
        exceptText = names != nullptr ? names : L"";
        onlyText = mode == shownMode ? shown.only : L"";
    }
    const int onlyUnits = TextLength(onlyText) + 1;
    const int exceptUnits = TextLength(exceptText) + 1;
    auto* block = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(onlyUnits + exceptUnits) * sizeof(wchar_t)));
    if (block != nullptr && (mode == PLACE_EVERYWHERE || names != nullptr)) {
        CopyText(block, onlyUnits, onlyText);
        CopyText(block + onlyUnits, exceptUnits, exceptText);
        *chosen = {block, block + onlyUnits};
    } else {
        ReleaseBlock(block);
        block = nullptr;
    }
    ReleaseBlock(names);
    return block;
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

int PlaceNoteCapacity(ProgramLists programs)
{
    return TextLength(programs.only) + TextLength(programs.except) + 16;
}

void FormatPlaceNote(wchar_t* target, int capacity, const wchar_t* text, ProgramLists programs)
{
    if (programs.only[0] != L'\0' && programs.except[0] != L'\0') {
        FormatText(target, capacity, L"%ls (%ls だけ, %ls 以外)", text, programs.only, programs.except);
    } else if (programs.only[0] != L'\0') {
        FormatText(target, capacity, L"%ls (%ls だけ)", text, programs.only);
    } else if (programs.except[0] != L'\0') {
        FormatText(target, capacity, L"%ls (%ls 以外)", text, programs.except);
    } else {
        CopyText(target, capacity, text);
    }
}
