// The user's bindings are never lost or altered: not by the file's code page or a UTF-8 file, by
// the reading's trimming of blanks and quotes, by a file another program holds at start-up or
// changes while it is saved, by a file too large to read, by a disk that fails, by a full disk,
// by a process killed in the middle of a save (or of a load, leaving a private copy), by a
// shortage of memory or window handles, by a host that dies before it unloads, by a hand edit
// with a gap, by a folder path of 260 characters or more, or by a platform that caps a profile
// section; a copy a message names is never deleted, and a start clears away only what Tessel
// itself left. Runs twice: all under the machine's code page, and its text, UTF-8 and code page
// groups as on a Japanese system (code page 932).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/host_driving.h"
#include "host/plugin_host.h"
#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "settings/saved_check.h"
#include "settings/settings.h"
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
        if (!bindings[i].only.empty()) {
            text += prefix + "_only=" + ToUtf8(bindings[i].only) + "\r\n";
        }
        if (!bindings[i].except.empty()) {
            text += prefix + "_except=" + ToUtf8(bindings[i].except) + "\r\n";
        }
    }
    return text;
}

std::wstring UnicodeFile(const std::vector<Binding>& bindings, int enabled = 1)
{
    const std::string ansi = AnsiFile(bindings, "[setting]\r\nenable=" + std::to_string(enabled) + "\r\n");
    return std::wstring(ansi.begin(), ansi.end());
}

// The next message box's text goes to told, and the box is closed with OK.
void KeepNextMessage(TestHost& host, std::wstring* told)
{
    host.OnMessageBox([told](HWND message) {
        *told = TestHost::MessageBoxText(message);
        TestHost::Click(message, IDOK);
    });
}

// In the settings dialog: the first row deleted, then OK; the message that follows, if any is
// awaited, goes to told.
void DeleteFirstRowAndConfirm(TestHost& host, HWND dialog, std::wstring* told = nullptr)
{
    SelectListRow(GetDlgItem(dialog, IDC_HOTKEY_LIST), 0);
    host.OnMessageBox([](HWND question) { TestHost::Click(question, IDYES); });
    TestHost::Click(dialog, IDC_DELETE_ITEM);
    if (told != nullptr) {
        KeepNextMessage(host, told);
    }
    TestHost::Click(dialog, IDOK);
}

bool StartsWithUnicodeMark(const std::string& bytes)
{
    return bytes.compare(0, 2, UTF16LE_MARK) == 0;
}

// Bindings whose Ctrl+Alt+<letter> keys and plain texts every code page holds; one in three is
// limited to programs, one in four kept out of some.
std::vector<Binding> PlainBindings(int count)
{
    std::vector<Binding> bindings;
    for (int i = 0; i < count; ++i) {
        const std::wstring number = std::to_wstring(i);
        bindings.push_back({0x0600u | (0x41u + i % 26), L"C:\\Tools\\program" + number + L".exe", L"--option " + number,
                            i % 3 == 1 ? L"word.exe;excel" + number + L".exe" : L"", i % 4 == 2 ? L"mstsc.exe" : L""});
    }
    return bindings;
}

// The file's text: UTF-16LE after its mark, else its bytes as ANSI.
std::wstring FileText(const std::wstring& path)
{
    const std::string bytes = FileBytes(path);
    if (!StartsWithUnicodeMark(bytes)) {
        return std::wstring(bytes.begin(), bytes.end());
    }
    return FromUtf16Le(bytes.substr(2));
}

// The names of the work files beside the settings file at path, a crashed save's included.
std::vector<std::wstring> WorkFiles(const std::wstring& path)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path + L"*.tmp").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return names;
}

// The file a message names: from the settings file's path in it to the end of that line.
std::wstring NamedFile(const std::wstring& told, const std::wstring& path)
{
    const size_t at = told.find(path);
    return at == std::wstring::npos ? std::wstring() : told.substr(at, told.find(L'\n', at) - at);
}

// ----- in-process: the settings file beside this program -----------------------------------

class SettingsTexts : public InProcessSettings {
protected:
    bool Save(const std::vector<Binding>& bindings)
    {
        ClearHotkeyTable(liveTable);
        for (const Binding& binding : bindings) {
            AppendStoredBinding(liveTable, binding);
        }
        saved_ = SaveLive();
        return saved_.saved;
    }
    std::vector<Binding> Reload()
    {
        LoadLive();
        return TableBindings(liveTable);
    }
    SaveOutcome saved_ = {};
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

// ASCII text as it is, in UTF-16LE and in UTF-16BE, each with its mark.
std::vector<std::string> InEachEncoding(const std::string& ansi)
{
    std::string littleEndian = UTF16LE_MARK;
    std::string bigEndian = "\xFE\xFF";
    for (const char unit : ansi) {
        littleEndian += {unit, '\0'};
        bigEndian += {'\0', unit};
    }
    return {ansi, littleEndian, bigEndian};
}

TEST_F(SettingsTexts, AFileWithoutAFinalLineBreakOrInBigEndianUnicodeTakesTheBindingsWhole)
{
    for (const std::string& bytes : InEachEncoding("[other]\r\nname=kept")) {
        WriteFileBytes(path_, bytes);
        Save(PlainBindings(3));
        EXPECT_EQ(ReadKeyByKey(path_), PlainBindings(3)) << bytes.size() << " bytes before";
        wchar_t kept[16] = {};
        GetPrivateProfileStringW(L"other", L"name", L"", kept, 16, path_.c_str());
        EXPECT_STREQ(kept, L"kept");
    }
}

TEST_F(SettingsTexts, WhatTheUserWroteBeforeTheBindingsKeepsEveryByteInEachEncoding)
{
    const std::string notes =
        "; my notes\r\n[setting]\r\nenable = 1 \r\n\r\n[other]\r\n  spaced = value ; aside\r\n\r\n";
    const std::vector<std::string> before = InEachEncoding(notes);
    const std::vector<std::string> whole = InEachEncoding(AnsiFile(PlainBindings(1), notes));
    enabledFlag = 1;
    for (size_t encoding = 0; encoding < whole.size(); ++encoding) {
        WriteFileBytes(path_, whole[encoding]);
        Save(PlainBindings(3));
        EXPECT_EQ(FileBytes(path_).substr(0, before[encoding].size()), before[encoding]) << "encoding " << encoding;
        EXPECT_EQ(ReadKeyByKey(path_), PlainBindings(3));
    }
}

// Ctrl+Z, an old DOS editor's end mark, is a blank to the reading too. Program lists of any
// length, one whose quoted text just fills a binding's text among them.
TEST_F(SettingsTexts, QuotesAndBlanksAtTheEndsComeBackExactly)
{
    const std::vector<Binding> bindings = {
        {0x0641, L"\"C:\\My Files\\a.exe\"", L"\"a b\" \"c d\"", L" word.exe", L"'excel.exe'"},
        {0x0642, L" lead", L"trail\t"},
        {0x0643, L"'single'", L"\"\"", L"\"" + std::wstring(300, L'w') + L".exe\x1A\""},
        {0x0644, L"\"", L"memo\x1A", L"\x1A", L"\"a.exe\";b.exe\t"},
        {0x0645, L"'" + std::wstring(256, L'x') + L"'", L" " + std::wstring(257, L'y')},
        {0x0646, L"\x1Anotepad.exe", L"\"memo\"\x1A", L"excel.exe\x1A", std::wstring(258, L'v') + L" "},
    };
    ASSERT_TRUE(Save(bindings));
    EXPECT_EQ(ReadKeyByKey(path_), bindings);
    EXPECT_EQ(Reload(), bindings);
}

// A text of the full 259 units that the reading would trim has no room for the quotes that keep
// its blank: it cannot be stored so that it reads back.
TEST_F(SettingsTexts, ATextThatCannotBeStoredAsItIsRefusesTheSaveAndTheFileStays)
{
    ASSERT_TRUE(Save(PlainBindings(3)));
    const std::string before = FileBytes(path_);
    for (const wchar_t blank : {L' ', L'\x1A'}) {
        std::vector<Binding> bindings = PlainBindings(3);
        bindings[1].param = std::wstring(258, L'p') + blank;
        EXPECT_FALSE(Save(bindings)) << static_cast<int>(blank);
        EXPECT_EQ(saved_.reason, SAVE_TEXT_NOT_STORABLE);
        EXPECT_TRUE(FileBytes(path_) == before);
    }
}

// The check before the swap, handed the finished file with one line changed, dropped or added.
TEST_F(SettingsTexts, TheCheckBeforeTheSwapFindsAnyBindingAlteredAndAnyKeyTooMany)
{
    ASSERT_TRUE(Save(PlainBindings(10)));
    const std::wstring saved = FileText(path_);
    const auto holdsWith = [&](const std::wstring& from, const std::wstring& to) {
        std::wstring text = saved;
        const size_t at = text.find(from);
        if (at == std::wstring::npos) {
            ADD_FAILURE() << ToUtf8(from) << " not in the file";
            return true;
        }
        // A name alone stands for its whole line.
        text.replace(at, from.back() == L'\n' ? from.size() : text.find(L"\r\n", at) + 2 - at, to);
        WriteFileBytes(path_, UTF16LE_MARK + Utf16Le(text));
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, path_.c_str());  // no parse of the last file
        return HotkeysSectionHolds(path_.c_str(), liveTable);
    };
    EXPECT_TRUE(holdsWith(L"[hotkeys]\r\n", L"[hotkeys]\r\n"));
    const std::pair<const wchar_t*, const wchar_t*> faults[] = {
        {L"item0_command=", L"item0_command=WRONG\r\n"},
        {L"item6_command=", L"item6_command=WRONG\r\n"},
        {L"item5_param=", L"item5_param=\r\n"},
        {L"item9_key=", L"item9_key=1\r\n"},
        {L"item4_only=", L"item4_only=word.exe\r\n"},
        {L"item2_except=", L""},
        {L"[hotkeys]\r\n", L"[hotkeys]\r\nitem8_only=x.exe\r\n"},
        {L"[hotkeys]\r\n", L"[hotkeys]\r\nitem10_key=65\r\n"},
        {L"[hotkeys]\r\n", L"[hotkeys]\r\nitem12_command=x.exe\r\n"},
    };
    for (const auto& [from, to] : faults) {
        EXPECT_FALSE(holdsWith(from, to)) << ToUtf8(to);
    }
}

