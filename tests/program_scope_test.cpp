// Bindings limited to, or kept out of, named programs, and the pause for full-screen programs, under
// Wine's X11 driver (TESSEL_DISPLAY=x11): two small programs with different file names take turns
// in front, keys are pressed through SendInput, and either the action reaches the host or the key
// reaches the program. Wine 8 reports no foreground changes, so a press here takes the road of a
// press that arrives in a program where its binding must not fire, unless the test announces the
// change itself (Recorder::Announce), as Windows would.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "tests/dialog_driver.h"
#include "tests/test_host.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

constexpr int KEY_CTRL_ALT_X = 0x0658;
constexpr int KEY_CTRL_ALT_Y = 0x0659;
constexpr UINT CTRL_ALT = MOD_CONTROL | MOD_ALT;

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.rfind(L'\\'));
}

std::wstring Binding(int index, int key, const std::wstring& command, const std::wstring& lists = L"")
{
    const std::wstring prefix = L"item" + std::to_wstring(index);
    return prefix + L"_key=" + std::to_wstring(key) + L"\r\n" + prefix + L"_command=" + command + L"\r\n" + prefix +
           L"_param=\r\n" + lists;
}

// One of the two recording programs (tests/key_recorder.cpp), closed when the test is done.
class Recorder {
public:
    Recorder(const std::wstring& folder, const std::wstring& name, bool fullScreen = false)
        : keys_(folder + L"\\" + name + L".keys")
    {
        std::wstring command = L"\"" + ProgramFolder() + L"\\recorders\\" + name + L".exe\" \"" + keys_ + L"\"" +
                               (fullScreen ? L" fullscreen" : L"");
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_)) {
            ADD_FAILURE() << "cannot start " << std::string(name.begin(), name.end());
            return;
        }
        const std::wstring title = name + L".exe";
        const ULONGLONG end = GetTickCount64() + 5000;
        while ((window_ = FindWindowW(L"KeyRecorder", title.c_str())) == nullptr && GetTickCount64() < end) {
            Sleep(20);
        }
        EXPECT_NE(window_, nullptr) << "no window of " << std::string(name.begin(), name.end());
    }
    ~Recorder()
    {
        if (process_.hProcess == nullptr) {
            return;
        }
        PostMessageW(window_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.hProcess, 3000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.hProcess, 1);
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // In front and staying there: the X server's focus events for a window just created may take
    // the foreground away again a moment later.
    bool BringToFront(TestHost& host) const
    {
        ULONGLONG since = 0;
        return host.PumpUntil(
            [&] {
                if (GetForegroundWindow() != window_) {
                    SetForegroundWindow(window_);
                    since = 0;
                    return false;
                }
                since = since != 0 ? since : GetTickCount64();
                return GetTickCount64() - since >= 300;
            },
            3000);
    }
    // What Windows reports when a window comes to the front, and Wine 8 does not.
    void Announce() const { NotifyWinEvent(EVENT_SYSTEM_FOREGROUND, window_, OBJID_WINDOW, CHILDID_SELF); }
    // The recorded key-down lines of the virtual key, with the modifiers that were down.
    std::vector<std::string> Downs(WORD key) const
    {
        const std::string bytes = FileBytes(keys_);
        const std::string wanted = "down " + std::to_string(key) + " ";
        std::vector<std::string> lines;
        for (size_t start = 0; start < bytes.size();) {
            size_t end = bytes.find('\n', start);
            end = end == std::string::npos ? bytes.size() : end;
            if (bytes.compare(start, wanted.size(), wanted) == 0) {
                lines.push_back(bytes.substr(start + wanted.size(), end - start - wanted.size()));
            }
            start = end + 1;
        }
        return lines;
    }

private:
    std::wstring keys_;
    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
};

void SendKey(WORD key, DWORD flags)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = flags;
    SendInput(1, &input, sizeof(INPUT));
}

// Holds Ctrl+Alt+key down as a user does until the press was handled (handled() holds), then lets
// go of it.
void PressHolding(TestHost& host, WORD key, const std::function<bool()>& handled)
{
    SendKey(VK_CONTROL, 0);
    SendKey(VK_MENU, 0);
    SendKey(key, 0);
    EXPECT_TRUE(host.PumpUntil(handled, 3000)) << "the press of " << key << " went nowhere";
    SendKey(key, KEYEVENTF_KEYUP);
    SendKey(VK_MENU, KEYEVENTF_KEYUP);
    SendKey(VK_CONTROL, KEYEVENTF_KEYUP);
    host.Pump(100);
}

