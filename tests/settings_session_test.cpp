// The frame around the settings dialog: the hotkeys are released while it is open, the work copy
// is adopted only on OK, and nothing the host does meanwhile can break the live bindings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "res/resource_ids.h"
#include "tests/test_host.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const wchar_t SETTINGS_CAPTION[] = L"Tesselの設定";

const wchar_t TWO_BINDINGS[] =
    L"[setting]\r\nenable=1\r\n[hotkeys]\r\n"
    L"item0_key=1611\r\nitem0_command=Other.dll|1\r\nitem0_param=\r\n"
    L"item1_key=1610\r\nitem1_command=Other.dll|2\r\nitem1_param=\r\n";

bool CombinationIsFree(UINT modifiers, UINT key)
{
    HWND probe = CreateWindowExW(0, L"STATIC", L"probe", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    const bool free = RegisterHotKey(probe, 1, modifiers, key) != FALSE;
    if (free) {
        UnregisterHotKey(probe, 1);
    }
    DestroyWindow(probe);
    return free;
}

int CountDialogs(const wchar_t* caption)
{
    int count = 0;
    for (const std::wstring& seen : TestHost::DialogCaptions()) {
        count += seen == caption ? 1 : 0;
    }
    return count;
}

void SelectRow(HWND dialog, int row)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(dialog, IDC_HOTKEY_LIST, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&state));
}

class SettingsSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_.WriteSettings(TWO_BINDINGS);
        ASSERT_TRUE(host_.Load());
        host_.ClearRecords();
    }

    // Opens the settings as the host's menu does and runs the action inside the dialog.
    void InSettingsDialog(std::function<void(HWND)> action)
    {
        host_.OnWindow(L"#32770", SETTINGS_CAPTION, std::move(action));
        EXPECT_EQ(host_.Execute(L"Tessel.dll", 1), TRUE);
        EXPECT_TRUE(host_.WaitForWindows());
    }

    // Deletes row 0 of the open settings dialog, answering Yes to the question.
    void DeleteFirstRow(HWND dialog)
    {
        SelectRow(dialog, 0);
        host_.OnMessageBox([](HWND question) { TestHost::Click(question, IDYES); });
        TestHost::Click(dialog, IDC_DELETE_ITEM);
    }

    TestHost host_;
};

TEST_F(SettingsSession, OpeningReturnsToTheHostBeforeTheDialogShows)
{
    EXPECT_EQ(host_.Execute(L"Tessel.dll", 1), TRUE);
    EXPECT_EQ(CountDialogs(SETTINGS_CAPTION), 0);
    InSettingsDialog([](HWND dialog) { TestHost::Click(dialog, IDCANCEL); });
}

TEST_F(SettingsSession, HotkeysAreReleasedWhileOpenAndCancelRestoresThem)
{
    bool freeWhileOpen = false;
    InSettingsDialog([&](HWND dialog) {
        freeWhileOpen = CombinationIsFree(MOD_CONTROL | MOD_ALT, 'K');
        TestHost::Click(dialog, IDCANCEL);
    });
    EXPECT_TRUE(freeWhileOpen);
    EXPECT_THAT(host_.Calls(), ElementsAre(L"GetAllPluginInfo()", L"FreePluginInfoArray()"));
    EXPECT_EQ(host_.OutstandingPluginArrays(), 0);

    host_.ClearRecords();
    host_.Press({VK_CONTROL, VK_MENU, 'K'});
    host_.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host_.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,1)", L"ExecuteCommand(Other.dll,2)"));
}

TEST_F(SettingsSession, CancelDiscardsADeletion)
{
    InSettingsDialog([&](HWND dialog) {
        DeleteFirstRow(dialog);
        TestHost::Click(dialog, IDCANCEL);
    });
    host_.ClearRecords();
    host_.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host_.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,1)"));
}

