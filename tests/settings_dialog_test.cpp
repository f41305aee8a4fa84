// The settings dialog and the item editor, driven under the stand-in host as a user would.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "tests/dialog_driver.h"
#include "tests/import_patch.h"
#include "tests/settings_dialog_fixture.h"
#include "tests/test_host.h"

using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Not;

namespace {

const std::vector<std::wstring> FIVE_KEY_TEXTS = {
    L"Ctrl + Shift + Alt + Win + T", L"Ctrl + M", L"Alt + N", L"Shift + C", L"Ctrl + A",
};

TEST_F(SettingsDialog, ListsEveryBindingWithItsKeyTextAndADescriptionOfItsCommand)
{
    Rows rows;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        rows = AllRows(settings);
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(rows, ElementsAre(
        ElementsAre(L"Ctrl + Shift + Alt + Win + T", L"Tessel - Tessel 設定...", L"tessel.DLL|1", L""),
        ElementsAre(L"Ctrl + M", L"[error] Missing.dll|4", L"Missing.dll|4", L""),
        ElementsAre(L"Alt + N", L"notepad.exe memo.txt", L"notepad.exe", L"memo.txt"),
        ElementsAre(L"Shift + C", L"calc.exe", L"calc.exe", L""),
        ElementsAre(L"Ctrl + A", L"Sample - Sample メモ", L"Sample.dll|2", L"")));
}

TEST_F(SettingsDialog, WithoutAPluginListFromTheHostEveryReferenceShowsAsAnError)
{
    host.SetPluginArray(nullptr);
    std::vector<std::wstring> infos;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        infos = ListColumn(List(settings), 1);
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(infos, ElementsAre(L"[error] tessel.DLL|1", L"[error] Missing.dll|4", L"notepad.exe memo.txt",
                                   L"calc.exe", L"[error] Sample.dll|2"));
}

TEST_F(SettingsDialog, EditAndDeleteAreEnabledOnlyWhileARowIsSelected)
{
    std::vector<bool> enabled;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        const auto record = [&] {
            enabled.push_back(IsItemEnabled(settings, IDC_EDIT_ITEM) && IsItemEnabled(settings, IDC_DELETE_ITEM));
        };
        record();
        SelectListRow(List(settings), 2);
        record();
        ClearListSelection(List(settings));
        record();
        // With no row selected a double-click and the two buttons do nothing.
        DoubleClickListBlank(List(settings));
        TestHost::Click(settings, IDC_EDIT_ITEM);
        TestHost::Click(settings, IDC_DELETE_ITEM);
        TestHost::Click(settings, IDOK);
    });
    EXPECT_THAT(enabled, ElementsAre(false, true, false));
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
}

TEST_F(SettingsDialog, AnEmptyTableShowsNoRowsAndOkKeepsItEmpty)
{
    Rows rows = {{L"not read"}};
    bool editEnabled = true;
    RunSettings(L"", [&](HWND settings) {
        rows = AllRows(settings);
        editEnabled = IsItemEnabled(settings, IDC_EDIT_ITEM) || IsItemEnabled(settings, IDC_DELETE_ITEM);
        TestHost::Click(settings, IDOK);
    });
    EXPECT_THAT(rows, IsEmpty());
    EXPECT_FALSE(editEnabled);
    host.Unload();
    EXPECT_THAT(host.ReadSettings(), Not(testing::HasSubstr(L"item0_key")));
}

TEST_F(SettingsDialog, AddOpensAnEmptyEditorThatInsistsOnAKeyTheWinBoxAloneIsNone)
{
    std::vector<std::wstring> seen;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            seen.push_back(std::to_wstring(HotkeyValue(editor, IDC_HOTKEY)) + L"," +
                           (IsChecked(editor, IDC_WIN_KEY) ? L"win" : L"-") + L"," +
                           TestHost::ItemText(editor, IDC_COMMAND) + L"," + TestHost::ItemText(editor, IDC_PARAM));
            seen.push_back(OkExpectingMessage(editor));
            SetChecked(editor, IDC_WIN_KEY, true);
            seen.push_back(OkExpectingMessage(editor));
            seen.push_back(EditorIsOpen(ADD_CAPTION) ? L"still open" : L"closed");
            TestHost::Click(editor, IDCANCEL);
        });
        seen.push_back(std::to_wstring(AllRows(settings).size()));
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(seen, ElementsAre(L"0,-,,", L"hotkeyを入力してください", L"hotkeyを入力してください",
                                  L"still open", L"5"));
}

