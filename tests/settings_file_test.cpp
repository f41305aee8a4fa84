// The settings file, in-process: the library's module is this test program, so the file is the
// program's name with ".ini". The key-by-key private-profile functions are the oracle for the
// one-call reading and writing of the [hotkeys] section.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "hotkeys/program_scope.h"
#include "settings/section_append.h"
#include "settings/settings.h"
#include "tests/in_process_settings.h"
#include "tests/test_host.h"

namespace {

using Binding = StoredBinding;

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}


// Key by key, the platform rereads the file between writes and so trims the trailing blanks of
// every value but the last one written; those blanks never survive a reading either way.
std::string WithoutTrailingBlanks(const std::string& text)
{
    std::string result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        size_t body = line.size();
        while (body > 0 && (line[body - 1] == '\n' || line[body - 1] == '\r')) {
            --body;
        }
        const std::string ending = line.substr(body);
        while (body > 0 && (line[body - 1] == ' ' || line[body - 1] == '\t')) {
            --body;
        }
        result += line.substr(0, body) + ending;
        start = end;
    }
    return result;
}

void WriteKeyByKey(const std::wstring& path, const std::vector<Binding>& bindings)
{
    WritePrivateProfileStringW(L"hotkeys", nullptr, nullptr, path.c_str());
    for (size_t i = 0; i < bindings.size(); ++i) {
        const std::wstring prefix = L"item" + std::to_wstring(i);
        WritePrivateProfileStringW(L"hotkeys", (prefix + L"_key").c_str(), std::to_wstring(bindings[i].key).c_str(), path.c_str());
        WritePrivateProfileStringW(L"hotkeys", (prefix + L"_command").c_str(), bindings[i].command.c_str(), path.c_str());
        WritePrivateProfileStringW(L"hotkeys", (prefix + L"_param").c_str(), bindings[i].param.c_str(), path.c_str());
        for (const auto& [field, list] : {std::pair(L"_only", &bindings[i].only), std::pair(L"_except", &bindings[i].except)}) {
            if (!list->empty()) {
                WritePrivateProfileStringW(L"hotkeys", (prefix + field).c_str(), list->c_str(), path.c_str());
            }
        }
    }
}

class SettingsFileTest : public InProcessSettings {
protected:
    void Write(const std::string& ansiText) { WriteFileBytes(path_, ansiText); }
    std::vector<Binding> Load()
    {
        LoadLive();
        return TableBindings(liveTable);
    }
    // The file's text; a file with the Unicode mark holds only ASCII in these tests.
    std::string Text() const
    {
        const std::string bytes = FileBytes(path_);
        if (bytes.compare(0, 2, UTF16LE_MARK) != 0) {
            return bytes;
        }
        std::string text;
        for (size_t i = 2; i < bytes.size(); i += 2) {
            text += bytes[i];
        }
        return text;
    }
};

const char WORKED_EXAMPLE[] =
    "[setting]\r\nenable=1\r\n[hotkeys]\r\n"
    "item0_key=1611\r\nitem0_command=Tessel.dll|1\r\nitem0_param=\r\n"
    "item1_key=4165\r\nitem1_command=C:\\Windows\\notepad.exe\r\nitem1_param=C:\\Users\\Public\\memo.txt\r\n"
    "item2_key=368\r\nitem2_command=:toolmenu\r\nitem2_param=\r\n";

TEST_F(SettingsFileTest, WorkedExampleLoadsInOrderAndSavesBackTheSameKeysAndValues)
{
    Write(WORKED_EXAMPLE);
    LoadLive();
    EXPECT_EQ(enabledFlag, 1);
    const std::vector<Binding> expected = {
        {1611, L"Tessel.dll|1", L""},
        {4165, L"C:\\Windows\\notepad.exe", L"C:\\Users\\Public\\memo.txt"},
        {368, L":toolmenu", L""},
    };
    EXPECT_EQ(Load(), expected);

    DeleteFileW(path_.c_str());
    SaveLive();
    EXPECT_EQ(ReadKeyByKey(path_), expected);
    const std::string saved = Text();
    for (const char* line : {"item0_key=1611\r\n", "item0_command=Tessel.dll|1\r\n", "item0_param=\r\n",
                             "item1_key=4165\r\n", "item2_key=368\r\n", "item2_command=:toolmenu\r\n",
                             "[setting]\r\nenable=1\r\n"}) {
        EXPECT_NE(saved.find(line), std::string::npos) << line << " missing from\n" << saved;
    }
}

