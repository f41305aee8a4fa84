// Rows whose binding will not fire, grey and with a reason in their info tip and in the line
// below the list, and the item editor's questions before it accepts a combination that is held
// elsewhere or a key that types.
#include <windows.h>

#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "tests/dialog_driver.h"
#include "tests/settings_dialog_fixture.h"
#include "tests/test_host.h"

using testing::ElementsAre;

namespace {

constexpr wchar_t HELD_TIP[] = L"Windowsか他のプログラムが使用中のhotkeyです";

// A window of the test holds a combination for as long as this lives, as another program would.
class HeldCombination {
public:
    HeldCombination(HWND window, UINT modifiers, UINT key)
        : window_(window), held_(RegisterHotKey(window, 1, modifiers, key) != FALSE)
    {
    }
    ~HeldCombination() { Release(); }
    HeldCombination(const HeldCombination&) = delete;
    HeldCombination& operator=(const HeldCombination&) = delete;

    bool Held() const { return held_; }
    void Release()
    {
        if (held_) {
            UnregisterHotKey(window_, 1);
            held_ = false;
        }
    }

private:
    HWND window_;
    bool held_;
};

// Each row as drawn, "grey" or "plain", with its info tip after a colon when it has one.
std::vector<std::wstring> RowLooks(HWND list)
{
    const std::vector<COLORREF> colours = ListRowTextColours(list);
    std::vector<std::wstring> looks;
    for (size_t row = 0; row < colours.size(); ++row) {
        std::wstring look = colours[row] == CLR_NONE                     ? L"not drawn"
                            : colours[row] == GetSysColor(COLOR_GRAYTEXT) ? L"grey"
                                                                          : L"plain";
        const std::wstring tip = ListInfoTip(list, static_cast<int>(row));
        looks.push_back(tip.empty() ? look : look + L": " + tip);
    }
    return looks;
}

TEST_F(SettingsDialog, ARowWhoseCombinationAnotherProgramHoldsIsGreyUntilARefillFindsItFree)
{
    HeldCombination altN(host.MainWindow(), MOD_ALT, 'N');
    ASSERT_TRUE(altN.Held());
    std::vector<std::wstring> held;
    std::vector<std::wstring> freed;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        held = RowLooks(List(settings));
        altN.Release();
        SelectListRow(List(settings), 0);
        RunEditor(settings, IDC_EDIT_ITEM, EDIT_CAPTION, [](HWND editor) { TestHost::Click(editor, IDOK); });
        freed = RowLooks(List(settings));
        TestHost::Click(settings, IDCANCEL);
    });
    const std::wstring missing = L"grey: プラグイン Missing.dll は読み込まれていません";
    EXPECT_THAT(held, ElementsAre(L"plain", missing, std::wstring(L"grey: ") + HELD_TIP, L"plain", L"plain"));
    EXPECT_THAT(freed, ElementsAre(L"plain", missing, L"plain", L"plain", L"plain"));
}

TEST_F(SettingsDialog, ALaterRowWithTheCombinationOfAnEarlierOneIsGreyAndNamesIt)
{
    // Ctrl + Page Up of the navigation keys, Ctrl + M, Ctrl + Page Up of the keypad (the same
    // combination to the system) and Ctrl + M again.
    std::vector<std::wstring> looks;
    RunSettings(L"[hotkeys]\r\n"
                L"item0_key=2593\r\nitem0_command=a.exe\r\nitem1_key=589\r\nitem1_command=b.exe\r\n"
                L"item2_key=545\r\nitem2_command=c.exe\r\nitem3_key=589\r\nitem3_command=d.exe\r\n",
                [&](HWND settings) {
                    looks = RowLooks(List(settings));
                    TestHost::Click(settings, IDCANCEL);
                });
    EXPECT_THAT(looks, ElementsAre(L"plain", L"plain", L"grey: 1行目と同じhotkeyです", L"grey: 2行目と同じhotkeyです"));
}

