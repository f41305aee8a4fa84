// The stand-in host and the TestHost fixture, which every other test relies on.
#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "host/main_window.h"
#include "host/service_exports.h"
#include "tests/test_host.h"

using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

int hotkeysSeen;
WPARAM lastHotkeyId;

LRESULT CALLBACK CountHotkeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HOTKEY) {
        ++hotkeysSeen;
        lastHotkeyId = wParam;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateHotkeyReceiver()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = CountHotkeys;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"HotkeyReceiver";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, L"HotkeyReceiver", L"", 0, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance,
                           nullptr);
}

std::vector<std::wstring> PluginNames(PluginInfo** plugins)
{
    std::vector<std::wstring> names;
    for (PluginInfo** plugin = plugins; *plugin != nullptr; ++plugin) {
        names.push_back(std::wstring((*plugin)->name) + L"|" + (*plugin)->fileName);
    }
    return names;
}

std::vector<std::wstring> MenuItems(HMENU menu)
{
    std::vector<std::wstring> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        const bool checked = (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_CHECKED) != 0;
        items.push_back(std::wstring(checked ? L"[x] " : L"") + text);
    }
    return items;
}

}  // namespace

TEST(StandInHost, PressedKeysReachAHotkeyOfThisThread)
{
    TestHost host;
    const HWND receiver = CreateHotkeyReceiver();
    ASSERT_TRUE(RegisterHotKey(receiver, 7, MOD_CONTROL | MOD_ALT, 'K'));
    hotkeysSeen = 0;

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_EQ(hotkeysSeen, 1);
    EXPECT_EQ(lastHotkeyId, 7u);

    host.Press({VK_CONTROL, 'K'});
    EXPECT_EQ(hotkeysSeen, 1) << "a combination that was not registered fired";

    UnregisterHotKey(receiver, 7);
    DestroyWindow(receiver);
}

TEST(StandInHost, WindowKeyCombinationsReachAHotkeyToo)
{
    TestHost host;
    const HWND receiver = CreateHotkeyReceiver();
    ASSERT_TRUE(RegisterHotKey(receiver, 3, MOD_WIN | MOD_SHIFT, VK_F8));
    hotkeysSeen = 0;

    host.Press({VK_LWIN, VK_SHIFT, VK_F8});
    EXPECT_EQ(hotkeysSeen, 1);

    UnregisterHotKey(receiver, 3);
    DestroyWindow(receiver);
}

TEST(StandInHost, WatchersActInsideModalLoopsAndChain)
{
    TestHost host;
    std::vector<std::wstring> seen;
    host.OnWindow(L"#32770", L"outer", [&](HWND outer) {
        seen.push_back(TestHost::MessageBoxText(outer));
        host.OnMessageBox([&](HWND inner) {
            seen.push_back(TestHost::MessageBoxText(inner));
            seen.push_back(std::to_wstring(TestHost::DialogCaptions().size()));
            TestHost::Click(inner, IDNO);
        });
        seen.push_back(std::to_wstring(MessageBoxW(outer, L"second", L"inner", MB_YESNO)));
        TestHost::Click(outer, IDOK);
    });

    EXPECT_EQ(MessageBoxW(host.MainWindow(), L"first", L"outer", MB_OK), IDOK);
    EXPECT_TRUE(host.WaitForWindows());
    EXPECT_THAT(seen, ElementsAre(L"first", L"second", L"2", std::to_wstring(IDNO)));
}

TEST(StandInHost, AWatcherThatFindsNothingFailsNamingTheDialogsAndClosesThem)
{
    TestHost host;
    int result = 0;
    EXPECT_NONFATAL_FAILURE(
        {
            host.OnWindow(L"#32770", L"never shown", [](HWND) {}, 300);
            result = MessageBoxW(host.MainWindow(), L"text", L"in the way", MB_OK);
        },
        "dialogs seen: \"in the way\"");
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
}

TEST(StandInHost, SettingsWrittenAsUtf16KeepJapaneseForTheProfileFunctions)
{
    TestHost host;
    EXPECT_FALSE(host.SettingsExist());
    host.WriteSettings(L"[hotkeys]\r\nitem0_command=設定.exe\r\n");

    wchar_t value[64] = {};
    GetPrivateProfileStringW(L"hotkeys", L"item0_command", L"", value, 64, host.SettingsPath().c_str());
    EXPECT_STREQ(value, L"設定.exe");
    EXPECT_EQ(host.ReadSettings(), L"[hotkeys]\r\nitem0_command=設定.exe\r\n");

    host.WriteSettingsBytes("[setting]\r\nenable=0\r\n");
    EXPECT_EQ(host.ReadSettings(), L"[setting]\r\nenable=0\r\n");
}