std::wstring ValueOf(const std::wstring& path, const wchar_t* section, const wchar_t* key)
{
    wchar_t value[64] = {};
    GetPrivateProfileStringW(section, key, L"", value, 64, path.c_str());
    return value;
}

TEST_F(SettingsTexts, AUnitThePlatformSkipsBeforeAHeaderNeitherHidesNorCutsASection)
{
    const std::string setting = "[setting]\r\nenable=1\r\n";
    for (const std::string blank : {"\v", "\f", "\x1A"}) {
        // The user's section after the bindings stays.
        WriteFileBytes(path_, AnsiFile(PlainBindings(1), setting) + blank + "[mine]\r\nkey=kept\r\n");
        Save(PlainBindings(3));
        EXPECT_EQ(ReadKeyByKey(path_), PlainBindings(3)) << static_cast<int>(blank[0]);
        EXPECT_EQ(ValueOf(path_, L"mine", L"key"), L"kept") << static_cast<int>(blank[0]);
        // Bindings behind such a unit are the ones replaced, not read again at the next start.
        WriteFileBytes(path_, setting + blank + AnsiFile(PlainBindings(1)) + "[other]\r\nkey=kept\r\n");
        Save(PlainBindings(3));
        EXPECT_EQ(ReadKeyByKey(path_), PlainBindings(3)) << static_cast<int>(blank[0]);
        EXPECT_EQ(ValueOf(path_, L"other", L"key"), L"kept");
    }
    WriteFileBytes(path_, AnsiFile(PlainBindings(1), setting) + "\x1A");  // an old DOS editor's end mark
    Save(PlainBindings(3));
    EXPECT_EQ(ReadKeyByKey(path_), PlainBindings(3));
}

TEST_F(SettingsTexts, AUnicodeFileWhoseLastUnitIsCutInHalfTakesTheBindingsWhole)
{
    WriteFileBytes(path_, InEachEncoding("[other]\r\nkey=kept\r\n")[1] + "\r");
    Save(PlainBindings(3));
    EXPECT_EQ(ReadKeyByKey(path_), PlainBindings(3));
    EXPECT_EQ(ValueOf(path_, L"other", L"key"), L"kept");
}

// The user's other text, one [hotkeys] and all the bindings.
void ExpectWholeFile(const std::wstring& path, const std::vector<Binding>& bindings, int round)
{
    const std::wstring text = FileText(path);
    EXPECT_NE(text.find(L"[other]\r\nkey=kept\r\n"), std::wstring::npos) << round << ": " << ToUtf8(text);
    EXPECT_EQ(text.find(L"[hotkeys]"), text.rfind(L"[hotkeys]")) << round;
    EXPECT_EQ(ReadKeyByKey(path), bindings) << round;
}

// A stand-in for the profile writing this program's copy of the save calls: first deletes the
// work copy it is asked to change, as another launcher's start that takes it for a stray would.
decltype(&WritePrivateProfileStringW) writeProfile;
int deletionsLeft;

BOOL WINAPI DeletingWriteProfile(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR path)
{
    if (section != nullptr && deletionsLeft > 0 && std::wcsstr(path, L".tmp") != nullptr) {
        --deletionsLeft;
        DeleteFileW(path);
    }
    return writeProfile(section, key, value, path);
}

TEST_F(SettingsTexts, AWorkFileDeletedDuringASaveCostsNoTextAndLeavesNothingBehind)
{
    const std::vector<Binding> bindings = PlainBindings(20);
    Save(bindings);
    WriteFileBytes(path_, "[other]\r\nkey=kept\r\n" + AnsiFile(bindings, "[setting]\r\nenable=1\r\n"));
    writeProfile = reinterpret_cast<decltype(writeProfile)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "WritePrivateProfileStringW")));
    ASSERT_TRUE(ReplaceImport(GetModuleHandleW(nullptr), "kernel32.dll", "WritePrivateProfileStringW",
                              reinterpret_cast<const void*>(&DeletingWriteProfile)));
    for (int toggle = 0; toggle < 4; ++toggle) {
        deletionsLeft = 1;
        enabledFlag = toggle % 2;
        SaveLive();
        ExpectWholeFile(path_, bindings, toggle);
    }
    ASSERT_TRUE(RestoreImport(GetModuleHandleW(nullptr), "kernel32.dll", "WritePrivateProfileStringW"));
    EXPECT_THAT(WorkFiles(path_), ::testing::IsEmpty());
}

// ----- through the stand-in host ------------------------------------------------------------

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

TEST(UnreadableFile, AFileHeldAtStartUpIsToldNeverOverwrittenAndTakenInOnceFree)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(3), 0));
    const std::string before = FileBytes(host.SettingsPath());
    std::wstring told;
    {
        FileHolder holder(host.SettingsPath());
        const ULONGLONG start = GetTickCount64();
        ASSERT_TRUE(host.Load());
        EXPECT_LT(GetTickCount64() - start, 3000u);
        host.Execute(L"Tessel.dll", 0);
        KeepNextMessage(host, &told);
        host.OnWindow(L"#32770", SETTINGS_CAPTION, [](HWND dialog) { TestHost::Click(dialog, IDCANCEL); });
        host.Execute(L"Tessel.dll", 1);
        ASSERT_TRUE(host.WaitForWindows());
    }
    EXPECT_NE(told.find(host.SettingsPath()), std::wstring::npos) << ToUtf8(told);
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

// ----- every save whole, and told when it fails ---------------------------------------------