// A file written before bindings could be limited to programs comes back byte for byte; the lists
// and the pause are read with their bindings and written only when set.
TEST_F(SettingsFileTest, ProgramListsAndThePauseRoundTripAndAFileWithoutThemSavesUnchanged)
{
    Write(WORKED_EXAMPLE);
    LoadLive();
    Load();
    SaveLive();
    EXPECT_EQ(Text(), WORKED_EXAMPLE);

    Write("[setting]\r\nenable=1\r\npause_fullscreen=1\r\n[hotkeys]\r\n"
          "item0_key=1611\r\nitem0_command=a\r\nitem0_param=\r\nitem0_EXCEPT= Excel.exe;mstsc.exe \r\n"
          "item1_key=1612\r\nitem1_only=word.exe\r\nitem1_command=b\r\nitem1_param=\r\n");
    LoadLive();
    EXPECT_EQ(pauseFullscreen, 1);
    ASSERT_EQ(Load().size(), 2u);
    EXPECT_STREQ(GetHotkeyPrograms(liveTable, 0).except, L"Excel.exe;mstsc.exe");
    EXPECT_STREQ(GetHotkeyPrograms(liveTable, 1).only, L"word.exe");
    pauseFullscreen = 0;
    SaveLive();
    EXPECT_EQ(Text(), "[setting]\r\nenable=1\r\npause_fullscreen=0\r\n[hotkeys]\r\n"
                      "item0_key=1611\r\nitem0_command=a\r\nitem0_param=\r\nitem0_except=Excel.exe;mstsc.exe\r\n"
                      "item1_key=1612\r\nitem1_command=b\r\nitem1_param=\r\nitem1_only=word.exe\r\n");
    LoadLive();
    EXPECT_EQ(pauseFullscreen, 0);
    Load();
    EXPECT_STREQ(GetHotkeyPrograms(liveTable, 0).except, L"Excel.exe;mstsc.exe");
    EXPECT_STREQ(GetHotkeyPrograms(liveTable, 1).only, L"word.exe");
}

// A list longer than any field is read and written back whole: nothing of it is cut.
TEST_F(SettingsFileTest, AProgramListOfAnyLengthLoadsAndSavesWhole)
{
    const std::string list = std::string(870, 'x') + ";target.exe";
    const std::string file = "[hotkeys]\r\nitem0_key=1611\r\nitem0_command=a\r\nitem0_param=\r\nitem0_except=" + list +
                             "\r\nitem1_key=1612\r\nitem1_command=b\r\nitem1_param=\r\n";
    Write(file);
    LoadLive();
    ASSERT_EQ(Load().size(), 2u);
    EXPECT_EQ(TextLength(GetHotkeyPrograms(liveTable, 0).except), static_cast<int>(list.size()));
    SaveLive();
    EXPECT_EQ(Text(), "[setting]\r\nenable=1\r\n" + file);
}

TEST_F(SettingsFileTest, MissingFileMeansEnabledWithNoBindings)
{
    LoadLive();
    EXPECT_EQ(enabledFlag, 1);
    EXPECT_TRUE(Load().empty());
    SaveLive();
    EXPECT_EQ(Text(), "[setting]\r\nenable=1\r\n");
}

