// Renders the three dialogs, with real rows, to BMP files in a "pictures" folder beside this
// program: the settings dialog with six bindings, the fifth grey as it repeats the first one's
// combination and selected, with its reason below the list, and the sixth grey as its plug-in is
// not loaded; the item editor editing one
// of them, which is kept out of one program; and the command picker listing the commands of Tessel and Sample. tools/pictures.sh
// runs it under Wine and turns the files into the PNGs of docs/. Not part of the test run.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "host/window_picture.h"
#include "res/resource_ids.h"
#include "tests/dialog_driver.h"
#include "tests/test_host.h"

namespace {

// Ctrl+Alt+T, Ctrl+Shift+M, Shift+Win+N, Ctrl+Alt+Q, Ctrl+Alt+T again, which never fires, and
// Ctrl+Alt+M for a plug-in that is not there.
constexpr wchar_t SIX_BINDINGS[] =
    L"[hotkeys]\r\n"
    L"item0_key=1620\r\nitem0_command=Tessel.dll|1\r\nitem0_param=\r\n"
    L"item1_key=845\r\nitem1_command=Sample.dll|2\r\nitem1_param=\r\n"
    L"item2_key=4430\r\nitem2_command=notepad.exe\r\nitem2_param=C:\\memo.txt\r\nitem2_except=excel.exe\r\n"
    L"item3_key=1617\r\nitem3_command=:exit\r\nitem3_param=\r\n"
    L"item4_key=1620\r\nitem4_command=calc.exe\r\nitem4_param=\r\n"
    L"item5_key=1613\r\nitem5_command=Missing.dll|3\r\nitem5_param=\r\n";

// Long enough for the dialog to handle what the test's changes set off.
constexpr int SETTLE_MS = 400;

std::wstring PictureFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.resize(folder.find_last_of(L'\\'));
    folder += L"\\pictures";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

}  // namespace

TEST(DialogPictures, RenderTheSettingsDialogTheItemEditorAndTheCommandPicker)
{
    const std::wstring folder = PictureFolder();
    TestHost host;
    // Pictured once the dialog has settled after the changes the test made.
    const auto picture = [&](HWND window, const wchar_t* name) {
        host.Pump(SETTLE_MS);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
        EXPECT_TRUE(SaveWindowPicture(window, folder + L"\\" + name + L".bmp")) << "cannot save the picture";
    };

    host.OnWindow(L"#32770", L"Tesselの設定", [&](HWND settings) {
        const HWND list = GetDlgItem(settings, IDC_HOTKEY_LIST);
        SetFocus(list);
        SelectListRow(list, 4);  // the grey row, whose reason shows below the list
        picture(settings, L"settings_dialog");
        SelectListRow(list, 2);

        host.OnWindow(L"#32770", L"アイテム編集", [&](HWND editor) {
            picture(editor, L"item_editor");

            host.OnWindow(L"#32770", L"プラグインコマンド選択", [&](HWND picker) {
                const HWND commands = GetDlgItem(picker, IDC_PICKER_LIST);
                SetFocus(commands);
                SelectListRow(commands, 3);
                picture(picker, L"command_picker");
                TestHost::Click(picker, IDCANCEL);
            });
            TestHost::Click(editor, IDC_CHOOSE_COMMAND);
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDC_EDIT_ITEM);
        TestHost::Click(settings, IDCANCEL);
    });

    host.WriteSettings(SIX_BINDINGS);
    ASSERT_TRUE(host.Load({L"Tessel.dll", L"Sample.dll"}));
    host.Execute(L"Tessel.dll", 1);
    EXPECT_TRUE(host.WaitForWindows(30000));
}