TEST_F(SettingsDialog, AddRefusesAKeyAnotherBindingHoldsButTakesItWithTheWinKey)
{
    std::wstring message;
    std::vector<std::wstring> keys;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            SetHotkeyValue(editor, IDC_HOTKEY, MAKEWORD('A', HOTKEYF_CONTROL));
            SetDlgItemTextW(editor, IDC_COMMAND, L"Sample.dll|7");
            message = OkExpectingMessage(editor);
            SetChecked(editor, IDC_WIN_KEY, true);
            TestHost::Click(editor, IDOK);
        });
        keys = KeyTexts(settings);
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_EQ(message, L"登録済みのhotkeyです");
    ASSERT_EQ(keys.size(), 6u);
    EXPECT_EQ(keys[5], L"Ctrl + Win + A");
}

TEST_F(SettingsDialog, AnAddedBindingIsLiveOnceTheDialogEndsWithOk)
{
    Rows rows;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            SetHotkeyValue(editor, IDC_HOTKEY, MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT));
            SetDlgItemTextW(editor, IDC_COMMAND, L"Sample.dll|7");
            SetDlgItemTextW(editor, IDC_PARAM, L"unused");
            TestHost::Click(editor, IDOK);
        });
        rows = AllRows(settings);
        TestHost::Click(settings, IDOK);
    });
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_THAT(rows[5], ElementsAre(L"Ctrl + Alt + K", L"Sample - Sample beep", L"Sample.dll|7", L"unused"));

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Logs(), Contains(L"Sample.dll|7"));
}