TEST(StandInHost, HandsOutCopiesOfEveryPluginRecordUntilTheyAreHandedBack)
{
    TestHost host;
    ASSERT_TRUE(host.Load({L"Sample.dll"}));

    PluginInfo** plugins = TTBPlugin_GetAllPluginInfo();
    ASSERT_NE(plugins, nullptr);
    EXPECT_THAT(PluginNames(plugins), ElementsAre(L"Sample|Sample.dll"));
    ASSERT_EQ(plugins[0]->commandCount, 4);
    EXPECT_EQ(plugins[0]->commands[1].commandId, 7);
    EXPECT_STREQ(plugins[0]->commands[0].caption, L"サンプルを開く");
    EXPECT_EQ(host.OutstandingPluginArrays(), 1);

    TTBPlugin_FreePluginInfoArray(plugins);
    EXPECT_EQ(host.OutstandingPluginArrays(), 0);
    EXPECT_THAT(host.Calls(), ElementsAre(L"GetAllPluginInfo()", L"FreePluginInfoArray()"));
}

TEST(StandInHost, ATestCanReplaceThePluginListWithItsOwnOrNone)
{
    TestHost host;
    ASSERT_TRUE(host.Load({L"Sample.dll"}));
    PluginInfo* none[] = {nullptr};

    host.SetPluginArray(none);
    EXPECT_EQ(TTBPlugin_GetAllPluginInfo(), none);
    TTBPlugin_FreePluginInfoArray(none);

    host.SetPluginArray(nullptr);
    EXPECT_EQ(TTBPlugin_GetAllPluginInfo(), nullptr);
    TTBPlugin_FreePluginInfoArray(nullptr);
    EXPECT_EQ(host.OutstandingPluginArrays(), 0);
}

TEST(StandInHost, ExecuteCommandFindsThePluginWhateverTheLetterCase)
{
    TestHost host;
    ASSERT_TRUE(host.Load({L"Sample.dll"}));

    EXPECT_TRUE(TTBPlugin_ExecuteCommand(L"sample.DLL", 5));
    EXPECT_FALSE(TTBPlugin_ExecuteCommand(L"Other.dll", 5));

    EXPECT_THAT(host.Logs(), ElementsAre(L"Sample.dll|5"));
    EXPECT_THAT(host.Calls(), Contains(L"ExecuteCommand(Other.dll,5)"));
}

TEST(StandInHost, MenusListEveryPluginCommandWithItsCheckMark)
{
    TestHost host;
    ASSERT_TRUE(host.Load({L"Sample.dll"}));
    TTBPlugin_SetMenuProperty(1, 7, 8, 8);
    EXPECT_TRUE(host.MenuCheckState(L"Sample.dll", 7));

    const HMENU toolMenu = BuildHostMenu(true);
    EXPECT_THAT(MenuItems(toolMenu),
                ElementsAre(L"サンプルを開く", L"[x] Sample beep", L"Sample メモ", L"Sample hidden"));
    DestroyMenu(toolMenu);

    TTBPlugin_SetMenuProperty(1, 7, 8, 0);
    const HMENU systemMenu = BuildHostMenu(false);
    EXPECT_THAT(MenuItems(systemMenu),
                ElementsAre(L"サンプルを開く", L"Sample beep", L"Sample メモ", L"Sample hidden", L"", L"Exit"));
    DestroyMenu(systemMenu);
}

TEST(StandInHost, MainWindowRecordsCloseAndMenuRequestsWithoutActingOnThem)
{
    TestHost host;
    ASSERT_TRUE(host.Load({L"Sample.dll"}));
    const LPARAM toolMenuAt = static_cast<LPARAM>(0x80000000u | (20 << 16) | 10);

    SendMessageW(host.MainWindow(), WM_CONTEXTMENU, 0, toolMenuAt);
    SendMessageW(host.MainWindow(), WM_CLOSE, 0, 0);

    EXPECT_THAT(host.Messages(), ElementsAre(HostMessage{WM_CONTEXTMENU, 0, toolMenuAt}, HostMessage{WM_CLOSE, 0, 0}));
    EXPECT_NE(host.Module(L"Sample.dll"), nullptr);
    EXPECT_TRUE(IsWindow(host.MainWindow()));
}

TEST(StandInHost, CloseUnloadsEveryPluginWhenSwitchedOn)
{
    TestHost host;
    ASSERT_TRUE(host.Load({L"Sample.dll"}));
    host.SetCloseUnloads(true);

    SendMessageW(host.MainWindow(), WM_CLOSE, 0, 0);

    EXPECT_EQ(GetModuleHandleW((host.Folder() + L"\\Sample.dll").c_str()), nullptr);
}