// Ctrl + M for Notepad (named with its folder) and for Excel, then for both: the two rows before
// leave it nothing. Then everywhere else, and Word, which that row takes. Alt + N with a list
// written with commas. Ctrl + Alt + K everywhere but a.exe, then but a.exe and b.exe, then for
// a.exe alone.
TEST_F(SettingsDialog, ARowSharingACombinationIsGreyOnlyWhereEarlierRowsTakeEveryProgramItHas)
{
    std::vector<std::wstring> looks;
    RunSettings(L"[hotkeys]\r\n"
                L"item0_key=589\r\nitem0_command=a.exe\r\nitem0_only=C:\\Tools\\notepad.exe\r\n"
                L"item1_key=589\r\nitem1_command=b.exe\r\nitem1_only=excel.exe\r\n"
                L"item2_key=589\r\nitem2_command=c.exe\r\nitem2_only=NOTEPAD.EXE;excel.exe\r\n"
                L"item3_key=589\r\nitem3_command=d.exe\r\n"
                L"item4_key=589\r\nitem4_command=e.exe\r\nitem4_only=word.exe\r\n"
                L"item5_key=1102\r\nitem5_command=f.exe\r\nitem5_only=excel.exe,word.exe\r\n"
                L"item6_key=1611\r\nitem6_command=g.exe\r\nitem6_except=a.exe\r\n"
                L"item7_key=1611\r\nitem7_command=h.exe\r\nitem7_except=a.exe;b.exe\r\n"
                L"item8_key=1611\r\nitem8_command=i.exe\r\nitem8_only=a.exe\r\n",
                [&](HWND settings) {
                    looks = RowLooks(List(settings));
                    TestHost::Click(settings, IDCANCEL);
                });
    EXPECT_THAT(looks, ElementsAre(L"plain", L"plain", L"grey: 1行目と同じhotkeyです", L"plain",
                                   L"grey: 4行目と同じhotkeyです",
                                   L"grey: 「excel.exe,word.exe」に一致するプログラムはありません", L"plain",
                                   L"grey: 7行目と同じhotkeyです", L"plain"));
}

// Ctrl + M is bound for Notepad. Another binding for Excel is taken, one for Notepad again is
// not, and neither is an edit that would leave the Excel one no program.
TEST_F(SettingsDialog, TheEditorTakesTheCombinationOfAnotherRowOnlyWhereThatRowLeavesItPrograms)
{
    const auto choose = [](HWND editor, const wchar_t* programs) {
        SendDlgItemMessageW(editor, IDC_PLACE_MODE, CB_SETCURSEL, programs != nullptr ? 1 : 0, 0);
        TestHost::Click(editor, IDC_PLACE_MODE);
        SetDlgItemTextW(editor, IDC_PLACE_PROGRAMS, programs != nullptr ? programs : L"");
    };
    std::vector<std::wstring> messages;
    std::vector<std::wstring> looks;
    RunSettings(L"[hotkeys]\r\nitem0_key=589\r\nitem0_command=a.exe\r\nitem0_only=notepad.exe\r\n",
                [&](HWND settings) {
                    RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
                        SetHotkeyValue(editor, IDC_HOTKEY, MAKEWORD('M', HOTKEYF_CONTROL));
                        choose(editor, L"Notepad.exe");
                        messages.push_back(OkExpectingMessage(editor));
                        choose(editor, L"excel.exe");
                        TestHost::Click(editor, IDOK);
                    });
                    SelectListRow(List(settings), 0);
                    RunEditor(settings, IDC_EDIT_ITEM, EDIT_CAPTION, [&](HWND editor) {
                        choose(editor, nullptr);
                        messages.push_back(OkExpectingMessage(editor));
                        TestHost::Click(editor, IDCANCEL);
                    });
                    looks = RowLooks(List(settings));
                    TestHost::Click(settings, IDCANCEL);
                });
    EXPECT_THAT(messages, ElementsAre(L"登録済みのhotkeyです", L"登録済みのhotkeyです"));
    EXPECT_THAT(looks, ElementsAre(L"plain", L"plain"));
}