TEST_F(SettingsFileTest, LoadingStopsAtTheFirstKeyReadingZero)
{
    Write("[hotkeys]\r\nitem0_key=65\r\nitem0_command=a\r\nitem1_key=66\r\nitem1_command=b\r\n"
          "item3_key=68\r\nitem3_command=d\r\n");
    EXPECT_EQ(Load().size(), 2u);
    SaveLive();
    EXPECT_EQ(Text().find("item3"), std::string::npos);

    Write("[hotkeys]\r\nitem0_key=0\r\nitem0_command=a\r\nitem1_key=66\r\nitem1_command=b\r\n");
    EXPECT_TRUE(Load().empty());

    Write("[hotkeys]\r\nitem0_key=65536\r\nitem0_command=a\r\nitem1_key=66\r\n");
    EXPECT_TRUE(Load().empty());
}

TEST_F(SettingsFileTest, KeysKeepTheirLowSixteenBits)
{
    Write("[hotkeys]\r\nitem0_key=70000\r\nitem0_command=a\r\n");
    ASSERT_EQ(Load().size(), 1u);
    EXPECT_EQ(Load()[0].key, 4464);
}

TEST_F(SettingsFileTest, LongTextsLoadAsTheirFirst259Units)
{
    const std::string command(300, 'c');
    const std::string param(300, 'p');
    Write("[hotkeys]\r\nitem0_key=65\r\nitem0_command=" + command + "\r\nitem0_param=" + param + "\r\n");
    const std::vector<Binding> loaded = Load();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].command, std::wstring(259, L'c'));
    EXPECT_EQ(loaded[0].param, std::wstring(259, L'p'));
}

TEST_F(SettingsFileTest, EnabledFlagKeepsItsWholeValueAndOtherSettingKeysSurvive)
{
    Write("[setting]\r\nenable=2\r\ncolour=blue\r\n[hotkeys]\r\nitem0_key=65\r\nitem0_command=a\r\n");
    LoadLive();
    EXPECT_EQ(enabledFlag, 2);
    ClearHotkeyTable(liveTable);
    SaveLive();
    const std::string saved = Text();
    EXPECT_NE(saved.find("enable=2"), std::string::npos) << saved;
    EXPECT_NE(saved.find("colour=blue"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("[hotkeys]"), std::string::npos) << saved;

    Write("[setting]\r\nenable=0\r\n");
    LoadLive();
    EXPECT_EQ(enabledFlag, 0);
}

TEST_F(SettingsFileTest, EleventhItemUsesIndexTenAndEmptyParametersStayAsEmptyValues)
{
    std::vector<Binding> bindings;
    for (int i = 0; i < 11; ++i) {
        bindings.push_back({static_cast<KeyCode>(0x0241 + i), L"cmd" + std::to_wstring(i), L""});
        AppendStoredBinding(liveTable, bindings.back());
    }
    SaveLive();
    const std::string saved = Text();
    EXPECT_NE(saved.find("item10_key=587\r\nitem10_command=cmd10\r\nitem10_param=\r\n"), std::string::npos) << saved;
    EXPECT_EQ(Load(), bindings);
}

TEST_F(SettingsFileTest, EntryWithEmptyCommandIsKeptAndLaterEntriesStillLoad)
{
    Write("[hotkeys]\r\nitem0_key=65\r\nitem0_command=\r\nitem0_param=x\r\nitem1_key=66\r\nitem1_command=b\r\n");
    const std::vector<Binding> expected = {{65, L"", L"x"}, {66, L"b", L""}};
    EXPECT_EQ(Load(), expected);
}

TEST_F(SettingsFileTest, JapaneseTextsRoundTripThroughAUnicodeFile)
{
    WriteFileBytes(path_, UTF16LE_MARK + Utf16Le(L"[hotkeys]\r\nitem0_key=65\r\nitem0_command=C:\\メモ\\日本語.txt\r\nitem0_param=設定\r\n"));
    const std::vector<Binding> expected = {{65, L"C:\\メモ\\日本語.txt", L"設定"}};
    EXPECT_EQ(Load(), expected);
    SaveLive();
    EXPECT_EQ(Load(), expected);
}

// Values the generator draws from: blanks, quotes, letter case, numbers the integer reading
// treats specially, and texts longer than a binding holds.
std::string RandomValue(std::mt19937& random)
{
    static const char* const pieces[] = {
        "", " ", "  x  ", "\"", "'", "\"quoted\"", "'single'", "\"open", "close\"", "'mixed\"", "\"\"",
        "notepad.exe", "Tessel.dll|1", ":exit", "a=b", "C:\\Program Files\\x.exe", "\t tab",
        "1611", "-5", "+7", "0x1F", "0o17", "0b101", "99999999999", "4294967297", "12abc", "  42  ", "\" 300 \"",
    };
    std::string value;
    const int count = static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) {
        value += pieces[random() % (sizeof(pieces) / sizeof(pieces[0]))];
    }
    if (random() % 10 == 0) {
        value += std::string(200 + random() % 200, static_cast<char>('a' + random() % 26));
        if (random() % 2 == 0) {
            value = "\"" + value + "\"";
        }
    }
    return value;
}

