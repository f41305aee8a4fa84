#include "ui/program_place.h"

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "hotkeys/program_names.h"
#include "res/resource_ids.h"

namespace {

// The drop-down's entries, in this order.
enum PlaceMode { PLACE_EVERYWHERE, PLACE_ONLY, PLACE_EXCEPT };
const wchar_t* const placeModes[] = {L"すべてのプログラム", L"次のプログラムだけ", L"次のプログラム以外"};

// The most programs "..." offers; more windows than this are rarely open.
constexpr int MAX_OFFERED = 48;
// "name.exe\ttitle", cut.
constexpr int OFFER_TEXT_CAPACITY = 2 * MAX_PATH;

// A list or a name quoted in a message is cut after this many units, so that the message keeps
// to a few lines.
constexpr int QUOTED_UNITS = 64;

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

// The field's text whole, in a block of the process heap; null short of memory.
wchar_t* ReadNames(HWND dialog, int id)
{
    const HWND field = GetDlgItem(dialog, id);
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

// The names mean nothing while the binding fires everywhere, and programs kept out mean something
// only among those a binding is limited to.
void EnableNames(HWND dialog)
{
    const PlaceMode mode = ChosenMode(dialog);
    EnableWindow(GetDlgItem(dialog, IDC_PLACE_PROGRAMS), mode != PLACE_EVERYWHERE);
    EnableWindow(GetDlgItem(dialog, IDC_CHOOSE_PROGRAM), mode != PLACE_EVERYWHERE);
    EnableWindow(GetDlgItem(dialog, IDC_PLACE_EXCEPT_PROGRAMS), mode == PLACE_ONLY);
}

// Blanks and separators alone name no program.
bool NamesAnyProgram(const wchar_t* list)
{
    for (const wchar_t* at = list; *at != L'\0'; ++at) {
        if (*at != L' ' && *at != L'\t' && *at != L';') {
            return true;
        }
    }
    return false;
}

// A list that names no program is none, and so is a field not read.
const wchar_t* ListOrNone(const wchar_t* list)
{
    return list != nullptr && NamesAnyProgram(list) ? list : L"";
}

// A quoted text of these units: how many show, and the mark after them.
int QuotedUnits(int units)
{
    return units < QUOTED_UNITS ? units : QUOTED_UNITS;
}

const wchar_t* CutMark(int units)
{
    return units > QUOTED_UNITS ? L"…" : L"";
}

// The fault of one field's names, into message: 0 when there is none.
int FindNamesFault(HWND dialog, int id, bool needsProgram, wchar_t* message, int capacity)
{
    wchar_t* names = ReadNames(dialog, id);
    if (names == nullptr) {
        return 0;  // short of memory: the row cannot be read either, and OK beeps
    }
    int fault = 0;
    int units = 0;
    const wchar_t* unmatchable = UnmatchableProgramName(names, &units);
    if (needsProgram && !NamesAnyProgram(names)) {
        CopyText(message, capacity, L"「次のプログラムだけ」で使うプログラムを入力してください。");
        fault = id;
    } else if (unmatchable != nullptr) {
        FormatText(message, capacity,
                   L"「%.*ls%ls」に合うプログラムはありません。プログラムのファイル名かパスを「;」で区切って入力してください。",
                   QuotedUnits(units), unmatchable, CutMark(units));
        fault = id;
    }
    ReleaseBlock(names);
    return fault;
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

// The chosen program's name goes to the end of the names, after a ";" when there are some; a
// program the names already match stays as it is.
void AddProgramName(HWND dialog, const wchar_t* name)
{
    wchar_t* names = ReadNames(dialog, IDC_PLACE_PROGRAMS);
    if (names == nullptr || ProgramListNames(names, name)) {
        ReleaseBlock(names);
        return;
    }
    const int capacity = TextLength(names) + TextLength(name) + 2;
    auto* joined = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(capacity) * sizeof(wchar_t)));
    if (joined != nullptr) {
        FormatText(joined, capacity, names[0] != L'\0' ? L"%ls;%ls" : L"%ls%ls", names, name);
        SetDlgItemTextW(dialog, IDC_PLACE_PROGRAMS, joined);
    }
    ReleaseBlock(joined);
    ReleaseBlock(names);
}

// The programs with a visible window now, as a menu below "..."; those already named are checked.
void OfferPrograms(HWND dialog)
{
    auto* offered = static_cast<Offered*>(AllocateBlock(sizeof(Offered)));
    wchar_t* names = ReadNames(dialog, IDC_PLACE_PROGRAMS);
    const HMENU menu = offered != nullptr && names != nullptr ? CreatePopupMenu() : nullptr;
    if (menu != nullptr) {
        EnumWindows(OfferWindow, reinterpret_cast<LPARAM>(offered));
        for (int i = 0; i < offered->count; ++i) {
            const UINT checked = ProgramListNames(names, offered->names[i]) ? MF_CHECKED : MF_UNCHECKED;
            AppendMenuW(menu, MF_STRING | checked, static_cast<UINT_PTR>(i) + 1, offered->texts[i]);
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
    ReleaseBlock(names);
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
    SendDlgItemMessageW(dialog, IDC_PLACE_EXCEPT_PROGRAMS, EM_LIMITTEXT, 0, 0);
    const PlaceMode mode = ModeOf(programs);
    SendDlgItemMessageW(dialog, IDC_PLACE_MODE, CB_SETCURSEL, mode, 0);
    if (mode == PLACE_ONLY) {
        SetDlgItemTextW(dialog, IDC_PLACE_PROGRAMS, programs.only);
        SetDlgItemTextW(dialog, IDC_PLACE_EXCEPT_PROGRAMS, programs.except);
    } else if (mode == PLACE_EXCEPT) {
        SetDlgItemTextW(dialog, IDC_PLACE_PROGRAMS, programs.except);
    }
    EnableNames(dialog);
}

int FindPlaceFault(HWND dialog, wchar_t* message, int capacity)
{
    const PlaceMode mode = ChosenMode(dialog);
    if (mode == PLACE_EVERYWHERE) {
        return 0;
    }
    const int fault = FindNamesFault(dialog, IDC_PLACE_PROGRAMS, mode == PLACE_ONLY, message, capacity);
    if (fault != 0 || mode != PLACE_ONLY) {
        return fault;
    }
    return FindNamesFault(dialog, IDC_PLACE_EXCEPT_PROGRAMS, false, message, capacity);
}

wchar_t* ReadProgramPlace(HWND dialog, ProgramLists* chosen)
{
    const PlaceMode mode = ChosenMode(dialog);
    wchar_t* names = mode != PLACE_EVERYWHERE ? ReadNames(dialog, IDC_PLACE_PROGRAMS) : nullptr;
    wchar_t* keptOut = mode == PLACE_ONLY ? ReadNames(dialog, IDC_PLACE_EXCEPT_PROGRAMS) : nullptr;
    const bool read = (mode == PLACE_EVERYWHERE || names != nullptr) && (mode != PLACE_ONLY || keptOut != nullptr);
    const wchar_t* onlyText = ListOrNone(mode == PLACE_ONLY ? names : nullptr);
    const wchar_t* exceptText = ListOrNone(mode == PLACE_ONLY ? keptOut : names);
    const int onlyUnits = TextLength(onlyText) + 1;
    const int exceptUnits = TextLength(exceptText) + 1;
    auto* block = read ? static_cast<wchar_t*>(
                             AllocateBlock(static_cast<SIZE_T>(onlyUnits + exceptUnits) * sizeof(wchar_t)))
                       : nullptr;
    if (block != nullptr) {
        CopyText(block, onlyUnits, onlyText);
        CopyText(block + onlyUnits, exceptUnits, exceptText);
        *chosen = {block, block + onlyUnits};
    }
    ReleaseBlock(keptOut);
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
        FormatText(target, capacity, L"%ls (だけ: %ls / 以外: %ls)", text, programs.only, programs.except);
    } else if (programs.only[0] != L'\0') {
        FormatText(target, capacity, L"%ls (だけ: %ls)", text, programs.only);
    } else if (programs.except[0] != L'\0') {
        FormatText(target, capacity, L"%ls (以外: %ls)", text, programs.except);
    } else {
        CopyText(target, capacity, text);
    }
}

void FormatTypingPlace(wchar_t* target, int capacity, ProgramLists programs)
{
    const int only = TextLength(programs.only);
    const int except = TextLength(programs.except);
    if (only != 0 && except != 0) {
        FormatText(target, capacity, L"%.*ls%ls だけ (%.*ls%ls を除く) で", QuotedUnits(only), programs.only,
                   CutMark(only), QuotedUnits(except), programs.except, CutMark(except));
    } else if (only != 0) {
        FormatText(target, capacity, L"%.*ls%ls だけで", QuotedUnits(only), programs.only, CutMark(only));
    } else if (except != 0) {
        FormatText(target, capacity, L"%.*ls%ls 以外のプログラムで", QuotedUnits(except), programs.except,
                   CutMark(except));
    } else {
        CopyText(target, capacity, L"どのプログラムでも");
    }
}