TEST_F(SettingsSession, OkMakesTheEditedTableLiveAndTheUnloadSavesIt)
{
    InSettingsDialog([&](HWND dialog) {
        DeleteFirstRow(dialog);
        TestHost::Click(dialog, IDOK);
    });
    host_.ClearRecords();
    host_.Press({VK_CONTROL, VK_MENU, 'K'});
    host_.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host_.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,2)"));
    EXPECT_TRUE(CombinationIsFree(MOD_CONTROL | MOD_ALT, 'K'));

    host_.Unload();
    const std::wstring saved = host_.ReadSettings();
    EXPECT_NE(saved.find(L"item0_key=1610\r\nitem0_command=Other.dll|2"), std::wstring::npos) << saved;
    EXPECT_EQ(saved.find(L"item1_"), std::wstring::npos) << saved;
}

TEST_F(SettingsSession, OkWhileDisabledRegistersNothingUntilTheNextToggle)
{
    host_.Execute(L"Tessel.dll", 0);
    InSettingsDialog([&](HWND dialog) {
        DeleteFirstRow(dialog);
        TestHost::Click(dialog, IDOK);
    });
    host_.ClearRecords();
    host_.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host_.Calls(), IsEmpty());
    EXPECT_TRUE(CombinationIsFree(MOD_CONTROL | MOD_ALT, 'J'));

    host_.Execute(L"Tessel.dll", 0);
    host_.ClearRecords();
    host_.Press({VK_CONTROL, VK_MENU, 'K'});
    host_.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host_.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,2)"));
}

TEST_F(SettingsSession, ToggleAndSecondOpenWhileOpenChangeNothing)
{
    int dialogsAfterSecondOpen = 0;
    bool checkedAfterToggle = false;
    bool freeAfterToggle = false;
    InSettingsDialog([&](HWND dialog) {
        host_.ClearRecords();
        host_.Execute(L"Tessel.dll", 0);
        checkedAfterToggle = host_.MenuCheckState(L"Tessel.dll", 0);
        freeAfterToggle = CombinationIsFree(MOD_CONTROL | MOD_ALT, 'K');
        host_.Execute(L"Tessel.dll", 1);
        host_.Pump(200);
        dialogsAfterSecondOpen = CountDialogs(SETTINGS_CAPTION);
        TestHost::Click(dialog, IDCANCEL);
    });
    EXPECT_TRUE(checkedAfterToggle);
    EXPECT_TRUE(freeAfterToggle);
    EXPECT_EQ(dialogsAfterSecondOpen, 1);
    EXPECT_THAT(host_.Calls(), Contains(L"SetMenuProperty(1,0,8,8)"));

    host_.ClearRecords();
    host_.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host_.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,1)"));
}

TEST_F(SettingsSession, UnloadWhileTheDialogIsOpenSavesEverythingAndHandsTheListBack)
{
    host_.Execute(L"Tessel.dll", 0);
    host_.Execute(L"Tessel.dll", 0);
    InSettingsDialog([&](HWND dialog) {
        DeleteFirstRow(dialog);
        host_.Unload();
    });
    host_.Pump(100);
    EXPECT_EQ(CountDialogs(SETTINGS_CAPTION), 0);
    EXPECT_EQ(host_.OutstandingPluginArrays(), 0);
    // The dialog's unconfirmed change is gone with it; the live bindings are what persists.
    const std::wstring saved = host_.ReadSettings();
    EXPECT_NE(saved.find(L"item0_command=Other.dll|1"), std::wstring::npos) << saved;
    EXPECT_NE(saved.find(L"item1_command=Other.dll|2"), std::wstring::npos) << saved;
    EXPECT_NE(saved.find(L"enable=1"), std::wstring::npos) << saved;
    EXPECT_TRUE(CombinationIsFree(MOD_CONTROL | MOD_ALT, 'K'));
}

TEST_F(SettingsSession, UnloadWhileTheItemEditorIsOpenEndsBothDialogsQuietly)
{
    InSettingsDialog([&](HWND settings) {
        host_.OnWindow(L"#32770", L"アイテム追加", [&](HWND) { host_.Unload(); });
        TestHost::Click(settings, IDC_ADD_ITEM);
    });
    host_.Pump(100);
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
    EXPECT_NE(host_.ReadSettings().find(L"item1_command=Other.dll|2"), std::wstring::npos);
}

}  // namespace
