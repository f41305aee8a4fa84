// Faults of the platform under the plug-in: a settings file it cannot write, a combination that
// another window holds when the plug-in registers it, and a host main window that is gone when
// a colon command fires. The plug-in stays whole and loses nothing it can keep; of these it tells
// only a save that failed where a window may be shown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/main_window.h"
#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "settings/settings.h"
#include "host/host_driving.h"
#include "res/resource_ids.h"
#include "tests/dialog_driver.h"
#include "tests/import_patch.h"
#include "tests/in_process_settings.h"
#include "tests/test_host.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const wchar_t TWO_BINDINGS[] =
    L"[setting]\r\nenable=1\r\ncolour=blue\r\n[hotkeys]\r\n"
    L"item0_key=1611\r\nitem0_command=Other.dll|1\r\nitem0_param=\r\n"
    L"item1_key=1610\r\nitem1_command=Other.dll|2\r\nitem1_param=\r\n";

// The settings file made one the platform refuses to write: read-only, and held open elsewhere
// without leave to write, since a Wine run by root writes read-only files all the same.
class UnwritableFile {
public:
    explicit UnwritableFile(const std::wstring& path) : path_(path)
    {
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
        holder_ = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
        EXPECT_NE(holder_, INVALID_HANDLE_VALUE);
        const HANDLE writer = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "the settings file can still be written";
        if (writer != INVALID_HANDLE_VALUE) {
            CloseHandle(writer);
        }
    }
    ~UnwritableFile()
    {
        if (holder_ != INVALID_HANDLE_VALUE) {
            CloseHandle(holder_);
        }
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    UnwritableFile(const UnwritableFile&) = delete;
    UnwritableFile& operator=(const UnwritableFile&) = delete;

private:
    std::wstring path_;
    HANDLE holder_;
};

TEST(UnwritableSettings, AtUnloadTheFileIsLeftAsItWasAndNothingBreaks)
{
    TestHost host;
    host.WriteSettings(TWO_BINDINGS);
    ASSERT_TRUE(host.Load());
    const std::string before = FileBytes(host.SettingsPath());
    {
        UnwritableFile unwritable(host.SettingsPath());
        // A change that cannot be saved: told at the switch, and silently not saved at unload.
        host.OnMessageBox([](HWND told) { TestHost::Click(told, IDOK); });
        host.Execute(L"Tessel.dll", 0);
        ASSERT_TRUE(host.WaitForWindows());
        EXPECT_THAT(host.Unload(), ElementsAre(TRUE));
    }
    EXPECT_EQ(FileBytes(host.SettingsPath()), before);
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
    EXPECT_EQ(CountWindows(L"TesselClass"), 0);
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));

    // Started again, it has every binding.
    ASSERT_TRUE(host.Load());
    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    host.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,1)", L"ExecuteCommand(Other.dll,2)"));
}

TEST(UnwritableSettings, AFileThatCannotBeCreatedInAReadOnlyFolderIsSkippedSilently)
{
    TestHost host;
    // The file's name is taken by a folder, so no file of that name can be created.
    ASSERT_TRUE(CreateDirectoryW(host.SettingsPath().c_str(), nullptr));
    SetFileAttributesW(host.Folder().c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(host.Load());
    EXPECT_TRUE(host.MenuCheckState(L"Tessel.dll", 0));
    host.Execute(L"Tessel.dll", 0);
    EXPECT_THAT(host.Unload(), ElementsAre(TRUE));
    EXPECT_EQ(GetFileAttributesW(host.SettingsPath().c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
    EXPECT_EQ(CountWindows(L"TesselClass"), 0);
    SetFileAttributesW(host.Folder().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// In-process: the module is this program, so the settings file is the program's name with ".ini".
class UnwritableSettingsInProcess : public InProcessSettings {};

TEST_F(UnwritableSettingsInProcess, FailedSavesLeaveTheTableAndTheFlagAsTheyWere)
{
    std::vector<HotkeyItem> items(3);
    for (size_t i = 0; i < items.size(); ++i) {
        items[i].key = static_cast<KeyCode>(0x0641 + i);
        CopyText(items[i].command, TEXT_CAPACITY, (L"command" + std::to_wstring(i)).c_str());
        CopyText(items[i].param, TEXT_CAPACITY, L"param");
        AppendHotkeyItem(liveTable, &items[i]);
    }
    enabledFlag = 0;
    WritePrivateProfileStringW(L"hotkeys", L"item0_key", L"66", path_.c_str());
    const std::string before = FileBytes(path_);
    {
        UnwritableFile unwritable(path_);
        SaveLive();
    }
    EXPECT_EQ(FileBytes(path_), before);
    EXPECT_EQ(enabledFlag, 0);
    ASSERT_EQ(GetHotkeyCount(liveTable), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::memcmp(GetHotkeyItem(liveTable, i), &items[static_cast<size_t>(i)], sizeof(HotkeyItem)), 0) << i;
    }
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));

    // Once the file can be written again, the next save writes all of it.
    SaveLive();
    EXPECT_EQ(GetPrivateProfileIntW(L"hotkeys", L"item2_key", 0, path_.c_str()), 0x0643u);
    EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 1, path_.c_str()), 0u);
}

