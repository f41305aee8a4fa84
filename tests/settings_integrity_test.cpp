// The user's bindings are never lost or altered: not by the file's code page, by the reading's
// trimming of blanks and quotes, by a file another program holds at start-up, by a shortage of
// memory or window handles, by a host that dies before it unloads, or by a platform that caps a
// profile section. Runs twice: under the machine's code page and under Japanese (932).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "host/host_driving.h"
#include "hotkeys/hotkey_table.h"
#include "hotkeys/settings_file.h"
#include "res/resource_ids.h"
#include "tests/dialog_driver.h"
#include "tests/import_patch.h"
#include "tests/in_process_settings.h"
#include "tests/test_host.h"

using ::testing::ElementsAreArray;

namespace {

constexpr wchar_t SETTINGS_CAPTION[] = L"Tesselの設定";
constexpr size_t SECTION_CAP = 32767;

using Binding = StoredBinding;

std::string AnsiFile(const std::vector<Binding>& bindings, const std::string& before = "")
{
    std::string text = before + "[hotkeys]\r\n";
    for (size_t i = 0; i < bindings.size(); ++i) {
        const std::string prefix = "item" + std::to_string(i);
        text += prefix + "_key=" + std::to_string(bindings[i].key) + "\r\n";
        text += prefix + "_command=" + ToUtf8(bindings[i].command) + "\r\n";
        text += prefix + "_param=" + ToUtf8(bindings[i].param) + "\r\n";
    }
    return text;
}

std::wstring UnicodeFile(const std::vector<Binding>& bindings, int enabled = 1)
{
    const std::string ansi = AnsiFile(bindings, "[setting]\r\nenable=" + std::to_string(enabled) + "\r\n");
    return std::wstring(ansi.begin(), ansi.end());
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

bool StartsWithUnicodeMark(const std::string& bytes)
{
    return bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
}

// Bindings whose Ctrl+Alt+<letter> keys and plain texts every code page holds.
std::vector<Binding> PlainBindings(int count)
{
    std::vector<Binding> bindings;
    for (int i = 0; i < count; ++i) {
        bindings.push_back({0x0600u | (0x41u + i % 26), L"C:\\Tools\\program" + std::to_wstring(i) + L".exe",
                            L"--option " + std::to_wstring(i)});
    }
    return bindings;
}

// ----- in-process: the settings file beside this program -----------------------------------

class SettingsTexts : public InProcessSettings {
protected:
    void Save(const std::vector<Binding>& bindings)
    {
        ClearHotkeyTable(liveTable);
        for (const Binding& binding : bindings) {
            HotkeyItem item = {};
            item.key = static_cast<KeyCode>(binding.key);
            CopyText(item.command, TEXT_CAPACITY, binding.command.c_str());
            CopyText(item.param, TEXT_CAPACITY, binding.param.c_str());
            AppendHotkeyItem(liveTable, &item);
        }
        SaveHotkeyItems();
        SaveEnabledFlag();
    }
    std::vector<Binding> Reload()
    {
        ClearHotkeyTable(liveTable);
        LoadHotkeyItems();
        std::vector<Binding> bindings;
        for (int i = 0; i < GetHotkeyCount(liveTable); ++i) {
            const HotkeyItem* item = GetHotkeyItem(liveTable, i);
            bindings.push_back({item->key, item->command, item->param});
        }
        return bindings;
    }
};

const std::vector<Binding> UNICODE_BINDINGS = {
    {0x0641, L"C:\\ツール\\Zoë\\😀.exe", L"한국어 ☃"},
    {0x0642, L"notepad.exe", L"C:\\Users\\Łukasz\\日本語.txt"},
};

TEST_F(SettingsTexts, ANewFileIsUnicodeAndKeepsEveryCharacter)
{
    Save(UNICODE_BINDINGS);
    EXPECT_TRUE(StartsWithUnicodeMark(FileBytes(path_)));
    EXPECT_EQ(ReadKeyByKey(path_), UNICODE_BINDINGS);
    EXPECT_EQ(Reload(), UNICODE_BINDINGS);
}

TEST_F(SettingsTexts, AnAnsiFileIsConvertedForTextsItsCodePageLacksAndKeepsItsOtherSettings)
{
    WriteFileBytes(path_, "[setting]\r\nenable=0\r\ncolour=blue\r\n[other]\r\nkey=kept value\r\n" + AnsiFile(PlainBindings(1)));
    Save(UNICODE_BINDINGS);
    EXPECT_TRUE(StartsWithUnicodeMark(FileBytes(path_)));
    EXPECT_EQ(ReadKeyByKey(path_), UNICODE_BINDINGS);
    wchar_t value[64];
    GetPrivateProfileStringW(L"setting", L"colour", L"", value, 64, path_.c_str());
    EXPECT_STREQ(value, L"blue");
    GetPrivateProfileStringW(L"other", L"key", L"", value, 64, path_.c_str());
    EXPECT_STREQ(value, L"kept value");
}

TEST_F(SettingsTexts, AnAnsiFileWhoseCodePageHoldsEveryTextStaysAnsi)
{
    WriteFileBytes(path_, "[setting]\r\nenable=1\r\n" + AnsiFile(PlainBindings(1)));
    Save(PlainBindings(3));
    EXPECT_FALSE(StartsWithUnicodeMark(FileBytes(path_)));
    EXPECT_EQ(ReadKeyByKey(path_), PlainBindings(3));
}

TEST_F(SettingsTexts, QuotesAndBlanksAtTheEndsComeBackExactly)
{
    const std::vector<Binding> bindings = {
        {0x0641, L"\"C:\\My Files\\a.exe\"", L"\"a b\" \"c d\""},
        {0x0642, L" lead", L"trail\t"},
        {0x0643, L"'single'", L"\"\""},
        {0x0644, L"\"", L"  "},
        {0x0645, L"'" + std::wstring(256, L'x') + L"'", L" " + std::wstring(257, L'y')},
    };
    Save(bindings);
    EXPECT_EQ(ReadKeyByKey(path_), bindings);
    EXPECT_EQ(Reload(), bindings);
}

// ----- through the stand-in host ------------------------------------------------------------

// Holds the file open without sharing, as a backup tool or an editor may, until released.
class FileHolder {
public:
    explicit FileHolder(const std::wstring& path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
    }
    ~FileHolder() { Release(); }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    void Release()
    {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE handle_;
};

TEST(UnreadableFile, AFileHeldAtStartUpIsNeverOverwrittenAndIsTakenInOnceFree)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(3), 0));
    const std::string before = FileBytes(host.SettingsPath());
    {
        FileHolder holder(host.SettingsPath());
        const ULONGLONG start = GetTickCount64();
        ASSERT_TRUE(host.Load());
        EXPECT_LT(GetTickCount64() - start, 3000u);
        host.Execute(L"Tessel.dll", 0);
    }
    EXPECT_EQ(FileBytes(host.SettingsPath()), before);
    host.Execute(L"Tessel.dll", 0);  // reads the freed file first: the stored "off" turns on
    host.Unload();
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), PlainBindings(3));
    EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 0, host.SettingsPath().c_str()), 1u);
}

