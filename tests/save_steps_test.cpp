// The steps of a save, each called directly: the flag changed in place, the section appended, the
// told copy, the check before the swap, the file made ready for the profile functions and the
// stored form of a text.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "host/host_driving.h"
#include "settings/flag_line.h"
#include "settings/kept_copies.h"
#include "settings/profile_text.h"
#include "settings/saved_check.h"
#include "settings/section_append.h"
#include "settings/settings.h"
#include "settings/settings_encoding.h"
#include "tests/in_process_settings.h"
#include "tests/test_files.h"

namespace {

enum Encoding { ANSI, UTF16_LE, UTF16_BE };

// ASCII text in the encoding, after its byte-order mark.
std::string Encoded(const std::wstring& text, Encoding encoding)
{
    if (encoding == ANSI) {
        return std::string(text.begin(), text.end());
    }
    const std::string units = Utf16Le(text);
    std::string bytes = encoding == UTF16_LE ? UTF16LE_MARK : "\xFE\xFF";
    for (size_t at = 0; at < units.size(); at += 2) {
        bytes += encoding == UTF16_LE ? units.substr(at, 2) : std::string{units[at + 1], units[at]};
    }
    return bytes;
}

const BYTE* Bytes(const std::string& bytes)
{
    return reinterpret_cast<const BYTE*>(bytes.data());
}

// What a step makes of the bytes, its block released; nothing when it refused.
template <typename Step>
std::optional<std::string> Made(const std::string& bytes, Step step)
{
    DWORD size = 0;
    BYTE* block = step(Bytes(bytes), static_cast<DWORD>(bytes.size()), &size);
    if (block == nullptr) {
        return std::nullopt;
    }
    std::string made(reinterpret_cast<const char*>(block), size);
    ReleaseBlock(block);
    return made;
}

constexpr wchar_t OM[] = L"\x0950";  // a character no ANSI code page holds

TEST(FlagLine, WithFlagInPlaceChangesOnlyTheDigitsOrRefusesADoubtfulLayout)
{
    const struct {
        std::wstring before;
        const wchar_t* after;  // null: refused
    } cases[] = {
        {L"[setting]\r\nenable=1\r\n", L"[setting]\r\nenable=0\r\n"},
        {L"; mine\r\n[Setting] ; x\r\n  ENABLE = +12 ; on\nother=1\r[hotkeys]\r\nenable=5",
         L"; mine\r\n[Setting] ; x\r\n  ENABLE = 0 ; on\nother=1\r[hotkeys]\r\nenable=5"},
        {L"[ setting ]\r\nenable=1", L"[ setting ]\r\nenable=0"},
        {L"[hotkeys]\r\nenable=1\r\n", nullptr},
        {L"[setting]\r\nenable=1\r\n[setting]\r\nother=1\r\n", nullptr},
        {L"[setting]\r\nenable=1\r\nenable=1\r\n", nullptr},
        {L"[setting]\r\nenable=on\r\n", nullptr},
        {L"[setting]]\r\nenable=1\r\n", nullptr},
        {L"\v[setting]\r\nenable=1\r\n", nullptr},
        {L"[setting]\r\n\x00e9nable=2\r\nenable=1\r\n", nullptr},
        {std::wstring(L"[setting]\r\nenable=1\0\r\n", 23), nullptr},
    };
    const auto switchOff = [](const BYTE* bytes, DWORD size, DWORD* newSize) {
        return WithFlagInPlace(bytes, size, L"enable", 0, newSize);
    };
    for (const auto& sample : cases) {
        for (const Encoding encoding : {ANSI, UTF16_LE}) {
            const auto after = Made(Encoded(sample.before, encoding), switchOff);
            const auto expected =
                sample.after != nullptr ? std::optional(Encoded(sample.after, encoding)) : std::optional<std::string>();
            EXPECT_EQ(after, expected) << ToUtf8(sample.before) << " in encoding " << encoding;
        }
    }
}

TEST(SectionAppend, WithSectionAppendedStartsOnALineOfItsOwnInTheFilesEncodingOrRefuses)
{
    const auto appending = [](const std::wstring& section) {
        return [section](const BYTE* bytes, DWORD size, DWORD* newSize) {
            return WithSectionAppended(bytes, size, section.c_str(), newSize);
        };
    };
    const std::wstring section = L"[hotkeys]\r\nitem0_key=65\r\n";
    for (const Encoding encoding : {ANSI, UTF16_LE, UTF16_BE}) {
        for (const auto& [before, between] : {std::pair(L"", L""), std::pair(L"a=1", L"\r\n"),
                                              std::pair(L"a=1\n", L""), std::pair(L"a=1\r\n", L"")}) {
            EXPECT_EQ(Made(Encoded(before, encoding), appending(section)),
                      Encoded(before + std::wstring(between) + section, encoding))
                << ToUtf8(before) << " in encoding " << encoding;
        }
    }
    // A character the code page lacks is refused rather than written as "?".
    const std::wstring other = L"item0_command=" + std::wstring(OM) + L"\r\n";
    const auto refused = Made("a=1\r\n", appending(other));
    const DWORD reason = GetLastError();
    EXPECT_EQ(refused, std::nullopt);
    EXPECT_EQ(reason, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    const std::string unicode = Encoded(L"a=1\r\n", UTF16_LE);
    EXPECT_EQ(Made(unicode, appending(other)), unicode + Utf16Le(other));
}

TEST(SettingsEncoding, ProfileReadyBytesTurnsUnicodeOnlyWhatWouldLoseACharacter)
{
    const std::string unicode = Encoded(L"[a]\r\nk=\x00e9\r\n", UTF16_LE);
    const struct {
        std::optional<std::string> file;  // nothing: no file
        const wchar_t* text;
        std::string ready;
    } cases[] = {
        {std::nullopt, nullptr, UTF16LE_MARK},
        {unicode, OM, unicode},
        {"\xEF\xBB\xBF[a]\r\nk=\xC3\xA9\r\n", nullptr, unicode},
        {"[a]\r\nk=\xC3\xA9\r\n", nullptr, unicode},
        {"[a]\r\nk=v\r\n", L"plain", "[a]\r\nk=v\r\n"},
        {"[a]\r\nk=v\r\n", nullptr, "[a]\r\nk=v\r\n"},
        {"[a]\r\nk=v\r\n", OM, Encoded(L"[a]\r\nk=v\r\n", UTF16_LE)},
    };
    for (const auto& sample : cases) {
        const auto ready = Made(sample.file.value_or(""), [&sample](const BYTE* bytes, DWORD size, DWORD* readySize) {
            return ProfileReadyBytes(sample.file ? bytes : nullptr, size, sample.text, readySize);
        });
        EXPECT_EQ(ready, sample.ready) << sample.file.value_or("no file");
    }
}

using KeptCopy = InProcessSettings;

// Copies told before hold the first name of this second and the next two: a new copy takes the
// next free name of its second, and every told copy keeps its bytes.
TEST_F(KeptCopy, KeepSettingsCopyNeverOverwritesAToldCopyOfTheSameSecond)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME time;
    SystemTimeToFileTime(&now, &time);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    std::vector<std::wstring> told;
    for (ULONGLONG second = 0; second < 3; ++second) {
        const ULONGLONG later = ticks + second * 10000000;
        const FILETIME laterTime = {static_cast<DWORD>(later), static_cast<DWORD>(later >> 32)};
        SYSTEMTIME local;
        FileTimeToSystemTime(&laterTime, &local);
        wchar_t suffix[32];
        FormatText(suffix, ARRAYSIZE(suffix), L".%04u-%02u-%02u_%02u%02u%02u.kept", local.wYear, local.wMonth,
                   local.wDay, local.wHour, local.wMinute, local.wSecond);
        told.push_back(path_ + suffix);
        WriteFileBytes(told.back(), "told before");
    }
    std::vector<std::wstring> kept;
    for (const std::string bytes : {"first", "second"}) {
        wchar_t suffix[SUFFIX_CAPACITY] = {};
        ASSERT_TRUE(KeepSettingsCopy(path_.c_str(), Bytes(bytes), static_cast<DWORD>(bytes.size()), suffix));
        kept.push_back(path_ + suffix);
    }
    EXPECT_EQ(kept[0].substr(kept[0].size() - 7), L"-2.kept");
    EXPECT_EQ(FileBytes(kept[0]), "first");
    EXPECT_EQ(FileBytes(kept[1]), "second");
    for (const std::wstring& copy : told) {
        EXPECT_EQ(FileBytes(copy), "told before");
    }
    wchar_t suffix[SUFFIX_CAPACITY] = {};
    EXPECT_FALSE(KeepSettingsCopy((path_ + L".missing\\Tessel.ini").c_str(), Bytes("x"), 1, suffix));
}

using SavedCheck = InProcessSettings;

// The texts stored quoted come back only with their quotes; any line altered, missing or too many
// is found.
TEST_F(SavedCheck, HotkeysSectionHoldsOnlyWhatTheReadingGivesBackExactly)
{
    AppendStoredBinding(liveTable, {65, L" padded ", L"", L"word.exe"});
    AppendStoredBinding(liveTable, {66, L"b", L"'x'"});
    const std::vector<std::wstring> lines = {
        L"[hotkeys]",    L"item0_key=65",    L"item0_command=\" padded \"", L"item0_param=", L"item0_only=word.exe",
        L"item1_key=66", L"item1_command=b", L"item1_param=\"'x'\"",
    };
    const auto holdsWith = [&](size_t line, const std::wstring& instead) {
        std::wstring text;
        for (size_t at = 0; at < lines.size(); ++at) {
            const std::wstring& kept = at == line ? instead : lines[at];
            text += kept.empty() ? L"" : kept + L"\r\n";
        }
        WriteFileBytes(path_, UTF16LE_MARK + Utf16Le(text));
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, path_.c_str());  // no parse of the last file
        return HotkeysSectionHolds(path_.c_str(), liveTable);
    };
    EXPECT_TRUE(holdsWith(lines.size(), L""));
    const std::pair<size_t, const wchar_t*> faults[] = {
        {2, L"item0_command= padded "}, {7, L"item1_param='x'"}, {4, L""},
        {4, L"item0_only=excel.exe"},   {5, L"item1_key=67"},    {0, L"[hotkeys]\r\nitem2_key=67"},
    };
    for (const auto& [line, instead] : faults) {
        EXPECT_FALSE(holdsWith(line, instead)) << ToUtf8(instead);
    }
}