// Copies the file each time it changes, as a backup or sync tool does: opened without leave to
// write or delete it, and held for a while. Counts the copies that lack a binding.
class BackupTool {
public:
    BackupTool(const std::wstring& path, const std::vector<Binding>& bindings)
        : thread_([this, path, bindings] { Run(path, bindings); })
    {
    }
    ~BackupTool()
    {
        stop_ = true;
        thread_.join();
    }
    BackupTool(const BackupTool&) = delete;
    BackupTool& operator=(const BackupTool&) = delete;
    int Copies() const { return copies_; }
    int Incomplete() const { return incomplete_; }

private:
    void Run(const std::wstring& path, const std::vector<Binding>& bindings)
    {
        FILETIME seen = {};
        while (!stop_) {
            WIN32_FILE_ATTRIBUTE_DATA data;
            const HANDLE file = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
                                        CompareFileTime(&data.ftLastWriteTime, &seen) != 0
                                    ? CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                                    : INVALID_HANDLE_VALUE;
            if (file == INVALID_HANDLE_VALUE) {
                Sleep(1);
                continue;
            }
            seen = data.ftLastWriteTime;
            std::wstring text(data.nFileSizeLow / sizeof(wchar_t), L'\0');
            DWORD read = 0;
            ReadFile(file, text.data(), data.nFileSizeLow, &read, nullptr);
            Sleep(250);
            CloseHandle(file);
            ++copies_;
            for (const Binding& binding : bindings) {
                if (text.find(L"_command=" + binding.command + L"\r\n") == std::wstring::npos) {
                    ++incomplete_;
                    break;
                }
            }
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<int> copies_{0};
    std::atomic<int> incomplete_{0};
    std::thread thread_;
};

// Tessel's CreateFileW, watched for an opening of the settings file itself for writing: a save
// puts a finished file in its place with one rename and never writes into it.
std::wstring watchedPath;
int openedForWriting;

HANDLE WINAPI WatchingCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                  DWORD flags, HANDLE model)
{
    if ((access & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0 && lstrcmpiW(name, watchedPath.c_str()) == 0) {
        ++openedForWriting;
    }
    return CreateFileW(name, access, share, security, disposition, flags, model);
}

TEST(SavedWhole, EachSwitchIsOnDiskAtOnceAndACopyingToolNeverFindsABindingMissing)
{
    TestHost host;
    const std::vector<Binding> stored = PlainBindings(20);
    host.WriteSettings(UnicodeFile(stored));
    ASSERT_TRUE(host.Load());
    watchedPath = host.SettingsPath();
    openedForWriting = 0;
    ASSERT_TRUE(ReplaceImport(host.Module(L"Tessel.dll"), "kernel32.dll", "CreateFileW",
                              reinterpret_cast<const void*>(&WatchingCreateFileW)));
    {
        BackupTool tool(host.SettingsPath(), stored);
        for (unsigned toggle = 1; toggle <= 8; ++toggle) {
            host.OnWindow(L"#32770", SETTINGS_CAPTION, [](HWND dialog) { TestHost::Click(dialog, IDOK); });
            host.Execute(L"Tessel.dll", 1);
            ASSERT_TRUE(host.WaitForWindows());
            host.Execute(L"Tessel.dll", 0);
            EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 9, host.SettingsPath().c_str()), 1 - toggle % 2) << toggle;
            EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), stored) << toggle;
        }
        ASSERT_TRUE(RestoreImport(host.Module(L"Tessel.dll"), "kernel32.dll", "CreateFileW"));
        EXPECT_EQ(openedForWriting, 0);
        host.Unload();
        Sleep(300);
        EXPECT_EQ(tool.Incomplete(), 0) << tool.Copies() << " copies";
        EXPECT_GE(tool.Copies(), 6);
    }
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), stored);
    EXPECT_THAT(TestHost::DialogCaptions(), ::testing::IsEmpty());
}

TEST(SavedWhole, BindingsBehindAGapInAHandEditAreKeptInTheBackup)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=a\r\nitem1_key=1610\r\nitem1_command=b\r\n"
                       L"item3_key=1612\r\nitem3_command=behind the gap\r\n");
    const std::string edited = FileBytes(host.SettingsPath());
    for (int run = 0; run < 2; ++run) {  // the second run changes nothing, so the backup stays
        ASSERT_TRUE(host.Load());
        host.Unload();
        EXPECT_EQ(ReadKeyByKey(host.SettingsPath()).size(), 2u);
        EXPECT_EQ(FileBytes(host.SettingsPath() + L".bak"), edited) << run;
    }
}

// Stand-ins for the plug-in's WriteFile and MoveFileExW that fail as a full disk, or a file
// another program holds, makes them fail.
DWORD standInError;

BOOL WINAPI FailingWriteFile(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED)
{
    *written = 0;
    SetLastError(standInError);
    return FALSE;
}

BOOL WINAPI FailingMoveFileExW(LPCWSTR, LPCWSTR, DWORD)
{
    SetLastError(standInError);
    return FALSE;
}

// A disk that says it wrote the finished file whole but holds another byte in it, outside every
// setting Tessel reads: only the reading back of what was written can tell.
BOOL WINAPI AlteringWriteFile(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    std::wstring text(static_cast<const wchar_t*>(bytes), size / sizeof(wchar_t));
    const size_t kept = text.find(L"key=kept");
    if (kept == std::wstring::npos || text.find(L"[hotkeys]") == std::wstring::npos) {
        return WriteFile(file, bytes, size, written, overlapped);
    }
    text[kept + 7] = L'X';
    return WriteFile(file, text.data(), size, written, overlapped);
}

std::wstring SystemReason(DWORD error)
{
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512, nullptr);
    std::wstring reason = text;
    return reason.substr(0, reason.find_last_not_of(L"\r\n ") + 1);
}

TEST(SaveFails, AtOkTheOldFileStaysTheUserIsToldAndTheNextSaveWritesTheChange)
{
    const struct {
        const char* function;
        const void* standIn;
        DWORD error;
    } faults[] = {
        {"WriteFile", reinterpret_cast<const void*>(&FailingWriteFile), ERROR_DISK_FULL},
        {"MoveFileExW", reinterpret_cast<const void*>(&FailingMoveFileExW), ERROR_SHARING_VIOLATION},
        {"MoveFileExW", reinterpret_cast<const void*>(&FailingMoveFileExW), ERROR_ACCESS_DENIED},
        {"WriteFile", reinterpret_cast<const void*>(&AlteringWriteFile), ERROR_WRITE_FAULT},
    };
    for (const auto& fault : faults) {
        TestHost host;
        host.WriteSettings(L"[other]\r\nkey=kept\r\n" + UnicodeFile(PlainBindings(2)));
        const std::string before = FileBytes(host.SettingsPath());
        ASSERT_TRUE(host.Load());
        standInError = fault.error;
        ASSERT_TRUE(ReplaceImport(host.Module(L"Tessel.dll"), "kernel32.dll", fault.function, fault.standIn));
        std::wstring told;
        host.OnWindow(L"#32770", SETTINGS_CAPTION,
                      [&host, &told](HWND dialog) { DeleteFirstRowAndConfirm(host, dialog, &told); });
        host.Execute(L"Tessel.dll", 1);
        ASSERT_TRUE(host.WaitForWindows());
        EXPECT_EQ(FileBytes(host.SettingsPath()), before) << fault.function << " " << fault.error;
        EXPECT_FALSE(GetFileAttributesW((host.SettingsPath() + L".tmp").c_str()) != INVALID_FILE_ATTRIBUTES);
        EXPECT_NE(told.find(host.SettingsPath()), std::wstring::npos) << ToUtf8(told);
        EXPECT_NE(told.find(SystemReason(fault.error)), std::wstring::npos) << ToUtf8(told);
        EXPECT_NE(told.find(L"変更はそのまま有効で、次に保存するときにもう一度書き込みを試みます。"), std::wstring::npos);
        KeepNextMessage(host, &told);
        host.Execute(L"Tessel.dll", 0);  // a switch that fails to save switches all the same
        EXPECT_NE(told.find(L"ホットキーは無効になっていて、次に保存するときにもう一度書き込みを試みます。"), std::wstring::npos)
            << ToUtf8(told);

        ASSERT_TRUE(RestoreImport(host.Module(L"Tessel.dll"), "kernel32.dll", fault.function));
        host.Execute(L"Tessel.dll", 0);  // the next save moment
        EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), std::vector<Binding>{PlainBindings(2)[1]});
        EXPECT_EQ(FileBytes(host.SettingsPath() + L".bak"), before);
        host.Unload();
    }
}

TEST(UnreadableFile, AFileLargerThanAnyTableNeedsIsNotReadToldAndNeverWritten)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(3), 0) + L";" + std::wstring(16 << 20, L'x') + L"\r\n");
    const std::string before = FileBytes(host.SettingsPath());
    ASSERT_TRUE(host.Load());
    host.ClearRecords();
    host.Pump(1500);  // the watch does not take it in again and again
    EXPECT_THAT(host.Calls(), ::testing::IsEmpty());
    host.Execute(L"Tessel.dll", 0);
    std::wstring told;
    KeepNextMessage(host, &told);
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [](HWND dialog) { TestHost::Click(dialog, IDCANCEL); });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    EXPECT_NE(told.find(SystemReason(ERROR_FILE_TOO_LARGE)), std::wstring::npos) << ToUtf8(told);
    EXPECT_NE(told.find(L"設定ファイルが大きすぎます。"), std::wstring::npos) << ToUtf8(told);
    host.Unload();
    EXPECT_TRUE(FileBytes(host.SettingsPath()) == before);
}

BOOL WINAPI FailingFileInformation(HANDLE, LPBY_HANDLE_FILE_INFORMATION)
{
    SetLastError(ERROR_NOT_READY);
    return FALSE;
}