TEST_F(SettingsDialog, DoubleClickEditsTheRowWhichMayKeepItsOwnKeyAndStaysInPlace)
{
    std::vector<std::wstring> shown;
    Rows rows;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        host.OnWindow(L"#32770", EDIT_CAPTION, [&](HWND editor) {
            shown = {std::to_wstring(HotkeyValue(editor, IDC_HOTKEY)), IsChecked(editor, IDC_WIN_KEY) ? L"win" : L"-",
                     TestHost::ItemText(editor, IDC_COMMAND), TestHost::ItemText(editor, IDC_PARAM)};
            SetDlgItemTextW(editor, IDC_COMMAND, L"wordpad.exe");
            SetDlgItemTextW(editor, IDC_PARAM, L"");
            TestHost::Click(editor, IDOK);
        });
        DoubleClickListRow(List(settings), 2);
        rows = AllRows(settings);
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(shown, ElementsAre(std::to_wstring(MAKEWORD('N', HOTKEYF_ALT)), L"-", L"notepad.exe", L"memo.txt"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_THAT(rows[2], ElementsAre(L"Alt + N", L"wordpad.exe", L"wordpad.exe", L""));
}

TEST_F(SettingsDialog, EditShowsTheWinKeyAndRefusesTheKeyOfAnotherBinding)
{
    std::vector<std::wstring> seen;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        SelectListRow(List(settings), 0);
        RunEditor(settings, IDC_EDIT_ITEM, EDIT_CAPTION, [&](HWND editor) {
            seen.push_back(std::to_wstring(HotkeyValue(editor, IDC_HOTKEY)));
            seen.push_back(IsChecked(editor, IDC_WIN_KEY) ? L"win" : L"-");
            SetChecked(editor, IDC_WIN_KEY, false);
            SetHotkeyValue(editor, IDC_HOTKEY, MAKEWORD('M', HOTKEYF_CONTROL));
            seen.push_back(OkExpectingMessage(editor));
            TestHost::Click(editor, IDCANCEL);
        });
        seen.push_back(KeyTexts(settings)[0]);
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(seen, ElementsAre(std::to_wstring(MAKEWORD('T', HOTKEYF_CONTROL | HOTKEYF_SHIFT | HOTKEYF_ALT)),
                                  L"win", L"登録済みのhotkeyです", L"Ctrl + Shift + Alt + Win + T"));
}

TEST_F(SettingsDialog, AKeyWithTheExtendedFlagKeepsItThroughAnEdit)
{
    // Ctrl + Page Up with the extended-key flag: 0x0A21.
    WORD shown = 0;
    RunSettings(L"[hotkeys]\r\nitem0_key=2593\r\nitem0_command=calc.exe\r\n", [&](HWND settings) {
        host.OnWindow(L"#32770", EDIT_CAPTION, [&](HWND editor) {
            shown = HotkeyValue(editor, IDC_HOTKEY);
            TestHost::Click(editor, IDOK);
        });
        DoubleClickListRow(List(settings), 0);
        TestHost::Click(settings, IDOK);
    });
    EXPECT_EQ(shown, 0x0A21);
    host.Unload();
    EXPECT_THAT(host.ReadSettings(), testing::HasSubstr(L"item0_key=2593"));
}

TEST_F(SettingsDialog, DeleteAsksFirstAndOnlyYesRemovesTheRow)
{
    std::vector<std::wstring> questions;
    std::vector<size_t> counts;
    std::vector<std::wstring> keys;
    bool buttonsEnabled = true;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        const auto answer = [&](int button) {
            host.OnMessageBox([&, button](HWND box) {
                questions.push_back(TestHost::WindowText(box) + L":" + TestHost::MessageBoxText(box));
                TestHost::Click(box, button);
            });
            TestHost::Click(settings, IDC_DELETE_ITEM);
            counts.push_back(AllRows(settings).size());
        };
        SelectListRow(List(settings), 1);
        answer(IDNO);
        answer(IDYES);
        buttonsEnabled = IsItemEnabled(settings, IDC_EDIT_ITEM) || IsItemEnabled(settings, IDC_DELETE_ITEM);
        keys = KeyTexts(settings);
        TestHost::Click(settings, IDOK);
    });
    EXPECT_THAT(keys, ElementsAre(L"Ctrl + Shift + Alt + Win + T", L"Alt + N", L"Shift + C", L"Ctrl + A"));
    EXPECT_THAT(questions, ElementsAre(L"確認:削除しますか？", L"確認:削除しますか？"));
    EXPECT_THAT(counts, ElementsAre(5u, 4u));
    EXPECT_TRUE(buttonsEnabled) << "the row that took the deleted one's place is selected";
}

TEST_F(SettingsDialog, AfterADeleteTheRowThatTookItsPlaceOrTheNewLastIsSelectedAndFocused)
{
    std::vector<std::wstring> selected;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        const HWND list = List(settings);
        for (const int row : {0, 1, 2, 1, 0}) {
            SelectListRow(list, row);
            host.OnMessageBox([](HWND box) { TestHost::Click(box, IDYES); });
            SendKey(list, VK_DELETE);
            const int now = SelectedListRow(list);
            const bool focused = now != -1 && ListView_GetItemState(list, now, LVIS_FOCUSED) != 0;
            selected.push_back(now == -1 ? L"none" : KeyTexts(settings)[now] + (focused ? L", focused" : L""));
        }
        TestHost::Click(settings, IDCANCEL);
    });
    // Of T, M, N, C, A: the first goes, then the middle N, the last A, the last C and the only M.
    EXPECT_THAT(selected, ElementsAre(L"Ctrl + M, focused", L"Shift + C, focused", L"Shift + C, focused",
                                      L"Ctrl + M, focused", L"none"));
}