using ProfileText = InProcessSettings;

// Written as stored, every text comes back from the platform's reading as it was; a text that
// fills the reading's room has no room for the quotes, and no stored form gives it back.
TEST_F(ProfileText, StoredProfileValueQuotesWhatTheReadingWouldTrimOrUnquote)
{
    const struct {
        const wchar_t* text;
        int capacity;
        const wchar_t* stored;
        const wchar_t* read;
    } cases[] = {
        {L"notepad.exe", TEXT_CAPACITY, L"notepad.exe", L"notepad.exe"},
        {L"", TEXT_CAPACITY, L"", L""},
        {L" lead", TEXT_CAPACITY, L"\" lead\"", L" lead"},
        {L"trail\t", TEXT_CAPACITY, L"\"trail\t\"", L"trail\t"},
        {L"end\x1A", TEXT_CAPACITY, L"\"end\x1A\"", L"end\x1A"},
        {L"\"both\"", TEXT_CAPACITY, L"\"\"both\"\"", L"\"both\""},
        {L"'one'", TEXT_CAPACITY, L"\"'one'\"", L"'one'"},
        {L"\"open", TEXT_CAPACITY, L"\"open", L"\"open"},
        {L"abc ", 6, L"\"abc \"", L"abc "},
        {L"abcd ", 6, L"abcd ", L"abcd"},
    };
    for (const auto& sample : cases) {
        wchar_t stored[TEXT_CAPACITY + 2];
        StoredProfileValue(stored, sample.capacity, sample.text);
        EXPECT_STREQ(stored, sample.stored) << ToUtf8(sample.text);
        WritePrivateProfileStringW(L"s", L"k", stored, path_.c_str());
        wchar_t read[TEXT_CAPACITY] = {};
        GetPrivateProfileStringW(L"s", L"k", L"", read, sample.capacity, path_.c_str());
        EXPECT_STREQ(read, sample.read) << ToUtf8(sample.text);
    }
}

}  // namespace