TEST(UnreadableFile, AFileWhoseSizeCannotBeAskedIsToldWithTheRealReasonAndReadOnceItCan)
{
    TestHost host;
    host.WriteSettings(UnicodeFile({SAMPLE_K}));
    const HMODULE early = LoadLibraryW((host.Folder() + L"\\Tessel.dll").c_str());
    ASSERT_TRUE(ReplaceImport(early, "kernel32.dll", "GetFileInformationByHandle",
                              reinterpret_cast<const void*>(&FailingFileInformation)));
    ASSERT_TRUE(host.Load({L"Tessel.dll", L"Sample.dll"}));
    std::wstring told;
    KeepNextMessage(host, &told);
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [](HWND dialog) { TestHost::Click(dialog, IDCANCEL); });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    EXPECT_NE(told.find(SystemReason(ERROR_NOT_READY)), std::wstring::npos) << ToUtf8(told);
    ASSERT_TRUE(RestoreImport(early, "kernel32.dll", "GetFileInformationByHandle"));
    EXPECT_TRUE(FiresWithin(host, 'K', L"Sample.dll|5", 4000));
    FreeLibrary(early);
}

// A stand-in for the plug-in's WriteFile on a disk that fills up: a write of fullAt's bytes (the
// backup's), or every write once full, is cut short without an error.
std::string fullAt;
bool full;

BOOL WINAPI FillingWriteFile(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (full || (size == fullAt.size() && std::memcmp(bytes, fullAt.data(), size) == 0)) {
        return WriteFile(file, bytes, size / 2, written, overlapped);
    }
    return WriteFile(file, bytes, size, written, overlapped);
}

// Closes every message box of Tessel's that the plug-in shows while it lives, keeping its text.
class MessageCatcher {
public:
    MessageCatcher() : timer_(SetTimer(nullptr, 0, 20, &Catch)) { told_.clear(); }
    ~MessageCatcher() { KillTimer(nullptr, timer_); }
    MessageCatcher(const MessageCatcher&) = delete;
    MessageCatcher& operator=(const MessageCatcher&) = delete;
    static const std::vector<std::wstring>& Told() { return told_; }

private:
    static void CALLBACK Catch(HWND, UINT, UINT_PTR, DWORD)
    {
        if (const HWND message = FindWindowW(L"#32770", L"Tessel")) {
            told_.push_back(TestHost::MessageBoxText(message));
            TestHost::Click(message, IDOK);
        }
    }
    static inline std::vector<std::wstring> told_;
    UINT_PTR timer_;
};

TEST(SaveFails, AFullDiskLeavesTheOldBackupAndIsToldWithItsOwnReason)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    WriteFileBytes(host.SettingsPath() + L".bak", "the backup before");
    ASSERT_TRUE(host.Load());
    fullAt = FileBytes(host.SettingsPath());
    ASSERT_TRUE(ReplaceImport(host.Module(L"Tessel.dll"), "kernel32.dll", "WriteFile",
                              reinterpret_cast<const void*>(&FillingWriteFile)));
    MessageCatcher catcher;
    host.Execute(L"Tessel.dll", 0);  // full as the backup is written: the switch is saved all the same
    EXPECT_THAT(MessageCatcher::Told(), ::testing::IsEmpty());
    EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 9, host.SettingsPath().c_str()), 0u);
    EXPECT_EQ(FileBytes(host.SettingsPath() + L".bak"), "the backup before");
    full = true;
    const std::string before = FileBytes(host.SettingsPath());
    host.Execute(L"Tessel.dll", 0);
    full = false;
    ASSERT_EQ(MessageCatcher::Told().size(), 1u);
    const std::wstring told = MessageCatcher::Told()[0];
    ASSERT_TRUE(RestoreImport(host.Module(L"Tessel.dll"), "kernel32.dll", "WriteFile"));
    EXPECT_EQ(FileBytes(host.SettingsPath()), before);
    EXPECT_EQ(FileBytes(host.SettingsPath() + L".bak"), "the backup before");
    EXPECT_NE(told.find(SystemReason(ERROR_DISK_FULL)), std::wstring::npos) << ToUtf8(told);
    EXPECT_NE(told.find(L"ホットキーは有効になっていて、次に保存するときにもう一度書き込みを試みます。"), std::wstring::npos);
    EXPECT_NE(NamedFile(told, host.SettingsPath()).find(L".tmp"), std::wstring::npos) << ToUtf8(told);
    EXPECT_THAT(WorkFiles(host.SettingsPath()), ::testing::IsEmpty());
    host.Unload();
}

TEST(LargeFile, AUtf8FileOfNineMegabytesIsSavedAtTheSwitchAndAtOk)
{
    const std::vector<Binding> bindings = {{0x0641, L"C:\\ツール\\メモ.exe", L""}, PlainBindings(2)[1]};
    TestHost host;
    // 9 MB of UTF-8, twice that in the UTF-16 that the save writes.
    host.WriteSettingsBytes(AnsiFile(bindings, ";" + std::string(9 << 20, 'x') + "\r\n"));
    ASSERT_TRUE(host.Load());
    MessageCatcher catcher;
    host.Execute(L"Tessel.dll", 0);
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&host](HWND dialog) { DeleteFirstRowAndConfirm(host, dialog); });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    EXPECT_THAT(MessageCatcher::Told(), ::testing::IsEmpty());
    EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 9, host.SettingsPath().c_str()), 0u);
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), std::vector<Binding>{bindings[1]});
}

TEST(SavedWhole, AFolderInTheWayOfAWorkFileOrTheBackupNeverStopsASave)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    for (const wchar_t* suffix : {L".tmp", L".new", L".bak"}) {
        ASSERT_TRUE(CreateDirectoryW((host.SettingsPath() + suffix).c_str(), nullptr));
    }
    ASSERT_TRUE(host.Load());
    MessageCatcher catcher;
    host.Execute(L"Tessel.dll", 0);
    host.Unload();
    EXPECT_THAT(MessageCatcher::Told(), ::testing::IsEmpty());
    EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 9, host.SettingsPath().c_str()), 0u);
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), PlainBindings(2));
    for (const wchar_t* suffix : {L".tmp", L".new", L".bak"}) {
        EXPECT_NE(GetFileAttributesW((host.SettingsPath() + suffix).c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    }
}

// The bytes WriteSettings writes for the text.
std::string UnicodeBytes(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

TEST(EditDuringASave, AnEditWrittenWhileOkWaitsForTheFileIsKeptInACopyTheMessageNames)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    ASSERT_TRUE(host.Load());
    const std::string edited = UnicodeBytes(UnicodeFile(PlainBindings(3)));
    std::wstring told;
    std::thread editor;
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&](HWND dialog) {
        // An editor holds the file, others may read it, and writes its change 150 ms later.
        const HANDLE file = CreateFileW(host.SettingsPath().c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        editor = std::thread([file, &edited] {
            Sleep(150);
            DWORD written = 0;
            WriteFile(file, edited.data(), static_cast<DWORD>(edited.size()), &written, nullptr);
            SetEndOfFile(file);
            CloseHandle(file);
        });
        DeleteFirstRowAndConfirm(host, dialog, &told);
    });
    host.Execute(L"Tessel.dll", 1);
    EXPECT_TRUE(host.WaitForWindows());
    if (editor.joinable()) {
        editor.join();  // a thread left running would end the whole program, not this test
    }
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), std::vector<Binding>{PlainBindings(2)[1]});
    EXPECT_EQ(FileBytes(NamedFile(told, host.SettingsPath())), edited) << ToUtf8(told);
    host.Unload();
}

// A stand-in for the plug-in's FlushFileBuffers: the first flush of a save, once it has read the
// file and while its new copy is written, lets an editor write the settings file.
std::wstring editedPath;
std::string editedBytes;

BOOL WINAPI FlushThenEdit(HANDLE file)
{
    const BOOL flushed = FlushFileBuffers(file);
    if (!editedPath.empty()) {
        WriteFileBytes(editedPath, editedBytes);
        editedPath.clear();
    }
    return flushed;
}