TEST_F(SettingsDialog, F2InTheListEditsTheSelectedRowAsEditDoes)
{
    std::wstring command = L"(editor not opened)";
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        SelectListRow(List(settings), 2);
        host.OnWindow(L"#32770", EDIT_CAPTION, [&](HWND editor) {
            command = TestHost::ItemText(editor, IDC_COMMAND);
            TestHost::Click(editor, IDCANCEL);
        });
        SendKey(List(settings), VK_F2);
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_EQ(command, L"notepad.exe");
}

TEST_F(SettingsDialog, CancelDiscardsEveryAddEditAndDelete)
{
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            SetHotkeyValue(editor, IDC_HOTKEY, MAKEWORD('Q', HOTKEYF_CONTROL));
            TestHost::Click(editor, IDOK);
        });
        SelectListRow(List(settings), 3);
        RunEditor(settings, IDC_EDIT_ITEM, EDIT_CAPTION, [&](HWND editor) {
            SetDlgItemTextW(editor, IDC_COMMAND, L"changed.exe");
            TestHost::Click(editor, IDOK);
        });
        SelectListRow(List(settings), 0);
        host.OnMessageBox([](HWND box) { TestHost::Click(box, IDYES); });
        TestHost::Click(settings, IDC_DELETE_ITEM);
        EXPECT_EQ(AllRows(settings).size(), 5u) << "the three changes should show before Cancel";
        TestHost::Click(settings, IDCANCEL);
    });

    std::vector<std::wstring> keys;
    std::vector<std::wstring> commands;
    OpenSettingsAgain([&](HWND settings) {
        keys = KeyTexts(settings);
        commands = ListColumn(List(settings), 2);
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_EQ(keys, FIVE_KEY_TEXTS);
    EXPECT_EQ(commands[3], L"calc.exe");
}

TEST_F(SettingsDialog, ChoosingAFilePutsItsFullPathIntoTheCommandAndLeavesTheParameter)
{
    std::vector<std::wstring> fields;
    const std::wstring chosen = host.Folder() + L"\\Sample.dll";
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        SelectListRow(List(settings), 2);
        RunEditor(settings, IDC_EDIT_ITEM, EDIT_CAPTION, [&](HWND editor) {
            OnOpenFileDialog([&](HWND open, HWND fileName) {
                SetWindowTextW(fileName, chosen.c_str());
                PostMessageW(open, WM_COMMAND, IDOK, 0);
            });
            TestHost::Click(editor, IDC_CHOOSE_FILE);
            fields.push_back(TestHost::ItemText(editor, IDC_COMMAND));
            fields.push_back(TestHost::ItemText(editor, IDC_PARAM));

            OnOpenFileDialog([&](HWND open, HWND) { PostMessageW(open, WM_COMMAND, IDCANCEL, 0); });
            TestHost::Click(editor, IDC_CHOOSE_FILE);
            fields.push_back(TestHost::ItemText(editor, IDC_COMMAND));
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(fields, ElementsAre(chosen, L"memo.txt", chosen));
}

DWORD fileDialogRoom;

// The open-file dialog as the plug-in looks it up (Wine's own refuses a path this long): notes the
// room offered and answers a file of 271 characters, in a folder that deep.
BOOL WINAPI LongPathFileDialog(OPENFILENAMEW* dialog)
{
    fileDialogRoom = dialog->nMaxFile;
    const std::wstring chosen = L"C:\\" + std::wstring(200, L'd') + L"\\" + std::wstring(63, L'f') + L".exe";
    lstrcpynW(dialog->lpstrFile, chosen.c_str(), static_cast<int>(dialog->nMaxFile));
    return chosen.size() < dialog->nMaxFile;
}

FARPROC WINAPI LongPathGetProcAddress(HMODULE module, LPCSTR name)
{
    return !IS_INTRESOURCE(name) && lstrcmpA(name, "GetOpenFileNameW") == 0
               ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&LongPathFileDialog))
               : GetProcAddress(module, name);
}

TEST_F(SettingsDialog, AChosenPathLongerThanABindingHoldsIsRefusedAndTheCommandStays)
{
    std::wstring told = L"(none)";
    std::wstring command;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        EXPECT_TRUE(ReplaceImport(host.Module(L"Tessel.dll"), "kernel32.dll", "GetProcAddress",
                                  reinterpret_cast<const void*>(&LongPathGetProcAddress)));
        SelectListRow(List(settings), 2);
        RunEditor(settings, IDC_EDIT_ITEM, EDIT_CAPTION, [&](HWND editor) {
            host.OnMessageBox([&](HWND box) {
                told = TestHost::MessageBoxText(box);
                TestHost::Click(box, IDOK);
            });
            TestHost::Click(editor, IDC_CHOOSE_FILE);
            command = TestHost::ItemText(editor, IDC_COMMAND);
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_EQ(fileDialogRoom, 32768u);
    EXPECT_EQ(told, L"ファイルのパスが長すぎます。259文字までのパスを選んでください。");
    EXPECT_EQ(command, L"notepad.exe");
}

TEST_F(SettingsDialog, TheCommandAndParamFieldsStopAtWhatABindingHolds)
{
    std::vector<LRESULT> limits;
    RunSettings(L"", [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            limits = {SendDlgItemMessageW(editor, IDC_COMMAND, EM_GETLIMITTEXT, 0, 0),
                      SendDlgItemMessageW(editor, IDC_PARAM, EM_GETLIMITTEXT, 0, 0)};
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(limits, ElementsAre(259, 259));
}

// The keyboard layout's name for the key, of the extended set (bit 24 of a key message) or not.
std::wstring PlatformKeyName(UINT virtualKey, bool extended)
{
    const LONG scanCode = static_cast<LONG>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    wchar_t name[64] = {};
    GetKeyNameTextW((scanCode << 16) | (extended ? 1L << 24 : 0), name, 64);
    return name;
}

TEST_F(SettingsDialog, NavigationKeysAreNamedAsThemselvesNotAsTheirKeypadTwins)
{
    // Ctrl + Shift + Right and Ctrl + Delete, with the extended flag the hot-key control gives them.
    std::vector<std::wstring> keys;
    RunSettings(L"[hotkeys]\r\nitem0_key=2855\r\nitem0_command=a.exe\r\nitem1_key=2606\r\nitem1_command=b.exe\r\n",
                [&](HWND settings) {
                    keys = KeyTexts(settings);
                    TestHost::Click(settings, IDCANCEL);
                });
    EXPECT_THAT(keys, ElementsAre(L"Ctrl + Shift + " + PlatformKeyName(VK_RIGHT, true),
                                  L"Ctrl + " + PlatformKeyName(VK_DELETE, true)));
    EXPECT_NE(PlatformKeyName(VK_RIGHT, true), PlatformKeyName(VK_RIGHT, false)) << "the layout names both alike";
}

TEST_F(SettingsDialog, AfterDeleteTheFocusGoesToTheListThenToAddAndEscStillCloses)
{
    std::vector<int> focus;
    RunSettings(L"[hotkeys]\r\nitem0_key=589\r\nitem0_command=a.exe\r\nitem1_key=1102\r\nitem1_command=b.exe\r\n",
                [&](HWND settings) {
                    for (int left = 2; left > 0; --left) {
                        SelectListRow(List(settings), 0);
                        SetFocus(GetDlgItem(settings, IDC_DELETE_ITEM));  // as Tab reaches it
                        host.OnMessageBox([](HWND box) { TestHost::Click(box, IDYES); });
                        TestHost::Click(settings, IDC_DELETE_ITEM);
                        focus.push_back(GetDlgCtrlID(GetFocus()));
                    }
                    PostKey(GetFocus(), VK_ESCAPE);
                });
    EXPECT_THAT(focus, ElementsAre(IDC_HOTKEY_LIST, IDC_ADD_ITEM));
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
}

TEST_F(SettingsDialog, AddAndEditSelectTheChangedRowAndScrollToIt)
{
    // Ctrl + A to Ctrl + Z: more rows than the list shows at once.
    std::wstring settingsText = L"[hotkeys]\r\n";
    for (int i = 0; i < 26; ++i) {
        const std::wstring item = L"item" + std::to_wstring(i);
        settingsText += item + L"_key=" + std::to_wstring(MAKEWORD('A' + i, HOTKEYF_CONTROL)) + L"\r\n" + item +
                        L"_command=x.exe\r\n";
    }
    std::vector<std::wstring> seen;
    RunSettings(settingsText, [&](HWND settings) {
        const HWND list = List(settings);
        const auto record = [&](int row) {
            const std::wstring view = IsListRowInView(list, row) ? L" shown" : L" hidden";
            seen.push_back(std::to_wstring(SelectedListRow(list)) + view);
        };
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            SetHotkeyValue(editor, IDC_HOTKEY, MAKEWORD('A', HOTKEYF_ALT));
            TestHost::Click(editor, IDOK);
        });
        record(26);
        // The refill scrolls back to the top, away from a row near the end.
        SelectListRow(list, 25);
        RunEditor(settings, IDC_EDIT_ITEM, EDIT_CAPTION, [&](HWND editor) { TestHost::Click(editor, IDOK); });
        record(25);
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(seen, ElementsAre(L"26 shown", L"25 shown"));
}

TEST_F(SettingsDialog, EveryRefusalReturnsToTheHotkeyAndModifiersWithoutAKeyAreNoKey)
{
    std::vector<std::wstring> seen;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            const auto refuse = [&](WORD value, int focused) {
                SetHotkeyValue(editor, IDC_HOTKEY, value);
                SetFocus(GetDlgItem(editor, focused));
                seen.push_back(OkExpectingMessage(editor));
                seen.push_back(GetFocus() == GetDlgItem(editor, IDC_HOTKEY) ? L"in the key" : L"elsewhere");
            };
            refuse(MAKEWORD(0, HOTKEYF_CONTROL | HOTKEYF_ALT), IDC_COMMAND);
            refuse(MAKEWORD('A', HOTKEYF_CONTROL), IDC_PARAM);
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(seen, ElementsAre(L"hotkeyを入力してください", L"in the key", L"登録済みのhotkeyです", L"in the key"));
}

TEST_F(SettingsDialog, TheDeleteKeyInTheListAsksAndDeletesAsTheButtonDoes)
{
    std::vector<std::wstring> questions;
    std::vector<std::wstring> keys;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        const HWND list = List(settings);
        SetFocus(list);
        SelectListRow(list, 1);
        for (const int answer : {IDNO, IDYES}) {
            host.OnMessageBox([&, answer](HWND box) {
                questions.push_back(TestHost::MessageBoxText(box));
                TestHost::Click(box, answer);
            });
            SendKey(list, VK_DELETE);
        }
        keys = KeyTexts(settings);
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(questions, ElementsAre(L"削除しますか？", L"削除しますか？"));
    EXPECT_THAT(keys, ElementsAre(L"Ctrl + Shift + Alt + Win + T", L"Alt + N", L"Shift + C", L"Ctrl + A"));
}

// What a screen reader reads before each field: the control just before it in the window order.
std::wstring LabelBefore(HWND dialog, int id)
{
    return TestHost::WindowText(GetWindow(GetDlgItem(dialog, id), GW_HWNDPREV));
}

TEST_F(SettingsDialog, EachEditorFieldFollowsItsLabelWhileTheTabOrderStays)
{
    std::vector<std::wstring> labels;
    std::vector<int> tabOrder;
    RunSettings(L"", [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            labels = {LabelBefore(editor, IDC_HOTKEY), LabelBefore(editor, IDC_COMMAND), LabelBefore(editor, IDC_PARAM),
                      LabelBefore(editor, IDC_PLACE_MODE), LabelBefore(editor, IDC_PLACE_EXCEPT_PROGRAMS)};
            HWND control = GetDlgItem(editor, IDOK);
            do {
                tabOrder.push_back(GetDlgCtrlID(control));
                control = GetNextDlgTabItem(editor, control, FALSE);
            } while (control != GetDlgItem(editor, IDOK) && tabOrder.size() < 20);
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(labels, ElementsAre(L"hotkey", L"command", L"param", L"使う場所", L"ただし次は除く"));
    // The program names wait, disabled, until the binding is limited.
    EXPECT_THAT(tabOrder, ElementsAre(IDOK, IDCANCEL, IDC_HOTKEY, IDC_WIN_KEY, IDC_COMMAND, IDC_CHOOSE_FILE,
                                      IDC_CHOOSE_COMMAND, IDC_PARAM, IDC_PLACE_MODE));
}

TEST_F(SettingsDialog, TheEditorLimitsABindingToProgramsTheListNotesWhereAndThePauseIsKeptAtOk)
{
    std::vector<std::wstring> shown;
    std::wstring before;
    std::wstring after;
    RunSettings(L"[hotkeys]\r\nitem0_key=1102\r\nitem0_command=notepad.exe\r\nitem0_param=memo.txt\r\n"
                L"item0_except=excel.exe\r\n",
                [&](HWND settings) {
                    before = AllRows(settings).at(0).at(1);
                    host.OnWindow(L"#32770", EDIT_CAPTION, [&](HWND editor) {
                        shown = {TestHost::ItemText(editor, IDC_PLACE_MODE), TestHost::ItemText(editor, IDC_PLACE_PROGRAMS)};
                        ChoosePlace(editor, ONLY, L"word.exe;excel.exe");
                        TestHost::Click(editor, IDOK);
                    });
                    DoubleClickListRow(List(settings), 0);
                    after = AllRows(settings).at(0).at(1);
                    CheckDlgButton(settings, IDC_PAUSE_FULLSCREEN, BST_CHECKED);
                    TestHost::Click(settings, IDOK);
                });
    EXPECT_EQ(before, L"notepad.exe memo.txt (以外: excel.exe)");
    EXPECT_THAT(shown, ElementsAre(L"次のプログラム以外", L"excel.exe"));
    EXPECT_EQ(after, L"notepad.exe memo.txt (だけ: word.exe;excel.exe)");
    const std::wstring saved = host.ReadSettings();
    EXPECT_NE(saved.find(L"item0_only=word.exe;excel.exe\r\n"), std::wstring::npos);
    EXPECT_EQ(saved.find(L"item0_except"), std::wstring::npos);
    EXPECT_NE(saved.find(L"pause_fullscreen=1\r\n"), std::wstring::npos);
}

TEST_F(SettingsDialog, ABindingWithBothListsShowsBothAndAnEditOfItsCommandKeepsThem)
{
    std::vector<std::wstring> shown;
    std::wstring info;
    RunSettings(L"[hotkeys]\r\nitem0_key=1102\r\nitem0_command=notepad.exe\r\nitem0_only=word.exe;excel.exe\r\n"
                L"item0_except=excel.exe\r\n",
                [&](HWND settings) {
                    host.OnWindow(L"#32770", EDIT_CAPTION, [&](HWND editor) {
                        shown = {TestHost::ItemText(editor, IDC_PLACE_MODE), TestHost::ItemText(editor, IDC_PLACE_PROGRAMS),
                                 TestHost::ItemText(editor, IDC_PLACE_EXCEPT_PROGRAMS)};
                        SetDlgItemTextW(editor, IDC_COMMAND, L"wordpad.exe");
                        TestHost::Click(editor, IDOK);
                    });
                    DoubleClickListRow(List(settings), 0);
                    info = AllRows(settings).at(0).at(1);
                    TestHost::Click(settings, IDOK);
                });
    EXPECT_THAT(shown, ElementsAre(L"次のプログラムだけ", L"word.exe;excel.exe", L"excel.exe"));
    EXPECT_EQ(info, L"wordpad.exe (だけ: word.exe;excel.exe / 以外: excel.exe)");
    const std::wstring saved = host.ReadSettings();
    EXPECT_THAT(saved, testing::HasSubstr(L"item0_only=word.exe;excel.exe\r\n"));
    EXPECT_THAT(saved, testing::HasSubstr(L"item0_except=excel.exe\r\n"));
}

// A list without a program, and a name no program has; a path is taken.
TEST_F(SettingsDialog, TheProgramRowRefusesWhatCouldNeverFireAndReturnsToTheNames)
{
    std::vector<std::wstring> seen;
    RunSettings(L"", [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            SetHotkeyValue(editor, IDC_HOTKEY, MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT));
            SetDlgItemTextW(editor, IDC_COMMAND, L"calc.exe");
            for (const auto& [choice, names] :
                 {std::pair(ONLY, L" ; "), std::pair(EXCEPT, L"word.exe;notepad.exe, excel.exe")}) {
                ChoosePlace(editor, choice, names);
                seen.push_back(OkExpectingMessage(editor) + L" " + boxLook);
                seen.push_back(GetFocus() == GetDlgItem(editor, IDC_PLACE_PROGRAMS) ? L"in the names" : L"elsewhere");
            }
            SetDlgItemTextW(editor, IDC_PLACE_PROGRAMS, L"C:\\Windows\\notepad.exe;excel.exe");
            TestHost::Click(editor, IDOK);
        });
        seen.push_back(AllRows(settings).at(0).at(1));
        TestHost::Click(settings, IDCANCEL);
    });
    const std::wstring look = std::wstring(L" ") + ADD_CAPTION + L", warning";
    EXPECT_THAT(seen, ElementsAre(L"「次のプログラムだけ」で使うプログラムを入力してください。" + look, L"in the names",
                                  L"「notepad.exe, excel.exe」に合うプログラムはありません。"
                                  L"プログラムのファイル名かパスを「;」で区切って入力してください。" + look,
                                  L"in the names", L"calc.exe (以外: C:\\Windows\\notepad.exe;excel.exe)"));
}

TEST_F(SettingsDialog, TheQuestionAboutAKeyThatTypesNamesTheProgramsWhereItStopsTyping)
{
    std::vector<std::wstring> questions;
    RunSettings(L"", [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            SetHotkeyValue(editor, IDC_HOTKEY, 'Q');
            ChoosePlace(editor, EXCEPT, L"notepad.exe");
            questions.push_back(OkExpectingMessage(editor, IDNO));
            ChoosePlace(editor, ONLY, L"notepad.exe");
            questions.push_back(OkExpectingMessage(editor, IDNO));
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(questions, ElementsAre(L"「Q」は、notepad.exe 以外のプログラムで入力に使えなくなります。このまま登録しますか？",
                                       L"「Q」は、notepad.exe だけで入力に使えなくなります。このまま登録しますか？"));
}

// Run once more in a prefix at 144 DPI (tests/CMakeLists.txt).
TEST_F(SettingsDialog, ListColumnsFollowTheDisplayScale)
{
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (const char* expected = std::getenv("TESSEL_EXPECTED_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected)) << "the prefix is not at the scale this run is for";
    }
    std::vector<int> widths;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        widths.push_back(ListView_GetColumnWidth(List(settings), 0));
        widths.push_back(ListView_GetColumnWidth(List(settings), 1));
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            host.OnWindow(L"#32770", L"プラグインコマンド選択", [&](HWND picker) {
                widths.push_back(ListView_GetColumnWidth(GetDlgItem(picker, IDC_PICKER_LIST), 0));
                TestHost::Click(picker, IDCANCEL);
            });
            TestHost::Click(editor, IDC_CHOOSE_COMMAND);
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(widths, ElementsAre(MulDiv(150, dpi, 96), MulDiv(250, dpi, 96), MulDiv(256, dpi, 96)));
}

}  // namespace