bool Ran(const TestHost& host, const wchar_t* call)
{
    const std::vector<std::wstring> calls = host.Calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

// Registered by Tessel: a window of the test's own cannot take the combination.
bool Held(UINT key)
{
    const HWND probe = CreateWindowExW(0, L"STATIC", L"probe", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    const bool free = RegisterHotKey(probe, 1, CTRL_ALT, key) != FALSE;
    if (free) {
        UnregisterHotKey(probe, 1);
    }
    DestroyWindow(probe);
    return !free;
}

bool HeldAgain(TestHost& host, UINT key)
{
    return host.PumpUntil([key] { return Held(key); }, 3000);
}

TEST(ProgramScope, AHandEditedListDecidesWhichProgramGetsTheKeyAndTheListsAreSaved)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\n" + Binding(0, KEY_CTRL_ALT_X, L"Other.dll|5"));
    ASSERT_TRUE(host.Load());
    Recorder one(host.Folder(), L"recorder_one");
    Recorder two(host.Folder(), L"recorder_two");
    ASSERT_TRUE(two.BringToFront(host));
    host.WriteSettings(L"[hotkeys]\r\n" + Binding(0, KEY_CTRL_ALT_X, L"Other.dll|5", L"item0_except=recorder_one.exe\r\n") +
                       Binding(1, KEY_CTRL_ALT_Y, L"Other.dll|6", L"item1_only=tessel.exe;C:\\Tools\\RECORDER_TWO.exe\r\n"));
    ASSERT_TRUE(host.PumpUntil([] { return Held('Y'); }, 4000)) << "the hand edit was not taken in";

    PressHolding(host, 'X', [&] { return Ran(host, L"ExecuteCommand(Other.dll,5)"); });
    PressHolding(host, 'Y', [&] { return Ran(host, L"ExecuteCommand(Other.dll,6)"); });
    EXPECT_THAT(two.Downs('X'), IsEmpty());
    EXPECT_THAT(two.Downs('Y'), IsEmpty());

    host.ClearRecords();
    ASSERT_TRUE(one.BringToFront(host));
    PressHolding(host, 'X', [&] { return !one.Downs('X').empty(); });
    PressHolding(host, 'Y', [&] { return !one.Downs('Y').empty(); });
    host.Pump(200);
    EXPECT_THAT(one.Downs('X'), ElementsAre("ctrl=1 alt=1 shift=0 repeat=0"));
    EXPECT_THAT(one.Downs('Y'), ElementsAre("ctrl=1 alt=1 shift=0 repeat=0"));
    EXPECT_THAT(host.Calls(), IsEmpty());
    EXPECT_TRUE(HeldAgain(host, 'X'));
    EXPECT_TRUE(HeldAgain(host, 'Y'));

    host.Unload();
    EXPECT_THAT(host.ReadSettings(), HasSubstr(L"item0_except=recorder_one.exe\r\n"));
    EXPECT_THAT(host.ReadSettings(), HasSubstr(L"item1_only=tessel.exe;C:\\Tools\\RECORDER_TWO.exe\r\n"));
}

TEST(ProgramScope, AFullScreenProgramGetsTheKeyWhileThePauseIsOn)
{
    TestHost host;
    host.WriteSettings(L"[setting]\r\npause_fullscreen=1\r\n[hotkeys]\r\n" + Binding(0, KEY_CTRL_ALT_X, L"Other.dll|5"));
    ASSERT_TRUE(host.Load());
    Recorder full(host.Folder(), L"recorder_one", true);
    Recorder windowed(host.Folder(), L"recorder_two");

    ASSERT_TRUE(full.BringToFront(host));
    PressHolding(host, 'X', [&] { return !full.Downs('X').empty(); });
    host.Pump(200);
    EXPECT_THAT(full.Downs('X'), ElementsAre("ctrl=1 alt=1 shift=0 repeat=0"));
    EXPECT_THAT(host.Calls(), Not(Contains(L"ExecuteCommand(Other.dll,5)")));
    EXPECT_TRUE(HeldAgain(host, 'X'));

    ASSERT_TRUE(windowed.BringToFront(host));
    PressHolding(host, 'X', [&] { return Ran(host, L"ExecuteCommand(Other.dll,5)"); });
    EXPECT_THAT(windowed.Downs('X'), IsEmpty());
}

// A list entry with a folder names its file name. Ctrl+Alt+X for the first program and for the
// second; Ctrl+Alt+Y for the first alone, which shows whether Tessel let go of it for the second.
TEST(ProgramScope, OneCombinationRunsTheBindingOfTheProgramInFrontWhetherTheChangeWasReportedOrNot)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\n" +
                       Binding(0, KEY_CTRL_ALT_X, L"Other.dll|5", L"item0_only=C:\\Tools\\recorder_one.exe\r\n") +
                       Binding(1, KEY_CTRL_ALT_X, L"Other.dll|6", L"item1_only=recorder_two.exe\r\n") +
                       Binding(2, KEY_CTRL_ALT_Y, L"Other.dll|7", L"item2_only=recorder_one.exe\r\n"));
    Recorder one(host.Folder(), L"recorder_one");
    Recorder two(host.Folder(), L"recorder_two");
    ASSERT_TRUE(one.BringToFront(host));
    ASSERT_TRUE(host.Load());
    ASSERT_TRUE(HeldAgain(host, 'X'));
    ASSERT_TRUE(HeldAgain(host, 'Y'));

    // Unreported, the change leaves the registrations as they were, and the press chooses.
    ASSERT_TRUE(two.BringToFront(host));
    PressHolding(host, 'X', [&] { return Ran(host, L"ExecuteCommand(Other.dll,6)"); });
    EXPECT_THAT(two.Downs('X'), IsEmpty());

    // Reported, Ctrl+Alt+Y goes and Ctrl+Alt+X stays, for the second binding now.
    two.Announce();
    EXPECT_TRUE(host.PumpUntil([] { return !Held('Y'); }, 3000)) << "Ctrl+Alt+Y was kept";
    EXPECT_TRUE(Held('X'));
    host.ClearRecords();
    PressHolding(host, 'X', [&] { return Ran(host, L"ExecuteCommand(Other.dll,6)"); });
    EXPECT_THAT(two.Downs('X'), IsEmpty());
    ASSERT_TRUE(one.BringToFront(host));
    one.Announce();
    EXPECT_TRUE(HeldAgain(host, 'Y'));
    EXPECT_TRUE(HeldAgain(host, 'X'));
    host.ClearRecords();
    PressHolding(host, 'X', [&] { return Ran(host, L"ExecuteCommand(Other.dll,5)"); });
    EXPECT_THAT(one.Downs('X'), IsEmpty());
}