// A window of the test's own that can take a combination from the plug-in.
class OtherWindow {
public:
    OtherWindow() : window_(CreateWindowExW(0, L"STATIC", L"other", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr)) {}
    ~OtherWindow() { DestroyWindow(window_); }
    OtherWindow(const OtherWindow&) = delete;
    OtherWindow& operator=(const OtherWindow&) = delete;

    bool Hold(UINT modifiers, UINT key) { return RegisterHotKey(window_, 1, modifiers, key) != FALSE; }
    void Release() { UnregisterHotKey(window_, 1); }

private:
    HWND window_;
};

TEST(HeldCombination, TakenWhileTheSettingsAreOpenThatBindingStaysInertAndTheOthersWork)
{
    TestHost host;
    host.WriteSettings(TWO_BINDINGS);
    ASSERT_TRUE(host.Load());
    OtherWindow other;
    bool held = false;
    host.OnWindow(L"#32770", L"Tesselの設定", [&](HWND settings) {
        held = other.Hold(MOD_CONTROL | MOD_ALT, 'K');
        TestHost::Click(settings, IDCANCEL);
    });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    ASSERT_TRUE(held);

    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    host.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,2)"));

    // Once released, the next registration takes it.
    other.Release();
    host.Execute(L"Tessel.dll", 0);
    host.Execute(L"Tessel.dll", 0);
    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,1)"));
}

TEST(HeldCombination, TakenWhileSwitchedOffThatBindingStaysInertWhenSwitchedOn)
{
    TestHost host;
    host.WriteSettings(TWO_BINDINGS);
    ASSERT_TRUE(host.Load());
    host.Execute(L"Tessel.dll", 0);
    OtherWindow other;
    ASSERT_TRUE(other.Hold(MOD_CONTROL | MOD_ALT, 'J'));
    host.Execute(L"Tessel.dll", 0);
    EXPECT_TRUE(host.MenuCheckState(L"Tessel.dll", 0));

    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'J'});
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,1)"));
    host.Unload();
    EXPECT_NE(host.ReadSettings().find(L"item1_command=Other.dll|2"), std::wstring::npos);
}

// ----- the shell, watched ---------------------------------------------------------------------

struct ShellRequest {
    std::wstring file;
    std::wstring parameters;
    bool operator==(const ShellRequest& other) const { return file == other.file && parameters == other.parameters; }
};

void PrintTo(const ShellRequest& request, std::ostream* out)
{
    *out << "{" << ::testing::PrintToString(request.file) << ", " << ::testing::PrintToString(request.parameters) << "}";
}

std::vector<ShellRequest> shellRequests;

// Stands in for ShellExecuteW in the plug-in's imports: records the request and fails it as the
// shell does for a file it cannot find.
HINSTANCE WINAPI RecordShellRequest(HWND, LPCWSTR, LPCWSTR file, LPCWSTR parameters, LPCWSTR, INT)
{
    shellRequests.push_back({file != nullptr ? file : L"(null)", parameters != nullptr ? parameters : L"(null)"});
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_FNF));
}

// Stands in for GetProcAddress in the plug-in's imports: the shell's ShellExecuteW, which the
// plug-in looks up on its first use, is handed out as RecordShellRequest.
FARPROC WINAPI WatchingShellGetProcAddress(HMODULE module, LPCSTR name)
{
    if (!IS_INTRESOURCE(name) && std::strcmp(name, "ShellExecuteW") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RecordShellRequest));
    }
    return GetProcAddress(module, name);
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.rfind(L'\\'));
}

TEST(HostWindowGone, ColonCommandsFallThroughToTheShellAndTheOtherBindingsStillWork)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\n"
                       L"item0_key=1611\r\nitem0_command=:exit\r\nitem0_param=\r\n"
                       L"item1_key=1610\r\nitem1_command=:systemmenu\r\nitem1_param=p\r\n"
                       L"item2_key=1612\r\nitem2_command=:ToolMenu\r\nitem2_param=\r\n"
                       L"item3_key=1613\r\nitem3_command=Other.dll|5\r\nitem3_param=\r\n");
    ASSERT_TRUE(host.Load());
    ASSERT_TRUE(ReplaceImport(host.Module(L"Tessel.dll"), "kernel32.dll", "GetProcAddress",
                              reinterpret_cast<const void*>(&WatchingShellGetProcAddress)));
    shellRequests.clear();
    DestroyHostMainWindow();
    host.ClearRecords();

    host.Press({VK_CONTROL, VK_MENU, 'K'});
    host.Press({VK_CONTROL, VK_MENU, 'J'});
    host.Press({VK_CONTROL, VK_MENU, 'L'});
    host.Press({VK_CONTROL, VK_MENU, 'M'});
    const std::wstring folder = ProgramFolder() + L"\\";
    EXPECT_THAT(shellRequests, ElementsAre(ShellRequest{L":exit", L""}, ShellRequest{folder + L":exit", L""},
                                           ShellRequest{L":systemmenu", L"p"}, ShellRequest{folder + L":systemmenu", L"p"},
                                           ShellRequest{L":ToolMenu", L""}, ShellRequest{folder + L":ToolMenu", L""}));
    EXPECT_THAT(host.Messages(), IsEmpty());
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,5)"));
    EXPECT_THAT(host.Unload(), ElementsAre(TRUE));
}