std::string RandomKeyName(std::mt19937& random, int index, const char* field)
{
    std::string name = "item" + std::to_string(index) + "_" + field;
    switch (random() % 12) {
    case 0:
        for (char& c : name) {
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        }
        break;
    case 1:
        name = " " + name + " ";
        break;
    case 2:
        name = "item0" + std::to_string(index) + "_" + field;  // not the same key
        break;
    default:
        break;
    }
    return name;
}

std::string RandomKeyValue(std::mt19937& random)
{
    static const char* const keys[] = {"1611", "65", "0", "70000", "65536", "-1", "0x41", "\"66\"", " 67 ", "abc", "",
                                       "4294967361", "1e3", "0b1000001", "+68"};
    if (random() % 3 != 0) {
        return std::to_string(1 + random() % 0x1FFF);
    }
    return keys[random() % (sizeof(keys) / sizeof(keys[0]))];
}

std::string RandomSettingsFile(std::mt19937& random)
{
    std::string text = "[setting]\r\nenable=1\r\nother=kept\r\n[hotkeys]\r\n";
    const int items = static_cast<int>(random() % 14);
    static const char* const fields[] = {"key", "command", "param", "only", "except"};
    for (int i = 0; i < items; ++i) {
        for (const char* field : fields) {
            // A gap; most bindings have no program lists.
            const bool list = field == fields[3] || field == fields[4];
            if (list ? random() % 3 != 0 : random() % 15 == 0) {
                continue;
            }
            std::string value = field == fields[0] ? RandomKeyValue(random) : RandomValue(random);
            if (field != fields[0] && random() % 20 == 0) {
                value += std::string(" \0after a zero unit", 19);
            }
            const std::string separator = random() % 8 == 0 ? " = " : "=";
            text += RandomKeyName(random, i, field) + separator + value + "\r\n";
            if (random() % 10 == 0) {
                text += RandomKeyName(random, i, field) + "=" + RandomValue(random) + "\r\n";  // a duplicate
            }
        }
        if (random() % 12 == 0) {
            text += "; a comment\r\nline without equals\r\n";
        }
    }
    if (random() % 4 == 0) {
        text += "[other]\r\nitem0_key=99\r\n";
    }
    return text;
}

TEST_F(SettingsFileTest, OneCallReadingMatchesKeyByKeyReadingOnGeneratedFiles)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; ++round) {
        const std::string text = RandomSettingsFile(random);
        if (round % 3 == 0) {
            WriteFileBytes(path_, UTF16LE_MARK + Utf16Le(Widen(text)));
        } else {
            Write(text);
        }
        ASSERT_EQ(Load(), ReadKeyByKey(path_)) << "round " << round << ", file:\n" << text;
    }
}