TEST(EditDuringASave, AnEditLandingWhileASwitchIsSavedIsTakenIn)
{
    std::vector<Binding> edit = PlainBindings(2);
    edit[0].command = L"C:\\Edited\\by hand.exe";
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    const HMODULE early = LoadLibraryW((host.Folder() + L"\\Tessel.dll").c_str());
    ASSERT_TRUE(ReplaceImport(early, "kernel32.dll", "FlushFileBuffers", reinterpret_cast<const void*>(&FlushThenEdit)));
    ASSERT_TRUE(host.Load());
    editedBytes = UnicodeBytes(UnicodeFile(edit));
    editedPath = host.SettingsPath();
    host.Execute(L"Tessel.dll", 0);
    EXPECT_TRUE(editedPath.empty()) << "the switch was saved without a flush";
    host.Unload();
    FreeLibrary(early);
    const std::wstring text = FileText(host.SettingsPath());
    EXPECT_NE(text.find(L"item0_command=" + edit[0].command + L"\r\n"), std::wstring::npos) << ToUtf8(text);
    EXPECT_EQ(text.find(L"enable=0"), text.rfind(L"enable=")) << ToUtf8(text);
    EXPECT_EQ(text.find(L"[hotkeys]"), text.rfind(L"[hotkeys]"));
    EXPECT_THAT(TestHost::DialogCaptions(), ::testing::IsEmpty());
}

// The same, writing the file anew after every flush.
BOOL WINAPI FlushThenRewrite(HANDLE file)
{
    static int writes;
    WriteFileBytes(editedPath, editedBytes + Utf16Le(std::to_wstring(++writes)));
    return FlushFileBuffers(file);
}

TEST(EditDuringASave, AFileChangedUnderEveryTryOfOkIsToldSo)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    ASSERT_TRUE(host.Load());
    editedPath = host.SettingsPath();
    editedBytes = FileBytes(editedPath);
    ASSERT_TRUE(ReplaceImport(host.Module(L"Tessel.dll"), "kernel32.dll", "FlushFileBuffers",
                              reinterpret_cast<const void*>(&FlushThenRewrite)));
    std::wstring told;
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&host, &told](HWND dialog) { DeleteFirstRowAndConfirm(host, dialog, &told); });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    ASSERT_TRUE(RestoreImport(host.Module(L"Tessel.dll"), "kernel32.dll", "FlushFileBuffers"));
    EXPECT_NE(told.find(L"保存しようとするたびに、設定ファイルがほかのプログラムで書き換えられていました。"), std::wstring::npos)
        << ToUtf8(told);
    EXPECT_EQ(told.find(L"もう一度書き込みを試みます"), std::wstring::npos);
}

// Stand-ins for the plug-in's profile reading that count the reads of a UTF-8 file, which
// Windows reads in the ANSI code page whether it has a byte-order mark or not.
int utf8Reads;

void CountUtf8Read(LPCWSTR path)
{
    const std::string bytes = FileBytes(path);
    const bool beyondAscii = std::any_of(bytes.begin(), bytes.end(), [](char byte) { return (byte & 0x80) != 0; });
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ||
        (beyondAscii && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                            nullptr, 0) > 0)) {
        ++utf8Reads;
    }
}

UINT WINAPI CheckedGetInt(LPCWSTR section, LPCWSTR key, INT fallback, LPCWSTR path)
{
    CountUtf8Read(path);
    return GetPrivateProfileIntW(section, key, fallback, path);
}

DWORD WINAPI CheckedGetSection(LPCWSTR section, LPWSTR buffer, DWORD size, LPCWSTR path)
{
    CountUtf8Read(path);
    return GetPrivateProfileSectionW(section, buffer, size, path);
}

TEST(Utf8File, WithOrWithoutMarkEveryTextLoadsExactlyAndASaveKeepsItUtf8AndTheOriginalInTheBackup)
{
    const std::vector<Binding> bindings = {
        {0x0641, L"C:\\ツール\\メモ.exe", L"日本語.txt"},
        {0x0642, L"notepad.exe", L"C:\\Users\\Zoë\\☃.txt"},
    };
    for (const std::string& mark : {std::string("\xEF\xBB\xBF"), std::string()}) {
        TestHost host;
        const std::string original = mark + AnsiFile(bindings, "[setting]\r\nenable=1\r\n");
        host.WriteSettingsBytes(original);
        const HMODULE early = LoadLibraryW((host.Folder() + L"\\Tessel.dll").c_str());
        ASSERT_TRUE(ReplaceImport(early, "kernel32.dll", "GetPrivateProfileIntW", reinterpret_cast<const void*>(&CheckedGetInt)));
        ASSERT_TRUE(ReplaceImport(early, "kernel32.dll", "GetPrivateProfileSectionW",
                                  reinterpret_cast<const void*>(&CheckedGetSection)));
        utf8Reads = 0;
        ASSERT_TRUE(host.Load());
        EXPECT_EQ(FileBytes(host.SettingsPath()), original) << "written at the load";
        host.OnWindow(L"#32770", SETTINGS_CAPTION, [&host](HWND dialog) { DeleteFirstRowAndConfirm(host, dialog); });
        host.Execute(L"Tessel.dll", 1);  // saved at once, whole
        ASSERT_TRUE(host.WaitForWindows());
        EXPECT_EQ(FileBytes(host.SettingsPath()), mark + AnsiFile({bindings[1]}, "[setting]\r\nenable=1\r\n"));
        EXPECT_EQ(FileBytes(host.SettingsPath() + L".bak"), original);
        host.Unload();
        FreeLibrary(early);
        EXPECT_EQ(utf8Reads, 0) << "read as UTF-8 by the profile functions";
    }
}

TEST(LongFolder, ADllInAFolderOf260CharactersOrMoreLoadsAndSavesItsSettings)
{
    TestHost host;
    const std::wstring top = L"\\\\?\\" + host.Folder() + L"\\" + std::wstring(100, L'd');
    std::wstring folder = top;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    while (folder.size() < 320) {
        folder += L"\\" + std::wstring(100, L'e');
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    ASSERT_TRUE(CopyFileW((host.Folder() + L"\\Tessel.dll").c_str(), (folder + L"\\Tessel.dll").c_str(), FALSE));
    const std::wstring settings = folder + L"\\Tessel.ini";
    WriteFileBytes(settings, "[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Other.dll|1\r\nitem0_param=\r\n");
    std::wstring error;
    ASSERT_NE(LoadPlugin(folder.substr(4) + L"\\Tessel.dll", &error), nullptr) << ToUtf8(error);
    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ::testing::ElementsAre(L"ExecuteCommand(Other.dll,1)"));
    host.Execute(L"Tessel.dll", 0);
    const std::wstring saved = FileText(settings);
    EXPECT_NE(saved.find(L"enable=0"), std::wstring::npos) << ToUtf8(saved);
    EXPECT_NE(saved.find(L"item0_command=Other.dll|1"), std::wstring::npos) << ToUtf8(saved);
    EXPECT_NE(GetFileAttributesW((settings + L".bak").c_str()), INVALID_FILE_ATTRIBUTES);
    host.Unload();
    DeleteTree(top);
}

// A child of this program saves two tables of 5,000 bindings in turn until it is killed, telling
// the end of each save: at that size a kill at a random moment of a save falls inside its steps
// rather than in what every save costs, however short.
constexpr wchar_t CHILD_READY_EVENT[] = L"TesselSavingChildReady";
constexpr int KILLED_TABLE_SIZE = 5000;
// Two launchers that save at once each save a table of this size: a reader sees every kind of
// half-done replace at it, and a save takes a fifth of the time.
constexpr int SHARED_TABLE_SIZE = 1000;

// One binding in five kept out of a program.
HotkeyTable TableNamed(wchar_t name, int size)
{
    const HotkeyTable table = CreateHotkeyTable();
    for (int i = 0; i < size; ++i) {
        const std::wstring command = std::wstring(L"C:\\Tools\\") + name + L"\\program" + std::to_wstring(i) + L".exe";
        AppendStoredBinding(table, {0x0600u | (0x41u + i % 26), command, L"", L"", i % 5 == 1 ? L"mstsc.exe" : L""});
    }
    return table;
}

int Occurrences(const std::wstring& text, const std::wstring& marker)
{
    int count = 0;
    for (size_t at = text.find(marker); at != std::wstring::npos; at = text.find(marker, at + 1)) {
        ++count;
    }
    return count;
}

// Every binding of the table so named, its lists included, and none of the other.
bool HoldsWholeTable(const std::wstring& text, wchar_t name, int size)
{
    return Occurrences(text, std::wstring(L"_command=C:\\Tools\\") + name + L"\\") == size &&
           Occurrences(text, L"_except=mstsc.exe\r\n") == (size + 3) / 5 &&
           text.find(L"item" + std::to_wstring(size - 1) + L"_param=") != std::wstring::npos;
}

// Run only as that child.
TEST(SavingChild, DISABLED_SavesUntilKilled)
{
    const HotkeyTable tables[] = {TableNamed(L'A', KILLED_TABLE_SIZE), TableNamed(L'B', KILLED_TABLE_SIZE)};
    const HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, CHILD_READY_EVENT);
    ASSERT_NE(ready, nullptr);
    for (int round = 0;; ++round) {
        liveTable = tables[round % 2];
        SaveLive();
        SetEvent(ready);
    }
}

