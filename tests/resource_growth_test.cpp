// A plug-in lives for weeks inside the host: nothing it does may leave memory or windows behind.
// One process runs forty settings sessions, a hundred toggles and a thousand key presses over
// bindings with program lists; the blocks of the process heap and the windows of the thread are
// counted before and after.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "tests/dialog_driver.h"
#include "tests/heap_in_use.h"
#include "tests/test_host.h"

namespace {

// The counts are exact, so a block or a window left behind shows whatever the number of runs;
// these are enough for one left only every so often (every 7th toggle, say) to show many times.
// A session takes a tenth of a second and a toggle is a save flushed to the disk: hundreds of the
// one and thousands of the other cost a minute and caught nothing more.
constexpr int SESSIONS = 40;
constexpr int TOGGLES = 100;
// The platform keeps its parse of the last ten settings files it read, and every switch reads a
// work file of its own: the toggles of the warm-up fill that cache before counting.
constexpr int WARM_TOGGLES = 12;
constexpr int PRESSES = 1000;
// Of every this many sessions, two go through the item editor and the command picker as well.
constexpr int DEEP_SESSION_EVERY = 10;

const wchar_t BINDINGS[] =
    L"[setting]\r\nenable=1\r\n[hotkeys]\r\n"
    L"item0_key=1611\r\nitem0_command=Other.dll|1\r\nitem0_param=\r\nitem0_except=excel.exe;mstsc.exe\r\n"
    L"item1_key=1610\r\nitem1_command=:toolmenu\r\nitem1_param=\r\n"
    L"item2_key=1612\r\nitem2_command=Tessel.dll|7\r\nitem2_param=\r\n"
    L"item3_key=4165\r\nitem3_command=C:\\Windows\\notepad.exe\r\nitem3_param=memo.txt\r\nitem3_only=minihost.exe\r\n";

struct Resources {
    int heapBlocks;
    int windows;
    int listBoxes;
};

void CountWindow(HWND window, Resources* counted)
{
    ++counted->windows;
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (lstrcmpiW(className, L"ListBox") == 0) {
        ++counted->listBoxes;
    }
}

// The platform keeps the last few settings files it parsed, and which of them are still held
// depends on how many saves came between; they are let go before counting.
Resources Measure(const std::wstring& settings)
{
    for (const wchar_t* suffix : {L"", L".tmp"}) {
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, (settings + suffix).c_str());
    }
    Resources counted = {WalkProcessHeap().blocks, 0, 0};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM result) {
            auto* resources = reinterpret_cast<Resources*>(result);
            CountWindow(window, resources);
            EnumChildWindows(
                window,
                [](HWND child, LPARAM inner) {
                    CountWindow(child, reinterpret_cast<Resources*>(inner));
                    return TRUE;
                },
                result);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&counted));
    return counted;
}

