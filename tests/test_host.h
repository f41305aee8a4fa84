// TestHost: the stand-in host as a test fixture. One per test; it gives the test a fresh folder
// with Tessel.dll and Sample.dll copied in, the host's hidden main window, and a record of every
// call the plug-ins make into the host.
//
//     TEST(HotkeyPress, ReferenceToAnotherPluginRunsItThroughTheHost)
//     {
//         TestHost host;
//         host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Sample.dll|5\r\n");
//         host.Load({L"Tessel.dll", L"Sample.dll"});
//         host.Press({VK_CONTROL, VK_MENU, 'K'});
//         EXPECT_THAT(host.Calls(), Contains(L"ExecuteCommand(Sample.dll,5)"));
//         EXPECT_THAT(host.Logs(), Contains(L"Sample.dll|5"));    // Sample ran it
//     }
//
// Modal dialogs run their own message loops, so a test acts on them from inside those loops:
// OnWindow registers an action for a window that is yet to appear, then the test starts what
// opens it. Actions chain: an action that opens the next dialog registers its watcher first.
//
//     host.OnWindow(L"#32770", L"Tesselの設定", [&](HWND settings) {
//         host.OnWindow(L"#32770", L"アイテム追加", [&](HWND editor) {
//             TestHost::Click(editor, IDCANCEL);
//         });
//         TestHost::Click(settings, IDC_ADD_ITEM);   // returns once the editor has closed
//         TestHost::Click(settings, IDOK);
//     });
//     host.Execute(L"Tessel.dll", 1);                // posts the request
//     EXPECT_TRUE(host.WaitForWindows());            // pumps: the dialogs run in here
//
// A watcher that finds nothing within its time fails the test, naming the dialogs it saw, and
// closes this thread's dialogs so the test goes on.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "host/host_record.h"
#include "plugin/host_abi.h"
#include "tests/test_files.h"

class TestHost {
public:
    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // The test's own folder (beside the test program, named after the test), without a slash.
    const std::wstring& Folder() const { return folder_; }
    std::wstring SettingsPath() const;  // Tessel.ini in Folder()
    // UTF-16LE with a byte order mark, so Japanese survives the private-profile functions.
    void WriteSettings(const std::wstring& text) const;
    void WriteSettingsBytes(const std::string& bytes) const;
    // The file's text: UTF-16LE when it starts with the mark, else its bytes as ANSI.
    std::wstring ReadSettings() const;
    bool SettingsExist() const;

    // Loads the plug-ins from Folder() as the host does (InitPluginInfo, then Init). False, with a
    // test failure, when one does not load.
    bool Load(std::vector<std::wstring> fileNames = {L"Tessel.dll"});
    // TTBEvent_Unload then FreeLibrary for each, in load order; what each Unload answered.
    std::vector<BOOL> Unload();
    HMODULE Module(const std::wstring& fileName) const;
    // The plug-in's own export, for tests that call an event directly.
    FARPROC Export(const std::wstring& fileName, const char* name) const;
    // The plug-in's TTBEvent_Execute, as the host's menus call it; its result.
    BOOL Execute(const std::wstring& fileName, int32_t commandId);

    HWND MainWindow() const;
    // WM_CLOSE to the main window unloads every plug-in (only recorded otherwise).
    void SetCloseUnloads(bool unload);

    std::vector<std::wstring> Calls() const;
    std::vector<HostMessage> Messages() const;
    // The texts plug-ins wrote with TTBPlugin_WriteLog, in order.
    std::vector<std::wstring> Logs() const;
    void ClearRecords();
    // The check mark the host shows for the plug-in's command (TTBPlugin_SetMenuProperty, 8).
    bool MenuCheckState(const std::wstring& fileName, int32_t commandId) const;
    // GetAllPluginInfo then answers this array (null included) as a careless host would.
    void SetPluginArray(PluginInfo** array);
    // Plug-in lists handed out by GetAllPluginInfo and not yet handed back.
    int OutstandingPluginArrays() const;

    // Every key down in order, then up in reverse order (SendInput); then pumps until idle.
    void Press(std::initializer_list<WORD> keys);
    // Dispatches this thread's messages for the given time.
    void Pump(int milliseconds);
    // Dispatches messages until the predicate holds (true) or the time is up (false).
    bool PumpUntil(const std::function<bool()>& predicate, int timeoutMs = 3000);

    // Runs the action once a top-level window of this class and caption exists (caption null:
    // any). Polled from a thread timer, so it works inside modal loops.
    void OnWindow(const wchar_t* className, const wchar_t* caption, std::function<void(HWND)> action,
                  int timeoutMs = 5000);
    // The same for a message box of this thread (whatever its caption).
    void OnMessageBox(std::function<void(HWND)> action, int timeoutMs = 5000);
    // Pumps until every watcher has found its window or given up; false if any gave up.
    bool WaitForWindows(int timeoutMs = 10000);

    // Helpers for actions on dialogs.
    static std::wstring WindowText(HWND window);
    static std::wstring ItemText(HWND dialog, int id);
    static std::wstring MessageBoxText(HWND messageBox);
    // WM_COMMAND with the control's id and BN_CLICKED, sent: returns when the dialog has
    // handled it (after any dialog the click opens has closed).
    static void Click(HWND dialog, int id);
    // Captions of this thread's visible dialogs (#32770), innermost last.
    static std::vector<std::wstring> DialogCaptions();

private:
    std::wstring folder_;
};

// A binding as the settings file stores it; a list it lacks is empty.
struct StoredBinding {
    unsigned key;
    std::wstring command;
    std::wstring param;
    std::wstring only = {};
    std::wstring except = {};
    bool operator==(const StoredBinding& other) const
    {
        return key == other.key && command == other.command && param == other.param && only == other.only &&
               except == other.except;
    }
};
void PrintTo(const StoredBinding& binding, std::ostream* out);
// The bindings as the platform's key-by-key reading finds them, up to the first key reading 0,
// each list whole: what the next start, or an older version of the plug-in, reads from the file.
std::vector<StoredBinding> ReadKeyByKey(const std::wstring& path);
// The settings file of the plug-in's code when it is linked into this program: the program's
// name with ".ini".
std::wstring ProgramSettingsPath();
// Top-level windows of this class, whichever thread or process owns them.
int CountWindows(const wchar_t* className);

bool operator==(const HostMessage& left, const HostMessage& right);
void PrintTo(const HostMessage& message, std::ostream* out);
