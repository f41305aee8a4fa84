// Real key presses through the stand-in host: bindings in the settings file, Init, SendInput of
// the combination, and what reached the host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "host/host_driving.h"
#include "tests/import_patch.h"
#include "tests/test_host.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

std::wstring Binding(int index, int key, const std::wstring& command, const std::wstring& param = L"")
{
    const std::wstring prefix = L"item" + std::to_wstring(index);
    return prefix + L"_key=" + std::to_wstring(key) + L"\r\n" + prefix + L"_command=" + command + L"\r\n" + prefix +
           L"_param=" + param + L"\r\n";
}

std::wstring Hotkeys(const std::wstring& bindings)
{
    return L"[hotkeys]\r\n" + bindings;
}

// Ctrl + Alt + K, as the hot-key control stores it.
constexpr int KEY_CTRL_ALT_K = 0x064B;
constexpr int KEY_CTRL_ALT_J = 0x064A;
constexpr int KEY_SHIFT_F1 = 0x0170;

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.rfind(L'\\'));
}

// A window of the test's own, to see whether a combination is free or held.
class ProbeWindow {
public:
    ProbeWindow() : window_(CreateWindowExW(0, L"STATIC", L"probe", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr)) {}
    ~ProbeWindow() { DestroyWindow(window_); }
    bool CanRegister(UINT modifiers, UINT key)
    {
        if (!RegisterHotKey(window_, 1, modifiers, key)) {
            return false;
        }
        UnregisterHotKey(window_, 1);
        return true;
    }
    bool Hold(UINT modifiers, UINT key) { return RegisterHotKey(window_, 1, modifiers, key) != FALSE; }

private:
    HWND window_;
};

TEST(HotkeyPress, ReferenceToAnotherPluginGoesToTheHost)
{
    TestHost host;
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L"Other.dll|5") + Binding(1, KEY_CTRL_ALT_J, L"Sample.dll|7")));
    ASSERT_TRUE(host.Load({L"Tessel.dll", L"Sample.dll"}));
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,5)"));

    host.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host.Calls(), Contains(L"ExecuteCommand(Sample.dll,7)"));
    EXPECT_THAT(host.Logs(), Contains(L"Sample.dll|7"));
}

TEST(HotkeyPress, OwnToggleByFileNameInOtherCaseTurnsEveryHotkeyOffAndFreesTheCombination)
{
    TestHost host;
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L"TESSEL.DLL|0") + Binding(1, KEY_CTRL_ALT_J, L"Other.dll|1")));
    ASSERT_TRUE(host.Load());
    EXPECT_TRUE(host.MenuCheckState(L"Tessel.dll", 0));
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), Contains(::testing::StartsWith(L"SetMenuProperty(")));
    EXPECT_FALSE(host.MenuCheckState(L"Tessel.dll", 0));
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    host.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host.Calls(), IsEmpty());

    ProbeWindow probe;
    EXPECT_TRUE(probe.CanRegister(MOD_CONTROL | MOD_ALT, 'K'));

    host.Execute(L"Tessel.dll", 0);
    EXPECT_TRUE(host.MenuCheckState(L"Tessel.dll", 0));
    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,1)"));
}

TEST(HotkeyPress, ColonCommandsReachTheHostWindowInAnyLetterCase)
{
    TestHost host;
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L":EXIT") + Binding(1, KEY_CTRL_ALT_J, L":toolmenu") +
                               Binding(2, KEY_SHIFT_F1, L":SystemMenu")));
    ASSERT_TRUE(host.Load());
    ASSERT_TRUE(SetCursorPos(100, 200));

    host.Press({VK_CONTROL, VK_MENU, 'J'});
    host.Press({VK_SHIFT, VK_F1});
    host.Press({VK_CONTROL, VK_MENU, 'K'});

    POINT cursor;
    GetCursorPos(&cursor);
    ASSERT_EQ(cursor.x, 100);
    ASSERT_EQ(cursor.y, 200);
    EXPECT_THAT(host.Messages(), ElementsAre(HostMessage{WM_CONTEXTMENU, 0, static_cast<LPARAM>(0x80C80064u)},
                                             HostMessage{WM_CONTEXTMENU, 0, static_cast<LPARAM>(0x00C80064u)},
                                             HostMessage{WM_CLOSE, 0, 0}));
}