class SaveKilled : public InProcessSettings {};

// This program as a child that runs only the disabled test named: silent, and as on a user's
// machine, without this run's heap checking. Its process handle is null when it did not start.
PROCESS_INFORMATION StartChild(const std::wstring& test)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(program) + L"\" --gtest_filter=" + test + L" --gtest_also_run_disabled_tests";
    SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
    const HANDLE silence = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = silence;
    wchar_t debug[256] = {};
    GetEnvironmentVariableW(L"WINEDEBUG", debug, 256);
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
    PROCESS_INFORMATION child = {};
    CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
    SetEnvironmentVariableW(L"WINEDEBUG", debug);
    CloseHandle(silence);
    return child;
}

void KillChild(const PROCESS_INFORMATION& child)
{
    TerminateProcess(child.hProcess, 1);
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}

TEST_F(SaveKilled, AtAnyMomentTheFileHoldsTheOldTableOrTheNewInFull)
{
    const HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, CHILD_READY_EVENT);
    std::mt19937 random(20261207);
    // Each kill falls at a random moment of a save that replaces the file: the child's second
    // save, whose length the first child shows.
    DWORD saveMs = 0;
    for (int kill = 1; kill <= 30; ++kill) {
        ResetEvent(ready);  // a killed child may have told a save that was not waited for
        const PROCESS_INFORMATION child = StartChild(L"SavingChild.DISABLED_SavesUntilKilled");
        ASSERT_NE(child.hProcess, nullptr);
        bool started = WaitForSingleObject(ready, 60000) == WAIT_OBJECT_0;
        if (started && saveMs == 0) {
            const ULONGLONG start = GetTickCount64();
            started = WaitForSingleObject(ready, 60000) == WAIT_OBJECT_0;
            saveMs = static_cast<DWORD>(GetTickCount64() - start) + 1;
        }
        if (started) {
            Sleep(random() % saveMs);
        }
        KillChild(child);
        ASSERT_TRUE(started);
        const std::wstring text = FileText(path_);
        ASSERT_TRUE(HoldsWholeTable(text, L'A', KILLED_TABLE_SIZE) || HoldsWholeTable(text, L'B', KILLED_TABLE_SIZE))
            << "kill " << kill << ": " << text.size() << " units";
    }
    CloseHandle(ready);
    LoadLive();  // as the next start does
    EXPECT_EQ(GetFileAttributesW((path_ + L".tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Run only as a child: stops inside the load of a UTF-8 file, which is read from a private copy.
UINT WINAPI StalledGetInt(LPCWSTR, LPCWSTR, INT fallback, LPCWSTR)
{
    SetEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, CHILD_READY_EVENT));
    Sleep(60000);
    return static_cast<UINT>(fallback);
}

TEST(LoadingChild, DISABLED_StopsInTheMiddleOfALoad)
{
    ASSERT_TRUE(ReplaceImport(GetModuleHandleW(nullptr), "kernel32.dll", "GetPrivateProfileIntW",
                              reinterpret_cast<const void*>(&StalledGetInt)));
    LoadLive();
}

bool HoldsAFile(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder + L"\\*.tmp").c_str(), &entry);
    return search != INVALID_HANDLE_VALUE && FindClose(search) != FALSE;
}

TEST_F(SaveKilled, APrivateCopyThatAKilledLoadLeftIsGoneAtTheNextStart)
{
    const std::wstring temporary = path_ + L".temp";
    CreateDirectoryW(temporary.c_str(), nullptr);
    WriteFileBytes(path_, "\xEF\xBB\xBF[setting]\r\nenable=0\r\n");
    wchar_t previous[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", previous, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", temporary.c_str());
    const HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, CHILD_READY_EVENT);
    const PROCESS_INFORMATION child = StartChild(L"LoadingChild.DISABLED_StopsInTheMiddleOfALoad");
    const bool stopped = child.hProcess != nullptr && WaitForSingleObject(ready, 60000) == WAIT_OBJECT_0;
    KillChild(child);
    const bool left = HoldsAFile(temporary);
    DeleteSettingsLeftovers();  // as the next start does
    const bool leftAfterStart = HoldsAFile(temporary);
    SetEnvironmentVariableW(L"TMP", previous);
    CloseHandle(ready);
    DeleteTree(temporary);
    ASSERT_TRUE(stopped && left);
    EXPECT_FALSE(leftAfterStart);
}

// Run only as a child of the test below: saves the table named by TESSEL_SAVING_TABLE, switching
// the flag each time.
TEST(SavingChild, DISABLED_SavesItsTableOverAndOver)
{
    wchar_t name[2] = {};
    ASSERT_EQ(GetEnvironmentVariableW(L"TESSEL_SAVING_TABLE", name, 2), 1u);
    liveTable = TableNamed(name[0], SHARED_TABLE_SIZE);
    for (int round = 0; round < 20; ++round) {
        enabledFlag = round % 2;
        SaveLive();
    }
}

class SavingTogether : public InProcessSettings {};

TEST_F(SavingTogether, TwoLaunchersSavingAtOnceInOneFolderNeverShowAReaderAMixedOrEmptyFile)
{
    DestroyHotkeyTable(liveTable);
    liveTable = TableNamed(L'A', SHARED_TABLE_SIZE);
    SaveLive();
    const std::string other = "[other]\r\nkey=kept\r\n";
    const std::string saved = FileBytes(path_);  // UTF-16LE, as a new file is written
    WriteFileBytes(path_, saved.substr(0, 2) + UnicodeBytes(std::wstring(other.begin(), other.end())).substr(2) + saved.substr(2));
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(program) +
                           L"\" --gtest_filter=SavingChild.DISABLED_SavesItsTableOverAndOver --gtest_also_run_disabled_tests";
    wchar_t debug[256] = {};
    GetEnvironmentVariableW(L"WINEDEBUG", debug, 256);
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
    std::vector<HANDLE> children;
    for (const wchar_t* table : {L"A", L"B"}) {
        SetEnvironmentVariableW(L"TESSEL_SAVING_TABLE", table);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION child = {};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                   &startup, &child));
        CloseHandle(child.hThread);
        children.push_back(child.hProcess);
    }
    SetEnvironmentVariableW(L"WINEDEBUG", debug);
    int samples = 0;
    while (WaitForMultipleObjects(2, children.data(), TRUE, 0) == WAIT_TIMEOUT && samples < 100000) {
        const std::wstring text = FileText(path_);
        if (text.empty()) {
            continue;  // being renamed into place this instant
        }
        ++samples;
        ASSERT_TRUE(HoldsWholeTable(text, L'A', SHARED_TABLE_SIZE) || HoldsWholeTable(text, L'B', SHARED_TABLE_SIZE))
            << samples << ": " << text.size() << " units";
        ASSERT_EQ(text.compare(0, other.size(), std::wstring(other.begin(), other.end())), 0) << samples;
        ASSERT_EQ(text.find(L"[hotkeys]"), text.rfind(L"[hotkeys]")) << samples;
    }
    EXPECT_EQ(WaitForMultipleObjects(2, children.data(), TRUE, 120000), WAIT_OBJECT_0);
    for (const HANDLE child : children) {
        CloseHandle(child);
    }
    std::printf("%d reads while two processes saved\n", samples);
    EXPECT_GT(samples, 10);
    EXPECT_THAT(WorkFiles(path_), ::testing::IsEmpty());
}

// Presses OK in the settings dialog if the session shows it; false when it was refused.
bool ConfirmSettingsIfShown(TestHost& host)
{
    static bool confirmed;
    confirmed = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        // A save or a load that a refusal made fail is told.
        if (const HWND told = FindWindowW(L"#32770", L"Tessel")) {
            TestHost::Click(told, IDOK);
        }
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
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&host](HWND dialog) { DeleteFirstRowAndConfirm(host, dialog); });
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
    // Saved at the switch already: gone, the file shows whether the end of the session saves.
    EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 1, host.SettingsPath().c_str()), 0u);
    ASSERT_TRUE(DeleteFileW(host.SettingsPath().c_str()));
    const HWND window = FindWindowW(L"TesselClass", nullptr);
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    SendMessageW(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);  // the logoff was called off
    EXPECT_FALSE(host.SettingsExist());
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(GetPrivateProfileIntW(L"setting", L"enable", 1, host.SettingsPath().c_str()), 0u);
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), PlainBindings(2));
    host.Unload();
}