TEST(UnreadableFile, AFileHeldForAMomentIsWaitedFor)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(3)));
    FileHolder holder(host.SettingsPath());
    std::thread releaser([&holder] {
        Sleep(300);
        holder.Release();
    });
    ASSERT_TRUE(host.Load());
    releaser.join();
    host.Unload();
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), PlainBindings(3));
}

// Presses OK in the settings dialog if the session shows it; false when it was refused.
bool ConfirmSettingsIfShown(TestHost& host)
{
    static bool confirmed;
    confirmed = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        const HWND dialog = FindWindowW(L"#32770", SETTINGS_CAPTION);
        if (dialog != nullptr && !confirmed) {
            confirmed = true;
            TestHost::Click(dialog, IDOK);
        }
    });
    host.Execute(L"Tessel.dll", 1);
    host.PumpUntil([] { return confirmed; }, 400);
    KillTimer(nullptr, timer);
    return confirmed;
}

// Stand-ins for the plug-in's HeapAlloc and CreateWindowExW: the refused-th call of its kind
// fails, counting from 1; 0 refuses none. Calls of each kind are counted.
int heapRefused;
int heapCalls;
int listBoxRefused;
int listBoxCalls;

LPVOID WINAPI CountingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    return ++heapCalls == heapRefused ? nullptr : HeapAlloc(heap, flags, bytes);
}

HWND WINAPI CountingCreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR name, DWORD style, int x, int y, int width,
                                    int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter)
{
    if (!IS_INTRESOURCE(className) && lstrcmpiW(className, L"LISTBOX") == 0 && ++listBoxCalls == listBoxRefused) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateWindowExW(exStyle, className, name, style, x, y, width, height, parent, menu, instance, parameter);
}

// Loads the library first, so that its imports are the stand-ins from the start; the caller
// frees the returned reference after the unload.
HMODULE LoadWithStandIns(TestHost& host, std::initializer_list<std::wstring> fileNames = {L"Tessel.dll"})
{
    const HMODULE early = LoadLibraryW((host.Folder() + L"\\Tessel.dll").c_str());
    EXPECT_TRUE(ReplaceImport(early, "kernel32.dll", "HeapAlloc", reinterpret_cast<const void*>(&CountingHeapAlloc)));
    EXPECT_TRUE(ReplaceImport(early, "user32.dll", "CreateWindowExW", reinterpret_cast<const void*>(&CountingCreateWindowExW)));
    EXPECT_TRUE(host.Load(fileNames));
    return early;
}