// Where plain values already read back exactly, the file is the one key-by-key writing leaves;
// in every case the platform's reading gives back exactly what was stored.
TEST_F(SettingsFileTest, OneCallWritingLeavesTheSameFileAsKeyByKeyWritingAndReadsBackExactly)
{
    const std::wstring oraclePath = path_.substr(0, path_.size() - 4) + L"-oracle.ini";
    // Every generated file holds enable=1 already, so the save leaves the flag's line alone.
    enabledFlag = 1;
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        const std::string original = RandomSettingsFile(random);
        std::vector<Binding> bindings;
        ClearHotkeyTable(liveTable);
        const int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            // Texts that would lose a unit to the added quotes stay as long as a binding holds.
            std::string command = RandomValue(random).substr(0, 258);
            std::string param = RandomValue(random).substr(0, 258);
            bindings.push_back({static_cast<KeyCode>(1 + random() % 0x1FFF), Widen(command), Widen(param),
                                random() % 3 == 0 ? Widen(RandomValue(random)) : L"",
                                random() % 4 == 0 ? Widen(RandomValue(random)) : L""});
            AppendStoredBinding(liveTable, bindings.back());
        }
        Write(original);
        WriteFileBytes(oraclePath, original);
        SaveLive();
        WriteKeyByKey(oraclePath, bindings);
        if (ReadKeyByKey(oraclePath) == bindings) {
            ASSERT_EQ(WithoutTrailingBlanks(Text()), WithoutTrailingBlanks(FileBytes(oraclePath)))
                << "round " << round << ", file:\n" << original;
        }
        ASSERT_EQ(ReadKeyByKey(path_), bindings) << "round " << round;
    }
    DeleteFileW(oraclePath.c_str());
}

// A save cuts the old bindings off the end of the file itself and leaves the rest to the profile
// functions; it may cut only where every platform would read the same section, in each encoding.
TEST(TrailingBindings, AreCutOnlyWhereNoPlatformCouldReadTheFileOtherwise)
{
    constexpr size_t WHOLE = std::string::npos;
    const struct {
        std::string text;
        size_t cut;  // in units
        bool mayNameEarlier;
    } cases[] = {
        {"[a]\r\nk=1\r\n[hotkeys]\r\nitem0_key=1\r\n", 10, false},
        {"[a]\r\n[HotKeys]\r\nx=1", 5, false},
        {"[hotkeys]\r\nx=1\r\n[b]\r\n", WHOLE, true},
        {"[ hotkeys ]\r\n[x]\r\n[hotkeys]\r\n", 18, true},
        {"[hotkeys]\r\nx=1\r[b]\r\n", WHOLE, true},
        {"[hotkeys]\r\nx=1\r", WHOLE, true},
        {std::string("[hotkeys]\r\nx=\0y\r\n", 17), WHOLE, true},
        {" [hotkeys]\r\nx=1\r\n", WHOLE, true},
        {"[hotkeys] ;\r\n", WHOLE, true},
        {"[hotkeys2]\r\n", WHOLE, true},
        {"[hotkey]\r\n", WHOLE, false},
    };
    for (const auto& sample : cases) {
        for (int encoding = 0; encoding < 3; ++encoding) {
            std::string bytes = encoding == 0 ? "" : encoding == 1 ? UTF16LE_MARK : "\xFE\xFF";
            for (const char unit : sample.text) {
                bytes += encoding == 0   ? std::string(1, unit)
                         : encoding == 1 ? std::string{unit, '\0'}
                                         : std::string{'\0', unit};
            }
            const auto size = static_cast<DWORD>(bytes.size());
            const SectionScan scan = ScanSections(reinterpret_cast<const BYTE*>(bytes.data()), size, L"hotkeys");
            const size_t units = encoding == 0 ? sample.cut : 2 + 2 * sample.cut;
            const DWORD cut = sample.cut == WHOLE ? size : static_cast<DWORD>(units);
            EXPECT_EQ(scan.trailingStart, cut) << sample.text << " in encoding " << encoding;
            EXPECT_EQ(scan.mayNameEarlier, sample.mayNameEarlier) << sample.text << " in encoding " << encoding;
        }
    }
}

}  // namespace