// A stand-in for a platform that hands out no more of a section than its documented limit,
// cutting the last line where the limit falls.
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

TEST(CappedSection, BindingsPastTheCapAreReadAndSavedAllTheSame)
{
    const std::vector<Binding> stored = PlainBindings(420);
    // [hotkeys] first: a reading cut short cannot tell that the file holds the table already, so
    // the unload writes a new file, [hotkeys] moved to the end, and checks it.
    const std::string text = AnsiFile(stored) + "[setting]\r\nenable=1\r\n";
    ASSERT_GT(text.size(), SECTION_CAP + 1000);
    TestHost host;
    host.WriteSettings(std::wstring(text.begin(), text.end()));
    const std::string before = FileBytes(host.SettingsPath());
    const HMODULE early = LoadLibraryW((host.Folder() + L"\\Tessel.dll").c_str());
    ASSERT_TRUE(ReplaceImport(early, "kernel32.dll", "GetPrivateProfileSectionW",
                              reinterpret_cast<const void*>(&CappedGetSection)));
    ASSERT_TRUE(host.Load());
    host.Unload();
    FreeLibrary(early);
    EXPECT_NE(FileBytes(host.SettingsPath()), before);
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), stored);
}

// ----- hand edits while the launcher runs -----------------------------------------------------

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

TEST(HandEdits, OkAfterAnEditDuringTheDialogSavesTheDialogAndKeepsTheEditInADatedCopyForGood)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    ASSERT_TRUE(host.Load());
    std::string edited;
    std::wstring told;
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&](HWND dialog) {
        host.WriteSettings(UnicodeFile(PlainBindings(3)));
        edited = FileBytes(host.SettingsPath());
        DeleteFirstRowAndConfirm(host, dialog, &told);
    });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    EXPECT_EQ(ReadKeyByKey(host.SettingsPath()), std::vector<Binding>{PlainBindings(2)[1]});
    const std::wstring kept = NamedFile(told, host.SettingsPath());
    EXPECT_EQ(kept.size(), host.SettingsPath().size() + 23) << ToUtf8(told);  // ".yyyy-mm-dd_hhmmss.kept"
    EXPECT_EQ(FileBytes(kept), edited);
    // A save that fails, two switches, another OK and the unload leave it as it is.
    standInError = ERROR_ACCESS_DENIED;
    ASSERT_TRUE(ReplaceImport(host.Module(L"Tessel.dll"), "kernel32.dll", "MoveFileExW",
                              reinterpret_cast<const void*>(&FailingMoveFileExW)));
    KeepNextMessage(host, &told);
    host.Execute(L"Tessel.dll", 0);
    ASSERT_TRUE(RestoreImport(host.Module(L"Tessel.dll"), "kernel32.dll", "MoveFileExW"));
    host.Execute(L"Tessel.dll", 0);
    host.Execute(L"Tessel.dll", 0);
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&host](HWND dialog) { DeleteFirstRowAndConfirm(host, dialog); });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    host.Unload();
    EXPECT_TRUE(ReadKeyByKey(host.SettingsPath()).empty());
    EXPECT_EQ(FileBytes(kept), edited);
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

FILETIME WriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

void SetWriteTime(const std::wstring& path, const FILETIME& time)
{
    const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

TEST(HandEdits, AnEditKeepingSizeAndTimeIsTakenInOrAtLeastNeverOverwritten)
{
    // Whole seconds, as FAT or a network share keeps them; then a time as fine as the disk's.
    for (const bool coarse : {true, false}) {
        TestHost host;
        host.WriteSettings(UnicodeFile({SAMPLE_K}));
        FILETIME time = WriteTime(host.SettingsPath());
        if (coarse) {
            ULARGE_INTEGER ticks = {{time.dwLowDateTime, time.dwHighDateTime}};
            ticks.QuadPart -= ticks.QuadPart % 10000000;
            time = {ticks.LowPart, ticks.HighPart};
            SetWriteTime(host.SettingsPath(), time);
        }
        ASSERT_TRUE(host.Load({L"Tessel.dll", L"Sample.dll"}));
        host.WriteSettings(UnicodeFile({SAMPLE_J}));
        SetWriteTime(host.SettingsPath(), time);
        const std::string edited = FileBytes(host.SettingsPath());
        if (coarse) {
            EXPECT_TRUE(FiresWithin(host, 'J', L"Sample.dll|7", 5000));
        }
        host.Unload();
        EXPECT_EQ(FileBytes(host.SettingsPath()), edited) << coarse;
    }
}

TEST(HandEdits, AReadOnlyFileIsNeverReplacedAndEachSaveIsTold)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    ASSERT_TRUE(SetFileAttributesW(host.SettingsPath().c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string before = FileBytes(host.SettingsPath());
    ASSERT_TRUE(host.Load());
    std::wstring toggled;
    KeepNextMessage(host, &toggled);
    host.Execute(L"Tessel.dll", 0);
    std::wstring confirmed;
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&](HWND dialog) { DeleteFirstRowAndConfirm(host, dialog, &confirmed); });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    host.Unload();
    for (const std::wstring& told : {toggled, confirmed}) {
        EXPECT_NE(told.find(host.SettingsPath()), std::wstring::npos) << ToUtf8(told);
        EXPECT_NE(told.find(SystemReason(ERROR_ACCESS_DENIED)), std::wstring::npos) << ToUtf8(told);
        EXPECT_NE(told.find(L"読み取り専用の属性を外すまで"), std::wstring::npos) << ToUtf8(told);
    }
    EXPECT_EQ(FileBytes(host.SettingsPath()), before);
    EXPECT_NE(GetFileAttributesW(host.SettingsPath().c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    SetFileAttributesW(host.SettingsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A layout of the file around its enable value, written "@" in text, whose line breaks are CR LF.
struct SwitchLayout {
    std::string text;
    const char* lineBreak;
    bool unicode;  // UTF-16LE, each byte of text a unit
};

// The file's bytes with the value filled in.
std::string LaidOut(const SwitchLayout& layout, char value)
{
    std::string text = layout.text;
    text[text.find('@')] = value;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += std::strlen(layout.lineBreak)) {
        text.replace(at, 2, layout.lineBreak);
    }
    std::string bytes = layout.unicode ? UTF16LE_MARK : "";
    for (const char unit : text) {
        bytes += layout.unicode ? std::string{unit, '\0'} : std::string(1, unit);
    }
    return bytes;
}

TEST(HandEdits, ASwitchChangesTheEnableValueAndNoOtherByte)
{
    // Spacing, blank lines, comments, and "é " that code page 932 cannot hold.
    const std::string spaced = "; written by hand\r\n\r\n[setting]\r\n  enable = @  \r\nname = caf\xE9 \r\n\r\n[other]\r\n"
                               "  spaced = value  \r\n\r\n";
    const std::string hotkeys = AnsiFile(PlainBindings(2));
    const std::string plain = "[setting]\r\nenable=@\r\n" + hotkeys;
    const std::string utf8 = "[setting]\r\nenable=@\r\n" + AnsiFile({{0x0641, L"C:\\ツール\\メモ.exe", L"日本語.txt"}});
    const SwitchLayout layouts[] = {
        {spaced + hotkeys, "\r\n", false},
        {spaced + hotkeys, "\r\n", true},
        {"  [setting] ; mine\r\nenable=@\r\n" + hotkeys, "\r\n", false},
        {"[setting]\r\nenable=@ ; on at start\r\n" + hotkeys, "\r\n", false},
        {"[ setting ]\r\nenable=@\r\n" + hotkeys, "\r\n", false},
        {plain, "\r", false},
        {plain, "\n", false},
        {plain, "\r\r\n", false},
        {"\xEF\xBB\xBF" + utf8, "\r\n", false},
        {utf8, "\r\n", false},
    };
    for (const SwitchLayout& layout : layouts) {
        TestHost host;
        const std::string stored = LaidOut(layout, '1');
        host.WriteSettingsBytes(stored);
        ASSERT_TRUE(host.Load());
        host.Execute(L"Tessel.dll", 0);
        EXPECT_EQ(FileBytes(host.SettingsPath()), LaidOut(layout, '0')) << "layout " << &layout - layouts;
        host.Execute(L"Tessel.dll", 0);
        host.Unload();
        EXPECT_EQ(FileBytes(host.SettingsPath()), stored);
        EXPECT_THAT(TestHost::DialogCaptions(), ::testing::IsEmpty());
    }
}

TEST(HandEdits, AnEditThatLeavesNoBindingIsToldWithTheCopyThatHoldsThemAll)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(3)));
    const std::string before = FileBytes(host.SettingsPath());
    ASSERT_TRUE(host.Load());
    host.WriteSettingsBytes(before.substr(0, 24));  // cut short in "[setting]"
    const std::wstring pattern = host.SettingsPath() + L".*.kept";
    EXPECT_TRUE(host.PumpUntil(
        [&pattern] {
            WIN32_FIND_DATAW found;
            const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
            if (search != INVALID_HANDLE_VALUE) {
                FindClose(search);
            }
            return search != INVALID_HANDLE_VALUE;
        },
        5000));
    std::wstring told;
    KeepNextMessage(host, &told);
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [](HWND dialog) { TestHost::Click(dialog, IDCANCEL); });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    host.Unload();
    EXPECT_EQ(FileBytes(NamedFile(told, host.SettingsPath())), before) << ToUtf8(told);
}