TEST(HotkeyPress, ExitMakesTheHostUnloadThePluginWhichSavesItsBindings)
{
    TestHost host;
    host.SetCloseUnloads(true);
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L":exit")));
    ASSERT_TRUE(host.Load());

    host.Press({VK_CONTROL, VK_MENU, 'K'});

    EXPECT_THAT(host.Messages(), ElementsAre(HostMessage{WM_CLOSE, 0, 0}));
    const std::wstring saved = host.ReadSettings();
    EXPECT_NE(saved.find(L"item0_command=:exit"), std::wstring::npos) << saved;
    EXPECT_NE(saved.find(L"enable=1"), std::wstring::npos) << saved;
}

TEST(HotkeyPress, ProgramOpensWithItsParameter)
{
    TestHost host;
    const std::wstring marker = host.Folder() + L"\\opened.txt";
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, ProgramFolder() + L"\\markers\\marker_writer.exe",
                                       L"\"" + marker + L"\" memo.txt second")));
    ASSERT_TRUE(host.Load());

    host.Press({VK_CONTROL, VK_MENU, 'K'});

    ASSERT_TRUE(host.PumpUntil([&] { return FileBytes(marker).size() > 0; }, 10000));
    EXPECT_EQ(FileBytes(marker), "memo.txt second");
}

TEST(HotkeyPress, RelativeProgramIsOpenedFromTheHostFolderWhenTheShellCannotFindIt)
{
    TestHost host;
    const std::wstring marker = host.Folder() + L"\\retried.txt";
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L"markers\\marker_writer.exe", L"\"" + marker + L"\" again")));
    ASSERT_TRUE(host.Load());
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(host.Folder().c_str()));
    ASSERT_FALSE(FileExists(host.Folder() + L"\\markers\\marker_writer.exe"));

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    const bool opened = host.PumpUntil([&] { return FileBytes(marker).size() > 0; }, 10000);

    SetCurrentDirectoryW(previous);
    ASSERT_TRUE(opened);
    EXPECT_EQ(FileBytes(marker), "again");
}

TEST(HotkeyPress, EmptyCommandDoesNothingEvenWithAParameter)
{
    TestHost host;
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L"", L"memo.txt") + Binding(1, KEY_CTRL_ALT_J, L"Other.dll|2")));
    ASSERT_TRUE(host.Load());
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), IsEmpty());
    EXPECT_THAT(host.Messages(), IsEmpty());

    host.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,2)"));
}

TEST(HotkeyPress, ReferenceTextsAreParsedAtTheFirstBar)
{
    TestHost host;
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L":exit|1") + Binding(1, KEY_CTRL_ALT_J, L"|5") +
                               Binding(2, KEY_SHIFT_F1, L"Other.dll|x9|3")));
    ASSERT_TRUE(host.Load());
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    host.Press({VK_CONTROL, VK_MENU, 'J'});
    host.Press({VK_SHIFT, VK_F1});

    EXPECT_THAT(host.Calls(),
                ElementsAre(L"ExecuteCommand(:exit,1)", L"ExecuteCommand(,5)", L"ExecuteCommand(Other.dll,0)"));
    EXPECT_THAT(host.Messages(), IsEmpty());
}

TEST(HotkeyPress, ItemWithoutVirtualKeyKeepsItsIdSoLaterItemsStillFire)
{
    TestHost host;
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L"Other.dll|0") + Binding(1, 0x0600, L"Other.dll|1") +
                               Binding(2, KEY_CTRL_ALT_J, L"Other.dll|2")));
    ASSERT_TRUE(host.Load());
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,2)"));
}

TEST(HotkeyPress, ExtendedKeyFlagRegistersLikeTheKeyWithoutIt)
{
    TestHost host;
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K | 0x0800, L"Other.dll|4")));
    ASSERT_TRUE(host.Load());
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,4)"));
}

TEST(HotkeyPress, WindowsKeyBitRegistersTheWinModifier)
{
    TestHost host;
    host.WriteSettings(Hotkeys(Binding(0, 0x1245, L"Other.dll|8")));  // Ctrl + Win + E
    ASSERT_TRUE(host.Load());
    host.ClearRecords();

    host.Press({VK_CONTROL, 'E'});
    EXPECT_THAT(host.Calls(), IsEmpty());
    host.Press({VK_CONTROL, VK_LWIN, 'E'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,8)"));
}

TEST(HotkeyPress, OfTwoItemsWithOneCombinationTheLowerIndexFires)
{
    TestHost host;
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L"Other.dll|1") + Binding(1, KEY_CTRL_ALT_K, L"Other.dll|2")));
    ASSERT_TRUE(host.Load());
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,1)"));
}

