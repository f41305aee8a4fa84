// A host that exports only TTBPlugin_WriteLog and TTBPlugin_GetPluginInfo: the plug-in starts,
// toggles and stops without the menu service it would normally call.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "res/resource_ids.h"
#include "tests/test_host.h"

using testing::IsEmpty;

TEST(SparseHost, InitAndToggleSkipTheMissingMenuService)
{
    TestHost host;
    ASSERT_EQ(GetProcAddress(GetModuleHandleW(nullptr), "TTBPlugin_SetMenuProperty"), nullptr);
    ASSERT_TRUE(host.Load());

    EXPECT_EQ(host.Execute(L"Tessel.dll", 0), 1);
    EXPECT_EQ(host.Execute(L"Tessel.dll", 0), 1);

    EXPECT_THAT(host.Calls(), IsEmpty());
    EXPECT_THAT(host.Unload(), testing::ElementsAre(TRUE));
}

TEST(SparseHost, SettingsOpenWithoutAPluginListAndReferencesShowAsErrors)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Other.dll|5\r\nitem0_param=\r\n");
    ASSERT_TRUE(host.Load());
    std::wstring info;
    host.OnWindow(L"#32770", L"Tesselの設定", [&](HWND dialog) {
        wchar_t text[300] = {};
        LVITEMW item = {};
        item.iSubItem = 1;
        item.pszText = text;
        item.cchTextMax = 300;
        SendDlgItemMessageW(dialog, IDC_HOTKEY_LIST, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
        info = text;
        TestHost::Click(dialog, IDOK);
    });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    EXPECT_EQ(info, L"[error] Other.dll|5");
    EXPECT_THAT(host.Calls(), IsEmpty());
}

TEST(SparseHost, ReferencesDoNothingWithoutTheExecuteServiceWhileOtherActionsWork)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Tessel.dll|0\r\nitem0_param=\r\n"
                       L"item1_key=1610\r\nitem1_command=:exit\r\nitem1_param=\r\n");
    ASSERT_TRUE(host.Load());

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    host.Press({VK_CONTROL, VK_MENU, 'J'});

    // The own toggle was not run: the hotkeys stayed on, so the second press still fired.
    EXPECT_THAT(host.Messages(), testing::ElementsAre(HostMessage{WM_CLOSE, 0, 0}));
    EXPECT_THAT(host.Calls(), IsEmpty());
}