TEST_F(SettingsDialog, TheEditorRefusesTheCombinationTheListWouldGreyAsARepeat)
{
    // Ctrl + Page Up of the navigation keys is bound; that of the keypad differs only in the
    // extended flag, which the system does not see.
    std::wstring message;
    RunSettings(L"[hotkeys]\r\nitem0_key=2593\r\nitem0_command=a.exe\r\n", [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            SetHotkeyValue(editor, IDC_HOTKEY, MAKEWORD(VK_PRIOR, HOTKEYF_CONTROL));
            SetDlgItemTextW(editor, IDC_COMMAND, L"b.exe");
            message = OkExpectingMessage(editor);
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_EQ(message, L"登録済みのhotkeyです");
}

TEST_F(SettingsDialog, AReferenceToAPluginNotLoadedOrToACommandItLacksIsGreyAndSaysWhich)
{
    // Tessel's own commands and the host's are run without the plug-in list, so they stay plain.
    std::vector<std::wstring> looks;
    std::wstring reason;
    RunSettings(L"[hotkeys]\r\n"
                L"item0_key=589\r\nitem0_command=missing.DLL|3\r\nitem1_key=1102\r\nitem1_command=Sample.dll|3\r\n"
                L"item2_key=323\r\nitem2_command=tessel.DLL|1\r\nitem3_key=577\r\nitem3_command=:exit\r\n"
                L"item4_key=1611\r\nitem4_command=Sample.dll|7\r\n",
                [&](HWND settings) {
                    looks = RowLooks(List(settings));
                    SelectListRow(List(settings), 1);
                    reason = TestHost::ItemText(settings, IDC_ROW_REASON);
                    TestHost::Click(settings, IDCANCEL);
                });
    EXPECT_THAT(looks, ElementsAre(L"grey: プラグイン missing.DLL は読み込まれていません",
                                   L"grey: Sample.dll にコマンド 3 はありません", L"plain", L"plain", L"plain"));
    EXPECT_EQ(reason, L"Sample.dll にコマンド 3 はありません");

    // A host that gives no list leaves nothing to tell a missing plug-in by.
    host.SetPluginArray(nullptr);
    OpenSettingsAgain([&](HWND settings) {
        looks = RowLooks(List(settings));
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(looks, ElementsAre(L"plain", L"plain", L"plain", L"plain", L"plain"));
}

TEST_F(SettingsDialog, ARowWithModifiersButNoKeyIsGreyAndSaysSo)
{
    std::vector<std::wstring> looks;
    RunSettings(L"[hotkeys]\r\nitem0_key=589\r\nitem0_command=a.exe\r\nitem1_key=1536\r\nitem1_command=b.exe\r\n",
                [&](HWND settings) {
                    looks = RowLooks(List(settings));
                    TestHost::Click(settings, IDCANCEL);
                });
    EXPECT_THAT(looks, ElementsAre(L"plain", L"grey: キーが指定されていません"));
}

TEST_F(SettingsDialog, OkWithAHeldCombinationAsksAndNoReturnsToTheKeyWhileAFreeOneGoesThrough)
{
    HeldCombination ctrlQ(host.MainWindow(), MOD_CONTROL, 'Q');
    ASSERT_TRUE(ctrlQ.Held());
    std::vector<std::wstring> seen;
    std::vector<std::wstring> looks;
    RunSettings(FIVE_BINDINGS, [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            SetHotkeyValue(editor, IDC_HOTKEY, MAKEWORD('Q', HOTKEYF_CONTROL));
            seen.push_back(OkExpectingMessage(editor, IDNO));
            seen.push_back(GetFocus() == GetDlgItem(editor, IDC_HOTKEY) ? L"in the key" : L"elsewhere");
            seen.push_back(OkExpectingMessage(editor, IDYES));
        });
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            SetHotkeyValue(editor, IDC_HOTKEY, MAKEWORD('R', HOTKEYF_CONTROL));
            TestHost::Click(editor, IDOK);  // a question now would hold this click until the guard ends it
        });
        seen.push_back(EditorIsOpen(ADD_CAPTION) ? L"still open" : L"closed");
        looks = RowLooks(List(settings));
        TestHost::Click(settings, IDCANCEL);
    });
    const std::wstring question = std::wstring(L"「Ctrl + Q」は、") + HELD_TIP + L"。このまま登録しますか？";
    EXPECT_THAT(seen, ElementsAre(question, L"in the key", question, L"closed"));
    EXPECT_EQ(boxLook, std::wstring(ADD_CAPTION) + L", warning, No by default");
    ASSERT_EQ(looks.size(), 7u);
    EXPECT_EQ(looks[5], std::wstring(L"grey: ") + HELD_TIP);
    EXPECT_EQ(looks[6], L"plain");
}