void RefuseNothing()
{
    heapRefused = heapCalls = listBoxRefused = listBoxCalls = 0;
}

TEST(ShortOfMemory, ASettingsSessionWhoseCopyLostAnEntryIsRefusedAndNothingIsLost)
{
    for (int* refused : {&heapRefused, &listBoxRefused}) {
        TestHost host;
        host.WriteSettings(UnicodeFile(PlainBindings(3)));
        RefuseNothing();
        const HMODULE early = LoadWithStandIns(host);
        // The copy's second record, or the copy's list box.
        *refused = refused == &heapRefused ? heapCalls + 2 : listBoxCalls + 1;
        EXPECT_FALSE(ConfirmSettingsIfShown(host));
        RefuseNothing();
        host.Unload();
        FreeLibrary(early);
        EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), PlainBindings(3));
    }
}

// Refuses the k-th allocation (or list box) of every kind the plug-in makes, for k = 1, 2, ...
// until a run makes no refusal, through a start, a settings session ended with OK and an unload.
TEST(ShortOfMemory, NoSingleRefusalAnywhereLosesAStoredBinding)
{
    const std::vector<Binding> stored = PlainBindings(3);
    for (int* refused : {&heapRefused, &listBoxRefused}) {
        const int* calls = refused == &heapRefused ? &heapCalls : &listBoxCalls;
        int k = 1;
        for (;; ++k) {
            TestHost host;
            host.WriteSettings(UnicodeFile(stored));
            RefuseNothing();
            *refused = k;
            const HMODULE early = LoadWithStandIns(host);
            ConfirmSettingsIfShown(host);
            host.Unload();
            FreeLibrary(early);
            const bool refusedOne = *calls >= k;
            RefuseNothing();
            ASSERT_EQ(ReadKeyByKey(host.SettingsPath()), stored) << "refusing call " << k;
            if (!refusedOne) {
                break;
            }
        }
        std::printf("%s: refused each of the first %d calls in turn\n",
                    refused == &heapRefused ? "HeapAlloc" : "list boxes", k - 1);
        EXPECT_GT(k, 2);
    }
}

TEST(SavedWhenConfirmed, OkInTheSettingsDialogWritesTheFileAtOnce)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    ASSERT_TRUE(host.Load());
    host.Execute(L"Tessel.dll", 0);  // off, then a change of bindings confirmed with OK
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&host](HWND dialog) {
        SelectListRow(GetDlgItem(dialog, IDC_HOTKEY_LIST), 0);
        host.OnMessageBox([](HWND question) { TestHost::Click(question, IDYES); });
        TestHost::Click(dialog, IDC_DELETE_ITEM);
        TestHost::Click(dialog, IDOK);
    });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    const std::vector<Binding> second = {PlainBindings(2)[1]};
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), second);
    EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 1, host.SettingsPath().c_str()), 0u);
    host.Unload();
}

TEST(SavedWhenConfirmed, TheEndOfTheWindowsSessionWritesTheFileAndIsNeverHeldUp)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    ASSERT_TRUE(host.Load());
    host.Execute(L"Tessel.dll", 0);
    const HWND window = FindWindowW(L"TesselClass", nullptr);
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    SendMessageW(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);  // the logoff was called off
    EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 1, host.SettingsPath().c_str()), 1u);
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 1, host.SettingsPath().c_str()), 0u);
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), PlainBindings(2));
    host.Unload();
}

// Stand-ins for a platform that hands out and takes in no more of a section than its documented
// limit, cutting the last line where the limit falls.
DWORD WINAPI CappedGetSection(LPCWSTR section, LPWSTR buffer, DWORD size, LPCWSTR path)
{
    std::vector<wchar_t> whole(1 << 22);
    const DWORD length = GetPrivateProfileSectionW(section, whole.data(), static_cast<DWORD>(whole.size()), path);
    const DWORD kept = static_cast<DWORD>(std::min<size_t>({length, SECTION_CAP - 2, size - 2}));
    std::memcpy(buffer, whole.data(), kept * sizeof(wchar_t));
    buffer[kept] = L'\0';
    buffer[kept + 1] = L'\0';
    return kept;
}

BOOL WINAPI CappedWriteSection(LPCWSTR section, LPCWSTR lines, LPCWSTR path)
{
    std::vector<wchar_t> kept(SECTION_CAP + 2, L'\0');
    const wchar_t* end = lines;
    while (*end != L'\0') {
        end += std::wcslen(end) + 1;
    }
    std::memcpy(kept.data(), lines, std::min<size_t>(end - lines, SECTION_CAP) * sizeof(wchar_t));
    return WritePrivateProfileSectionW(section, kept.data(), path);
}