// The key goes to the program as the keyboard sent it: the first press is no repeat, and the key
// held down repeats.
TEST(ProgramScope, AKeyHandedOnArrivesAsAFirstPressAndItsRepeatsAsRepeats)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\n" + Binding(0, KEY_CTRL_ALT_X, L"Other.dll|5", L"item0_except=recorder_one.exe\r\n"));
    ASSERT_TRUE(host.Load());
    Recorder one(host.Folder(), L"recorder_one");
    ASSERT_TRUE(one.BringToFront(host));

    bool repeated = false;
    PressHolding(host, 'X', [&] {
        if (!repeated && !one.Downs('X').empty()) {
            SendKey('X', 0);  // what the keyboard sends while the key stays down
            repeated = true;
        }
        return one.Downs('X').size() == 2;
    });
    EXPECT_THAT(one.Downs('X'), ElementsAre("ctrl=1 alt=1 shift=0 repeat=0", "ctrl=1 alt=1 shift=0 repeat=1"));
    EXPECT_THAT(host.Calls(), Not(Contains(L"ExecuteCommand(Other.dll,5)")));
    EXPECT_TRUE(HeldAgain(host, 'X'));
}

// The menu of "..." lists the programs with a window, each once, by file name and title; the one
// chosen joins the names, once however often it is chosen.
TEST(ProgramScope, TheEditorOffersTheProgramsThatHaveAWindow)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\n" + Binding(0, KEY_CTRL_ALT_X, L"Other.dll|5", L"item0_only=word.exe\r\n"));
    ASSERT_TRUE(host.Load());
    Recorder two(host.Folder(), L"recorder_two");
    std::vector<std::wstring> offered;
    std::wstring names;
    host.OnWindow(L"#32770", L"Tesselの設定", [&](HWND settings) {
        host.OnWindow(L"#32770", L"アイテム編集", [&](HWND editor) {
            const auto chooseRecorderTwo = [&](HWND menuWindow) {
                const auto menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
                int chosen = -1;
                offered.clear();
                for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                    wchar_t text[MAX_PATH] = {};
                    GetMenuStringW(menu, static_cast<UINT>(i), text, MAX_PATH, MF_BYPOSITION);
                    offered.push_back(text);
                    chosen = offered.back().rfind(L"recorder_two.exe\t", 0) == 0 ? i : chosen;
                }
                for (int i = 0; i <= chosen; ++i) {
                    PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
                }
                PostMessageW(menuWindow, WM_KEYDOWN, chosen >= 0 ? VK_RETURN : VK_ESCAPE, 0);
            };
            for (int time = 0; time < 2; ++time) {
                host.OnWindow(L"#32768", nullptr, chooseRecorderTwo);
                TestHost::Click(editor, IDC_CHOOSE_PROGRAM);
            }
            names = TestHost::ItemText(editor, IDC_PLACE_PROGRAMS);
            TestHost::Click(editor, IDCANCEL);
        });
        DoubleClickListRow(GetDlgItem(settings, IDC_HOTKEY_LIST), 0);
        TestHost::Click(settings, IDCANCEL);
    });
    host.Execute(L"Tessel.dll", 1);
    EXPECT_TRUE(host.WaitForWindows());
    EXPECT_THAT(offered, Contains(L"recorder_two.exe\trecorder_two.exe"));
    EXPECT_EQ(std::count_if(offered.begin(), offered.end(),
                            [](const std::wstring& text) { return text.rfind(L"recorder_two.exe", 0) == 0; }),
              1);
    EXPECT_EQ(names, L"word.exe;recorder_two.exe");
}

}  // namespace