TEST(HotkeyPress, CombinationHeldByAnotherWindowStaysInertWhileTheOthersWork)
{
    TestHost host;
    ProbeWindow other;
    ASSERT_TRUE(other.Hold(MOD_CONTROL | MOD_ALT, 'K'));
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L"Other.dll|1") + Binding(1, KEY_CTRL_ALT_J, L"Other.dll|2")));
    ASSERT_TRUE(host.Load());
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    host.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,2)"));

    host.Unload();
    EXPECT_NE(host.ReadSettings().find(L"item0_command=Other.dll|1"), std::wstring::npos);
}

TEST(HotkeyPress, DisabledInTheFileMeansNoHotkeyUntilTheToggle)
{
    TestHost host;
    host.WriteSettings(L"[setting]\r\nenable=0\r\n" + Hotkeys(Binding(0, KEY_CTRL_ALT_K, L"Other.dll|1")));
    ASSERT_TRUE(host.Load());
    EXPECT_FALSE(host.MenuCheckState(L"Tessel.dll", 0));
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), IsEmpty());

    host.Execute(L"Tessel.dll", 0);
    EXPECT_TRUE(host.MenuCheckState(L"Tessel.dll", 0));
    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,1)"));
}

// Stands in for the plug-in's UnregisterHotKey: once armed, its first call presses Ctrl+Alt+K and
// Ctrl+Alt+J, which the system queues as presses of the table being let go.
bool pressWhileUnregistering;

BOOL WINAPI PressingUnregisterHotKey(HWND window, int id)
{
    if (pressWhileUnregistering) {
        pressWhileUnregistering = false;
        std::vector<INPUT> inputs = KeyPressInputs({VK_CONTROL, VK_MENU, 'K', 'J'});
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
    return UnregisterHotKey(window, id);
}

TEST(HotkeyPress, PressesQueuedWhileAHandEditShiftsTheIdsNeverRunAnotherBinding)
{
    TestHost host;
    host.WriteSettings(Hotkeys(Binding(0, KEY_CTRL_ALT_K, L"Other.dll|1") + Binding(1, KEY_CTRL_ALT_J, L"Other.dll|2")));
    ASSERT_TRUE(host.Load());
    ASSERT_TRUE(ReplaceImport(host.Module(L"Tessel.dll"), "user32.dll", "UnregisterHotKey",
                              reinterpret_cast<const void*>(&PressingUnregisterHotKey)));
    host.ClearRecords();
    pressWhileUnregistering = true;
    // Two bindings in front: ids 0 and 1 now name them.
    host.WriteSettings(Hotkeys(Binding(0, KEY_SHIFT_F1, L"Other.dll|9") + Binding(1, 0x0171, L"Other.dll|8") +
                               Binding(2, KEY_CTRL_ALT_K, L"Other.dll|1") + Binding(3, KEY_CTRL_ALT_J, L"Other.dll|2")));
    ASSERT_TRUE(host.PumpUntil([] { return !pressWhileUnregistering; }, 5000));
    host.Pump(300);
    EXPECT_THAT(host.Calls(), ElementsAre(::testing::StartsWith(L"SetMenuProperty(")));  // the presses dropped
    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,1)"));
}

TEST(Unload, WritesBindingsAndTheToggledFlagAndReleasesEveryHotkey)
{
    TestHost host;
    host.WriteSettings(L"[setting]\r\nenable=1\r\nother=kept\r\n" + Hotkeys(Binding(0, KEY_CTRL_ALT_K, L"Other.dll|1")));
    ASSERT_TRUE(host.Load());
    host.Execute(L"Tessel.dll", 0);
    host.Execute(L"Tessel.dll", 0);
    host.Execute(L"Tessel.dll", 0);
    host.Unload();

    const std::wstring saved = host.ReadSettings();
    EXPECT_NE(saved.find(L"enable=0"), std::wstring::npos) << saved;
    EXPECT_NE(saved.find(L"other=kept"), std::wstring::npos) << saved;
    EXPECT_NE(saved.find(L"item0_key=1611"), std::wstring::npos) << saved;
    ProbeWindow probe;
    EXPECT_TRUE(probe.CanRegister(MOD_CONTROL | MOD_ALT, 'K'));
}

TEST(Unload, ToggleIsPersistedAtOnceSoAHostKilledBeforeItsUnloadKeepsIt)
{
    TestHost host;
    host.WriteSettings(L"[setting]\r\nenable=1\r\n");
    ASSERT_TRUE(host.Load());
    host.Execute(L"Tessel.dll", 0);
    EXPECT_NE(host.ReadSettings().find(L"enable=0"), std::wstring::npos);
}

}  // namespace