TEST(CappedSection, BindingsPastTheCapAreReadAndWrittenAllTheSame)
{
    const std::vector<Binding> stored = PlainBindings(420);
    ASSERT_GT(UnicodeFile(stored).size(), SECTION_CAP + 1000);
    for (const char* function : {"GetPrivateProfileSectionW", "WritePrivateProfileSectionW"}) {
        TestHost host;
        host.WriteSettings(UnicodeFile(stored));
        const HMODULE early = LoadLibraryW((host.Folder() + L"\\Tessel.dll").c_str());
        const bool reading = std::strcmp(function, "GetPrivateProfileSectionW") == 0;
        ASSERT_TRUE(ReplaceImport(early, "kernel32.dll", function,
                                  reading ? reinterpret_cast<const void*>(&CappedGetSection)
                                          : reinterpret_cast<const void*>(&CappedWriteSection)));
        ASSERT_TRUE(host.Load());
        host.Unload();
        FreeLibrary(early);
        EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), stored) << function;
    }
}

// ----- hand edits while the launcher runs -----------------------------------------------------

const Binding SAMPLE_K = {0x064B, L"Sample.dll|5", L""};
const Binding SAMPLE_J = {0x064A, L"Sample.dll|7", L""};

// Presses Ctrl+Alt+key until the sample plug-in logs what it ran.
bool FiresWithin(TestHost& host, WORD key, const wchar_t* logged, int timeoutMs)
{
    return host.PumpUntil(
        [&] {
            host.Press({VK_CONTROL, VK_MENU, key});
            const std::vector<std::wstring> logs = host.Logs();
            return std::find(logs.begin(), logs.end(), logged) != logs.end();
        },
        timeoutMs);
}

TEST(HandEdits, ABindingAddedByHandFiresWithinSecondsAndIsKeptAtExit)
{
    TestHost host;
    host.WriteSettings(UnicodeFile({SAMPLE_K}));
    ASSERT_TRUE(host.Load({L"Tessel.dll", L"Sample.dll"}));
    host.WriteSettings(UnicodeFile({SAMPLE_K, SAMPLE_J}));
    const DWORD start = GetTickCount();
    EXPECT_TRUE(FiresWithin(host, 'J', L"Sample.dll|7", 4000));
    std::printf("from the hand edit to its hotkey working: %lu ms\n", GetTickCount() - start);
    host.Unload();
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), (std::vector<Binding>{SAMPLE_K, SAMPLE_J}));
}

TEST(HandEdits, AnEditJustBeforeExitIsNotOverwritten)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    ASSERT_TRUE(host.Load());
    host.WriteSettings(UnicodeFile(PlainBindings(3), 0));
    const std::string edited = FileBytes(host.SettingsPath());
    host.Unload();
    EXPECT_EQ(FileBytes(host.SettingsPath()), edited);
}

TEST(HandEdits, OkAfterAnEditDuringTheDialogSavesTheDialogAndKeepsTheEditInTheBackup)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    ASSERT_TRUE(host.Load());
    std::string edited;
    std::wstring told;
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&](HWND dialog) {
        host.WriteSettings(UnicodeFile(PlainBindings(3)));
        edited = FileBytes(host.SettingsPath());
        SelectListRow(GetDlgItem(dialog, IDC_HOTKEY_LIST), 0);
        host.OnMessageBox([](HWND question) { TestHost::Click(question, IDYES); });
        TestHost::Click(dialog, IDC_DELETE_ITEM);
        host.OnMessageBox([&told](HWND message) {
            told = TestHost::MessageBoxText(message);
            TestHost::Click(message, IDOK);
        });
        TestHost::Click(dialog, IDOK);
    });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), std::vector<Binding>{PlainBindings(2)[1]});
    EXPECT_EQ(FileBytes(host.SettingsPath() + L".bak"), edited);
    EXPECT_NE(told.find(L"Tessel.ini.bak"), std::wstring::npos) << told;
    host.Unload();
}

TEST(HandEdits, CancelAfterAnEditDuringTheDialogTakesTheEditIn)
{
    TestHost host;
    host.WriteSettings(UnicodeFile({SAMPLE_K}));
    ASSERT_TRUE(host.Load({L"Tessel.dll", L"Sample.dll"}));
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&host](HWND dialog) {
        host.WriteSettings(UnicodeFile({SAMPLE_K, SAMPLE_J}));
        TestHost::Click(dialog, IDCANCEL);
    });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    EXPECT_TRUE(FiresWithin(host, 'J', L"Sample.dll|7", 4000));
    host.Unload();
}

TEST(CodePage, TheRunAsOnAJapaneseSystemHasCodePage932)
{
    const char* expected = std::getenv("TESSEL_EXPECTED_CODE_PAGE");
    if (expected != nullptr) {
        EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
}

}  // namespace