TEST_F(SettingsDialog, TheLineBelowTheListGivesTheReasonOfTheSelectedRowAsKeysMouseAndRefillsMoveIt)
{
    HeldCombination altN(host.MainWindow(), MOD_ALT, 'N');
    ASSERT_TRUE(altN.Held());
    std::vector<std::wstring> reasons;
    // Ctrl + M, Alt + N (held), Ctrl + M again, and Ctrl + Alt without a key.
    RunSettings(L"[hotkeys]\r\nitem0_key=589\r\nitem0_command=a.exe\r\nitem1_key=1102\r\nitem1_command=b.exe\r\n"
                L"item2_key=589\r\nitem2_command=c.exe\r\nitem3_key=1536\r\nitem3_command=d.exe\r\n",
                [&](HWND settings) {
                    const HWND list = List(settings);
                    const auto press = [&](WORD key) {
                        SendKey(list, key);
                        reasons.push_back(TestHost::ItemText(settings, IDC_ROW_REASON));
                    };
                    SetFocus(list);
                    press(VK_HOME);
                    press(VK_DOWN);
                    press(VK_DOWN);
                    press(VK_DOWN);
                    host.OnMessageBox([](HWND box) { TestHost::Click(box, IDYES); });
                    press(VK_DELETE);
                    SelectListRow(list, 1);  // as a click does
                    reasons.push_back(TestHost::ItemText(settings, IDC_ROW_REASON));
                    TestHost::Click(settings, IDCANCEL);
                });
    // The delete of the last row selects the new last one.
    EXPECT_THAT(reasons, ElementsAre(L"", HELD_TIP, L"1行目と同じhotkeyです", L"キーが指定されていません",
                                     L"1行目と同じhotkeyです", HELD_TIP));
}

TEST_F(SettingsDialog, AKeyThatTypesIsAskedAboutButAFunctionKeyOrAControlCombinationIsNot)
{
    std::vector<std::wstring> seen;
    std::vector<std::wstring> keys;
    RunSettings(L"", [&](HWND settings) {
        RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
            SetHotkeyValue(editor, IDC_HOTKEY, 'A');
            SetFocus(GetDlgItem(editor, IDC_COMMAND));
            seen.push_back(OkExpectingMessage(editor, IDNO));
            seen.push_back(boxLook);
            seen.push_back(GetFocus() == GetDlgItem(editor, IDC_HOTKEY) ? L"in the key" : L"elsewhere");
            OkExpectingMessage(editor, IDYES);
        });
        for (const WORD value : {static_cast<WORD>(VK_F5), MAKEWORD('A', HOTKEYF_CONTROL)}) {
            RunEditor(settings, IDC_ADD_ITEM, ADD_CAPTION, [&](HWND editor) {
                SetHotkeyValue(editor, IDC_HOTKEY, value);
                TestHost::Click(editor, IDOK);  // a question now would hold this click until the guard ends it
            });
        }
        keys = KeyTexts(settings);
        TestHost::Click(settings, IDCANCEL);
    });
    EXPECT_THAT(seen, ElementsAre(L"「A」は、どのプログラムでも入力に使えなくなります。このまま登録しますか？",
                                  std::wstring(ADD_CAPTION) + L", warning, No by default", L"in the key"));
    EXPECT_THAT(keys, ElementsAre(L"A", L"F5", L"Ctrl + A"));
}

}  // namespace
