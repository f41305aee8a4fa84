#include "ui/settings_session.h"

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "hotkeys/hotkey_table.h"
#include "hotkeys/program_scope.h"
#include "plugin/host_services.h"
#include "plugin/plugin_state.h"
#include "res/resource_ids.h"
#include "settings/settings.h"
#include "ui/settings_dialog.h"

namespace {

constexpr wchar_t MESSAGE_CAPTION[] = L"Tessel";
constexpr wchar_t NOT_SAVED[] = L"設定ファイルを保存できませんでした。";
constexpr wchar_t NOT_READ[] = L"設定ファイルを読み込めなかったため、設定の変更は保存されません。";
// Room in a message for its headline and the system's reason, besides the file's path.
constexpr int REASON_CAPACITY = 512;
constexpr wchar_t EDITED_MEANWHILE[] = L"設定の画面を開いている間に、設定ファイルがほかのプログラムで変更されました。変更された内容は次のファイルに残しました。";
constexpr wchar_t EDIT_EMPTIED[] = L"ほかのプログラムで変更された設定ファイルを読み込んだため、ホットキーの割り当てがなくなりました。変更前の設定ファイルは次のファイルに残しました。";
constexpr wchar_t EMPTIED_WAY_BACK[] = L"元の割り当てに戻すには、このファイルを設定ファイルの名前でコピーしてください。";
constexpr wchar_t EDIT_KEPT[] = L"設定の画面で OK を押した設定を保存しました。";
// What a failed save leaves: the change is live all the same, and the next save writes it.
constexpr wchar_t EDITS_STAY[] = L"変更はそのまま有効で、次に保存するときにもう一度書き込みを試みます。";
constexpr wchar_t NOW_ON[] = L"ホットキーは有効になっていて、次に保存するときにもう一度書き込みを試みます。";
constexpr wchar_t NOW_OFF[] = L"ホットキーは無効になっていて、次に保存するときにもう一度書き込みを試みます。";
// Reasons in Tessel's own words, where the system has none or none that says what to do.
constexpr wchar_t TOO_LARGE[] = L"設定ファイルが大きすぎます。設定ファイルは、保存したときの大きさで %lu MB までです"
                                L" (UTF-8 のファイルは UTF-16 で保存するため、およそ 2 倍の大きさになります)。";
constexpr wchar_t KEPT_CHANGING[] = L"保存しようとするたびに、設定ファイルがほかのプログラムで書き換えられていました。";
constexpr wchar_t TEXT_NOT_STORABLE[] = L"259 文字ちょうどのコマンドかパラメータで、前後に空白があるか全体が引用符で囲まれているものは、"
                                        L"そのままでは保存できません。";
constexpr DWORD BYTES_PER_MEGABYTE = 1024 * 1024;
// A file that kept changing is taken in by the watch once it holds still.
constexpr wchar_t EDITS_GIVE_WAY[] = L"設定の画面の変更はいまは有効ですが、ほかのプログラムが書き換えを終えると、"
                                     L"設定ファイルの内容が読み込まれて置き換わります。";
// A failure that the next save meets again until the user acts: what is live now, then what to do.
constexpr wchar_t SETTINGS_LIVE[] = L"設定の画面の内容は有効ですが、";
constexpr wchar_t LIVE_ON[] = L"ホットキーは有効になっていますが、";
constexpr wchar_t LIVE_OFF[] = L"ホットキーは無効になっていますが、";
constexpr wchar_t UNTIL_WRITABLE[] = L"設定ファイルの読み取り専用の属性を外すまで保存されません。";
constexpr wchar_t UNTIL_SMALLER[] = L"設定ファイルを小さくするまで保存されません。";
constexpr wchar_t UNTIL_EDITED[] = L"その割り当てのコマンドかパラメータを短くするか、前後の空白を取るまで保存されません。";

// Tells the user about the settings file: the headline, the file's full path with the suffix
// (".bak" names the backup, ".<date>.kept" a kept copy), and the detail. The host may unload the plug-in while the message
// box runs its loop: the caller holds the library pinned.
void ShowSettingsFileMessage(HWND owner, const wchar_t* headline, const wchar_t* suffix, const wchar_t* detail,
                             UINT icon)
{
    wchar_t* path = NewSettingsFileName();
    const int capacity = TextLength(path) + 3 * REASON_CAPACITY;
    auto* text = static_cast<wchar_t*>(AllocateBlock(capacity * sizeof(wchar_t)));
    if (text != nullptr) {
        FormatText(text, capacity, L"%ls\n\n%ls%ls\n\n%ls", headline, path != nullptr ? path : L"", suffix, detail);
        MessageBoxW(owner, text, MESSAGE_CAPTION, MB_OK | icon);
    }
    ReleaseBlock(text);
    ReleaseBlock(path);
}

// What failed, with the system's reason and, after it, what that leaves; suffix names the file
// that refused.
void ShowSettingsFileProblem(HWND owner, const wchar_t* headline, const wchar_t* suffix, DWORD reason,
                             const wchar_t* outcome)
{
    wchar_t explanation[REASON_CAPACITY];
    if (reason == ERROR_FILE_TOO_LARGE) {
        FormatText(explanation, REASON_CAPACITY, TOO_LARGE, MAX_SETTINGS_BYTES / BYTES_PER_MEGABYTE);
    } else if (reason == SAVE_KEPT_CHANGING) {
        CopyText(explanation, REASON_CAPACITY, KEPT_CHANGING);
    } else if (reason == SAVE_TEXT_NOT_STORABLE) {
        CopyText(explanation, REASON_CAPACITY, TEXT_NOT_STORABLE);
    } else if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, reason, 0,
                              explanation, REASON_CAPACITY, nullptr) == 0) {
        FormatText(explanation, REASON_CAPACITY, L"エラー %lu", reason);
    }
    // The system's reason ends in a line break; the outcome follows it after one blank line.
    int length = TextLength(explanation);
    while (length > 0 && (explanation[length - 1] == L'\r' || explanation[length - 1] == L'\n')) {
        explanation[--length] = L'\0';
    }
    wchar_t detail[2 * REASON_CAPACITY];
    FormatText(detail, ARRAYSIZE(detail), outcome[0] != L'\0' ? L"%ls\n\n%ls" : L"%ls", explanation, outcome);
    ShowSettingsFileMessage(owner, headline, suffix, detail, MB_ICONWARNING);
}