class ResourceGrowth : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_.WriteSettings(BINDINGS);
        ASSERT_TRUE(host_.Load());
    }

    enum class Depth { SettingsOnly, EditCancelled, AddedAndDeleted };

    // One settings session ended with OK or Cancel. Deeper ones open the editor on the first
    // binding and the picker from it and cancel both; or add a binding with a command from the
    // picker and delete it again, so the table is as before either way.
    void RunSession(bool ok, Depth depth)
    {
        host_.OnWindow(L"#32770", L"Tesselの設定", [this, ok, depth](HWND settings) {
            const HWND list = GetDlgItem(settings, IDC_HOTKEY_LIST);
            if (depth == Depth::EditCancelled) {
                SelectListRow(list, 0);
                host_.OnWindow(L"#32770", L"アイテム編集", [this](HWND editor) {
                    host_.OnWindow(L"#32770", L"プラグインコマンド選択", [](HWND picker) {
                        SelectTreeEntry(GetDlgItem(picker, IDC_PICKER_TREE), 1);
                        TestHost::Click(picker, IDCANCEL);
                    });
                    TestHost::Click(editor, IDC_CHOOSE_COMMAND);
                    TestHost::Click(editor, IDCANCEL);
                });
                TestHost::Click(settings, IDC_EDIT_ITEM);
            }
            if (depth == Depth::AddedAndDeleted) {
                host_.OnWindow(L"#32770", L"アイテム追加", [this](HWND editor) {
                    host_.OnWindow(L"#32770", L"プラグインコマンド選択", [](HWND picker) {
                        SelectListRow(GetDlgItem(picker, IDC_PICKER_LIST), 0);
                        TestHost::Click(picker, IDOK);
                    });
                    TestHost::Click(editor, IDC_CHOOSE_COMMAND);
                    SetHotkeyValue(editor, IDC_HOTKEY, 0x0651);  // Ctrl + Alt + Q
                    TestHost::Click(editor, IDOK);
                });
                TestHost::Click(settings, IDC_ADD_ITEM);
                SelectListRow(list, 4);
                host_.OnMessageBox([](HWND question) { TestHost::Click(question, IDYES); });
                TestHost::Click(settings, IDC_DELETE_ITEM);
            }
            TestHost::Click(settings, ok ? IDOK : IDCANCEL);
        });
        host_.Execute(L"Tessel.dll", 1);
        ASSERT_TRUE(host_.WaitForWindows());
    }

    // SendInput of the combination, then messages only until the host saw the action: the
    // fixed quiet time of TestHost::Press would make a thousand presses take minutes.
    bool PressUntilHandled(WORD key)
    {
        const size_t before = host_.Calls().size() + host_.Messages().size();
        const WORD keys[] = {VK_CONTROL, VK_MENU, key};
        std::vector<INPUT> inputs;
        for (int up = 0; up < 2; ++up) {
            for (int i = 0; i < 3; ++i) {
                INPUT input = {};
                input.type = INPUT_KEYBOARD;
                input.ki.wVk = keys[up != 0 ? 2 - i : i];
                input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(input.ki.wVk, MAPVK_VK_TO_VSC));
                input.ki.dwFlags = up != 0 ? KEYEVENTF_KEYUP : 0;
                inputs.push_back(input);
            }
        }
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        return host_.PumpUntil([&] { return host_.Calls().size() + host_.Messages().size() > before; }, 3000);
    }

    void Toggle()
    {
        host_.Execute(L"Tessel.dll", 0);
    }

    // Everything once, so what the platform sets up on first use is in place before counting.
    void WarmUp()
    {
        for (Depth depth : {Depth::SettingsOnly, Depth::EditCancelled, Depth::AddedAndDeleted}) {
            RunSession(true, depth);
            RunSession(false, depth);
        }
        for (int toggle = 0; toggle < WARM_TOGGLES; ++toggle) {
            Toggle();
        }
        PressUntilHandled('K');
        PressUntilHandled('J');
        host_.Pump(50);
        host_.ClearRecords();
    }

    TestHost host_;
};

TEST_F(ResourceGrowth, SessionsTogglesAndPressesLeaveHeapBlocksAndWindowsWhereTheyWere)
{
    WarmUp();
    const Resources before = Measure(host_.SettingsPath());

    for (int session = 0; session < SESSIONS; ++session) {
        const int deep = session % DEEP_SESSION_EVERY;
        RunSession(session % 2 == 0, deep == 0 ? Depth::EditCancelled : deep == 1 ? Depth::AddedAndDeleted : Depth::SettingsOnly);
    }
    host_.ClearRecords();
    for (int toggle = 0; toggle < TOGGLES; ++toggle) {
        Toggle();
    }
    EXPECT_TRUE(host_.MenuCheckState(L"Tessel.dll", 0));
    host_.ClearRecords();
    int handled = 0;
    for (int press = 0; press < PRESSES; ++press) {
        handled += PressUntilHandled(press % 2 == 0 ? 'K' : 'J') ? 1 : 0;
        if (press % 100 == 99) {
            host_.ClearRecords();
        }
    }
    EXPECT_EQ(handled, PRESSES);
    host_.Pump(50);
    host_.ClearRecords();

    const Resources after = Measure(host_.SettingsPath());
    std::printf("heap blocks %d -> %d, windows %d -> %d, list boxes %d -> %d\n", before.heapBlocks, after.heapBlocks,
                before.windows, after.windows, before.listBoxes, after.listBoxes);
    EXPECT_EQ(after.heapBlocks, before.heapBlocks);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.listBoxes, before.listBoxes);
}

TEST_F(ResourceGrowth, LoadingAndUnloadingAgainAndAgainLeavesNothingBehind)
{
    host_.Unload();
    host_.Load();
    host_.Unload();
    const Resources before = Measure(host_.SettingsPath());
    for (int cycle = 0; cycle < 100; ++cycle) {
        ASSERT_TRUE(host_.Load());
        host_.Unload();
    }
    host_.ClearRecords();
    const Resources after = Measure(host_.SettingsPath());
    std::printf("heap blocks %d -> %d, windows %d -> %d\n", before.heapBlocks, after.heapBlocks, before.windows,
                after.windows);
    EXPECT_EQ(after.heapBlocks, before.heapBlocks);
    EXPECT_EQ(after.windows, before.windows);
}

}  // namespace
