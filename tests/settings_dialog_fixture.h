// The settings dialog's test fixture, shared by the test files of its program: the settings
// open through the plug-in's command 1 under the stand-in host, and every action happens inside
// the dialogs' own modal loops.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "tests/dialog_driver.h"
#include "tests/test_host.h"

constexpr wchar_t SETTINGS_CAPTION[] = L"Tesselの設定";
constexpr wchar_t ADD_CAPTION[] = L"アイテム追加";
constexpr wchar_t EDIT_CAPTION[] = L"アイテム編集";

using Rows = std::vector<std::vector<std::wstring>>;

// Ctrl+Shift+Alt+Win+T, Ctrl+M, Alt+N, Shift+C and Ctrl+A, each bound to another kind of command.
constexpr wchar_t FIVE_BINDINGS[] =
    L"[hotkeys]\r\n"
    L"item0_key=5972\r\nitem0_command=tessel.DLL|1\r\nitem0_param=\r\n"
    L"item1_key=589\r\nitem1_command=Missing.dll|4\r\nitem1_param=\r\n"
    L"item2_key=1102\r\nitem2_command=notepad.exe\r\nitem2_param=memo.txt\r\n"
    L"item3_key=323\r\nitem3_command=calc.exe\r\nitem3_param=\r\n"
    L"item4_key=577\r\nitem4_command=Sample.dll|2\r\nitem4_param=\r\n";

class SettingsDialog : public ::testing::Test {
protected:
    // Loads Tessel and Sample with these settings, opens the settings dialog and runs the action
    // inside it; the action must end the dialog.
    void RunSettings(const std::wstring& settings, std::function<void(HWND)> action)
    {
        host.WriteSettings(settings);
        ASSERT_TRUE(host.Load({L"Tessel.dll", L"Sample.dll"}));
        OpenSettingsAgain(std::move(action));
    }

    void OpenSettingsAgain(std::function<void(HWND)> action)
    {
        host.OnWindow(L"#32770", SETTINGS_CAPTION, std::move(action));
        host.Execute(L"Tessel.dll", 1);
        EXPECT_TRUE(host.WaitForWindows());
    }

    // Opens the item editor with the button and runs the action inside it.
    void RunEditor(HWND settings, int button, const wchar_t* caption, std::function<void(HWND)> action)
    {
        host.OnWindow(L"#32770", caption, std::move(action));
        TestHost::Click(settings, button);
    }

    // Presses OK in the editor, expecting a message box; answers it and returns its text. Its
    // caption, whether it warns, and whether Enter would answer No, go to boxLook.
    std::wstring OkExpectingMessage(HWND editor, int answer = IDOK)
    {
        std::wstring text;
        host.OnMessageBox([&](HWND box) {
            text = TestHost::MessageBoxText(box);
            const bool warns = MessageBoxIcon(box) != nullptr && MessageBoxIcon(box) == LoadIconW(nullptr, IDI_WARNING);
            boxLook = TestHost::WindowText(box) + (warns ? L", warning" : L"") +
                      (GetFocus() == GetDlgItem(box, IDNO) ? L", No by default" : L"");
            TestHost::Click(box, answer);
        });
        TestHost::Click(editor, IDOK);
        return text;
    }

    // The "使う場所" row: a choice of its drop-down as the user makes it, and the names.
    enum PlaceChoice { ONLY = 1, EXCEPT = 2 };
    static void ChoosePlace(HWND editor, PlaceChoice choice, const wchar_t* names)
    {
        SendDlgItemMessageW(editor, IDC_PLACE_MODE, CB_SETCURSEL, choice, 0);
        TestHost::Click(editor, IDC_PLACE_MODE);
        SetDlgItemTextW(editor, IDC_PLACE_PROGRAMS, names);
    }

    static HWND List(HWND settings) { return GetDlgItem(settings, IDC_HOTKEY_LIST); }
    static Rows AllRows(HWND settings) { return ListRows(List(settings), 4); }
    static std::vector<std::wstring> KeyTexts(HWND settings) { return ListColumn(List(settings), 0); }

    static bool EditorIsOpen(const wchar_t* caption)
    {
        const std::vector<std::wstring> open = TestHost::DialogCaptions();
        return std::find(open.begin(), open.end(), caption) != open.end();
    }

    TestHost host;
    std::wstring boxLook;
};