int beeps;

void WINAPI CountBeep(UINT)
{
    ++beeps;
}

// Stands in for LoadLibraryExW in the plug-in's imports: no library can be found.
HMODULE WINAPI MissingLibrary(LPCWSTR, HANDLE, DWORD)
{
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

TEST(SystemLibraryMissing, WhatNeedsTheShellOrTheFileDialogBeepsAndTheRestWorks)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\n"
                       L"item0_key=1611\r\nitem0_command=notepad.exe\r\nitem0_param=memo.txt\r\n"
                       L"item1_key=1610\r\nitem1_command=Other.dll|2\r\nitem1_param=\r\n");
    ASSERT_TRUE(host.Load());
    const HMODULE tessel = host.Module(L"Tessel.dll");
    ASSERT_TRUE(ReplaceImport(tessel, "kernel32.dll", "LoadLibraryExW", reinterpret_cast<const void*>(&MissingLibrary)));
    ASSERT_TRUE(ReplaceImport(tessel, "user32.dll", "MessageBeep", reinterpret_cast<const void*>(&CountBeep)));
    beeps = 0;
    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    host.Press({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_EQ(beeps, 1);
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,2)"));

    // The editor's "file..." shows no dialog, beeps, and keeps the command as it was.
    std::wstring command;
    host.OnWindow(L"#32770", L"Tesselの設定", [&](HWND settings) {
        SelectListRow(GetDlgItem(settings, IDC_HOTKEY_LIST), 0);
        host.OnWindow(L"#32770", L"アイテム編集", [&](HWND editor) {
            TestHost::Click(editor, IDC_CHOOSE_FILE);
            command = TestHost::WindowText(GetDlgItem(editor, IDC_COMMAND));
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDC_EDIT_ITEM);
        TestHost::Click(settings, IDCANCEL);
    });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    EXPECT_EQ(command, L"notepad.exe");
    EXPECT_EQ(beeps, 2);
    EXPECT_THAT(host.Unload(), ElementsAre(TRUE));
}

// Stands in for HeapAlloc in the plug-in's imports: refuses the blocks the predicate names.
bool (*refuseBlock)(SIZE_T bytes);

LPVOID WINAPI RefusingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    return refuseBlock(bytes) ? nullptr : HeapAlloc(heap, flags, bytes);
}

// Starts the plug-in while its heap allocations are refused as the predicate says, then gives
// it back the real HeapAlloc. The library is loaded first, so its imports can be changed before
// Init reads the settings; the caller frees the returned reference.
HMODULE LoadShortOfMemory(TestHost& host, bool (*refuse)(SIZE_T bytes))
{
    const HMODULE early = LoadLibraryW((host.Folder() + L"\\Tessel.dll").c_str());
    EXPECT_NE(early, nullptr);
    refuseBlock = refuse;
    EXPECT_TRUE(ReplaceImport(early, "kernel32.dll", "HeapAlloc", reinterpret_cast<const void*>(&RefusingHeapAlloc)));
    EXPECT_TRUE(host.Load());
    EXPECT_TRUE(RestoreImport(early, "kernel32.dll", "HeapAlloc"));
    return early;
}

TEST(NoMemory, BindingsThatCouldNotBeReadStayInTheFileAtUnload)
{
    for (bool (*refuse)(SIZE_T) : {+[](SIZE_T bytes) { return bytes != sizeof(HotkeyItem); },     // the section text
                                   +[](SIZE_T bytes) { return bytes == sizeof(HotkeyItem); }}) {  // every binding's copy
        TestHost host;
        host.WriteSettings(TWO_BINDINGS);
        const HMODULE early = LoadShortOfMemory(host, refuse);
        host.ClearRecords();
        host.Press({VK_CONTROL, VK_MENU, 'K'});
        EXPECT_THAT(host.Calls(), IsEmpty());
        host.Unload();
        FreeLibrary(early);
        const std::wstring saved = host.ReadSettings();
        EXPECT_NE(saved.find(L"item0_command=Other.dll|1"), std::wstring::npos) << ToUtf8(saved);
        EXPECT_NE(saved.find(L"item1_command=Other.dll|2"), std::wstring::npos) << ToUtf8(saved);
    }
}

}  // namespace