// The clock of the code in this program, when put in GetLocalTime's place: a minute on at every
// reading, as when reloads come minutes apart.
WORD testMinute;

void WINAPI MinuteOnEachReading(LPSYSTEMTIME now)
{
    *now = {2026, 12, 1, 7, 10, static_cast<WORD>(testMinute++ % 60), 0, 0};
}

class KeptCopies : public InProcessSettings {
protected:
    // Another program writes the file, and the watch takes it in (after ForgetSettingsFile(): a start).
    void TakeIn(const std::string& bytes)
    {
        WriteFileBytes(path_, bytes);
        const int before = GetHotkeyCount(liveTable);
        KeepSettingsBeforeReload();
        LoadLive();
        if (before > 0 && GetHotkeyCount(liveTable) == 0) {
            NoteReloadLeftNoBinding();
        }
    }
};

TEST_F(KeptCopies, CopiesThatMessagesNameSurviveElevenReloadsByteForByte)
{
    ASSERT_TRUE(ReplaceImport(GetModuleHandleW(nullptr), "kernel32.dll", "GetLocalTime",
                              reinterpret_cast<const void*>(&MinuteOnEachReading)));
    ForgetSettingsFile();
    TakeIn(AnsiFile(PlainBindings(2)));
    WriteFileBytes(path_, AnsiFile(PlainBindings(4)));  // an edit that OK's save goes over
    const SaveOutcome saved = SaveLive(SaveKind::KeepEdits);
    EXPECT_TRUE(saved.saved);
    const std::wstring savedOver = path_ + saved.keptCopy;
    RememberSavedSettingsFile();
    const std::string beforeEmptying = FileBytes(path_);
    TakeIn("[setting]\r\nenable=1\r\n");
    const std::wstring emptied = path_ + CopyKeptBeforeEmptying();
    for (int reload = 1; reload <= 11; ++reload) {
        TakeIn(AnsiFile(PlainBindings(reload)));
    }
    RestoreImport(GetModuleHandleW(nullptr), "kernel32.dll", "GetLocalTime");
    EXPECT_EQ(FileBytes(savedOver), AnsiFile(PlainBindings(4)));
    EXPECT_EQ(FileBytes(emptied), beforeEmptying);
}

TEST_F(KeptCopies, TheNewestSilentCopyStaysWhateverCopiesNamedAheadOfTheClockOrMarkedReadOnly)
{
    const auto copy = [this](int number) {
        const std::wstring digits = std::to_wstring(number);
        return path_ + L"." + std::wstring(10 - digits.size(), L'0') + digits + L".reload";
    };
    const auto ahead = [this](int made) { return path_ + L".2099-01-01_00000" + std::to_wstring(made) + L".kept"; };
    for (int made = 0; made < 10; ++made) {
        WriteFileBytes(ahead(made), "ahead");
        WriteFileBytes(copy(made / 2 + 1), "older");
    }
    SetFileAttributesW(copy(1).c_str(), FILE_ATTRIBUTE_READONLY);
    ForgetSettingsFile();
    TakeIn(AnsiFile(PlainBindings(1)));
    for (int reload = 2; reload <= 8; ++reload) {
        const std::string before = FileBytes(path_);
        TakeIn(AnsiFile(PlainBindings(reload)));
        ASSERT_EQ(FileBytes(copy(reload + 4)), before) << reload;
    }
    for (int number = 1; number <= 12; ++number) {
        EXPECT_EQ(GetFileAttributesW(copy(number).c_str()) != INVALID_FILE_ATTRIBUTES, number == 1 || number >= 8) << number;
        EXPECT_TRUE(number > 10 || FileBytes(ahead(number - 1)) == "ahead") << number;
    }
}

// A start waits for no clean-up: what an earlier run left goes at the watch's first look.
TEST(Leftovers, AWorkFileThatAKilledSaveLeftGoesWithinASecondOfTheStart)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(1)));
    const std::wstring stray = host.SettingsPath() + L".00000000000000A2.tmp";
    WriteFileBytes(stray, "x");
    SetWriteTime(stray, {0, 0x01D00000});  // years ago
    ASSERT_TRUE(host.Load());
    EXPECT_TRUE(host.PumpUntil([&stray] { return GetFileAttributesW(stray.c_str()) == INVALID_FILE_ATTRIBUTES; }, 2000));
    host.Unload();
}

TEST_F(SaveKilled, AStartDeletesOnlyLeftoversNamedExactlyAsTesselNamesThemReadOnlyOnesToo)
{
    const std::wstring temporary = path_ + L".temp";
    CreateDirectoryW(temporary.c_str(), nullptr);
    const std::vector<std::wstring> others = {temporary + L"\\tessel-20261208-meeting1.tmp", temporary + L"\\tessel-0x00abcd-draft-01.tmp",
                                              temporary + L"\\tessel-+000abcd-00000001.tmp", path_ + L".00000000000000A1.TMP"};
    // Tessel's own, of processes long ended, that a copying tool marked read-only.
    const std::vector<std::wstring> own = {temporary + L"\\tessel-7ffffff0-00000001.tmp", path_ + L".00000000000000A2.tmp"};
    for (const std::vector<std::wstring>* files : {&others, &own}) {
        for (const std::wstring& file : *files) {
            WriteFileBytes(file, "x");
            SetWriteTime(file, {0, 0x01D00000});  // years ago
            SetFileAttributesW(file.c_str(), files == &own ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        }
    }
    wchar_t previous[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", previous, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", temporary.c_str());
    DeleteSettingsLeftovers();  // as a start does
    SetEnvironmentVariableW(L"TMP", previous);
    for (const std::wstring& file : others) {
        EXPECT_EQ(FileBytes(file), "x") << ToUtf8(file);
    }
    for (const std::wstring& file : own) {
        EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES) << ToUtf8(file);
    }
    DeleteTree(temporary);
}

// ----- nothing to save --------------------------------------------------------------------

TEST(NothingToSave, ARunWithoutAChangeLeavesTheFileAndItsBackupByteForByte)
{
    // The bindings before the user's own sections, spaced by hand.
    const std::string text =
        AnsiFile(PlainBindings(2)) + "[setting]\r\nenable = 1\r\n\r\n[other]\r\n  spaced = value  ; aside\r\n";
    for (const std::string& stored : InEachEncoding(text)) {
        TestHost host;
        host.WriteSettingsBytes(stored);
        WriteFileBytes(host.SettingsPath() + L".bak", "the backup before");
        ASSERT_TRUE(host.Load());
        SendMessageW(FindWindowW(L"TesselClass", nullptr), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        host.Unload();
        EXPECT_EQ(FileBytes(host.SettingsPath()), stored) << stored.size() << " bytes";
        EXPECT_EQ(FileBytes(host.SettingsPath() + L".bak"), "the backup before");
    }
}

TEST(NothingToSave, OkWithoutAChangeOnAReadOnlyFileTellsNoFailure)
{
    TestHost host;
    host.WriteSettings(UnicodeFile(PlainBindings(2)));
    ASSERT_TRUE(SetFileAttributesW(host.SettingsPath().c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string before = FileBytes(host.SettingsPath());
    ASSERT_TRUE(host.Load());
    MessageCatcher catcher;
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [](HWND dialog) { TestHost::Click(dialog, IDOK); });
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());
    host.Unload();
    EXPECT_THAT(MessageCatcher::Told(), ::testing::IsEmpty());
    EXPECT_EQ(FileBytes(host.SettingsPath()), before);
    SetFileAttributesW(host.SettingsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(CodePage, TheRunAsOnAJapaneseSystemHasCodePage932)
{
    const char* expected = std::getenv("TESSEL_EXPECTED_CODE_PAGE");
    if (expected != nullptr) {
        EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
}

}  // namespace