// A file that could not be read at start is not written in this run: said as the dialog opens.
// False when the plug-in was unloaded meanwhile, its window gone.
bool TellUnreadSettings(HWND window, DWORD loadFailure)
{
    if (loadFailure != ERROR_SUCCESS) {
        ShowSettingsFileProblem(window, NOT_READ, L"", loadFailure, L"");
    }
    return IsWindow(window) != FALSE;
}

// A hand edit that the watch took in left no binding: said once as the dialog opens, with the copy
// that holds the bindings before it. False when the plug-in was unloaded meanwhile.
bool TellEmptyingEdit(HWND window)
{
    if (CopyKeptBeforeEmptying()[0] != L'\0') {
        ShowSettingsFileMessage(window, EDIT_EMPTIED, CopyKeptBeforeEmptying(), EMPTIED_WAY_BACK, MB_ICONINFORMATION);
        ForgetCopyKeptBeforeEmptying();
    }
    return IsWindow(window) != FALSE;
}

// A copy that lost entries for want of memory or window handles would drop them on OK.
bool IsWholeCopy(HotkeyTable copy)
{
    return copy != nullptr && GetHotkeyCount(copy) == GetHotkeyCount(liveTable);
}

// What the failed save leaves, into outcome (REASON_CAPACITY units): at a failure that passes by
// itself, that the next save tries again; else what the user has to change first.
void DescribeOutcome(SavedChange change, const SaveOutcome& saved, wchar_t* outcome)
{
    const DWORD reason = saved.reason;
    const bool keepingEdits = change == SavedChange::Settings;
    const bool on = change == SavedChange::HotkeysOn;
    const bool lasts = reason == ERROR_FILE_TOO_LARGE || reason == SAVE_TEXT_NOT_STORABLE || saved.readOnlyMark;
    if (reason == SAVE_KEPT_CHANGING) {
        CopyText(outcome, REASON_CAPACITY, EDITS_GIVE_WAY);  // a switch gives way to such a change at once
    } else if (!lasts) {
        CopyText(outcome, REASON_CAPACITY, keepingEdits ? EDITS_STAY : on ? NOW_ON : NOW_OFF);
    } else {
        FormatText(outcome, REASON_CAPACITY, L"%ls%ls", keepingEdits ? SETTINGS_LIVE : on ? LIVE_ON : LIVE_OFF,
                   reason == ERROR_FILE_TOO_LARGE    ? UNTIL_SMALLER
                   : reason == SAVE_TEXT_NOT_STORABLE ? UNTIL_EDITED
                                                      : UNTIL_WRITABLE);
    }
}

}  // namespace

// Saved at once when the user confirms a change or switches the hotkeys, so that a host that
// dies later loses nothing; a failure is told, and the change stays live all the same: the next
// moment saves it again rather than the watch replacing it with the file. The file changed outside
// while the dialog was open, or while OK saved: the dialog's bindings were saved over it, and the
// dated copy that holds the change is told.
SaveOutcome SaveTellingFailure(HWND window, const SettingsValues& values, SavedChange change)
{
    const SaveKind kind = change == SavedChange::Settings ? SaveKind::KeepEdits : SaveKind::Switch;
    const SaveOutcome saved = SaveSettingsFile(values, kind);
    if (saved.saved) {
        RememberSavedSettingsFile();
        if (saved.keptCopy[0] != L'\0') {
            ShowSettingsFileMessage(window, EDITED_MEANWHILE, saved.keptCopy, EDIT_KEPT, MB_ICONINFORMATION);
        }
    } else if (!saved.gaveWay) {
        wchar_t outcome[REASON_CAPACITY];
        DescribeOutcome(change, saved, outcome);
        ShowSettingsFileProblem(window, NOT_SAVED, saved.refused, saved.reason, outcome);
    }
    return saved;
}

bool RunSettingsSession(HWND window, DWORD loadFailure)
{
    // A host without the plug-in list still gets the dialog; references then show as errors.
    PluginInfo** plugins = hostServices.getAllPluginInfo != nullptr ? hostServices.getAllPluginInfo() : nullptr;
    SettingsContext context = {plugins, CloneHotkeyTable(), pauseFullscreen};
    INT_PTR result = IDCANCEL;
    if (!IsWholeCopy(context.workTable)) {
        MessageBeep(0);
    } else if (TellUnreadSettings(window, loadFailure) && TellEmptyingEdit(window)) {
        result = DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(IDD_SETTINGS), window, SettingsDialogProc,
                                 reinterpret_cast<LPARAM>(&context));
    }
    const bool adopted = result == IDOK && IsWindow(window) != FALSE;
    if (adopted) {
        DestroyHotkeyTable(liveTable);
        liveTable = context.workTable;
        pauseFullscreen = context.pauseFullscreen;
    } else {
        // A change made outside meanwhile is taken in by the watch once the dialog has closed.
        DestroyHotkeyTable(context.workTable);
    }
    if (plugins != nullptr && hostServices.freePluginInfoArray != nullptr) {
        hostServices.freePluginInfoArray(plugins);
    }
    return adopted;
}
