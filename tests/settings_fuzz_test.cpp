// Settings files of every shape a user, an editor or a broken disk can leave beside the library,
// from a seeded generator: each is loaded and unloaded in the stand-in host. Nothing may crash or
// hang; every binding that loaded is written back in its place with its key and texts, and the
// other keys of [setting] stay, or the file, holding them already, is left as it was. What loaded is what the platform's key-by-key reading finds in
// the file, which is how the bindings are defined to load; for the big files, whose bindings are
// all clean, it is what the generator wrote, as reading thousands of keys one by one costs more
// than the load itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_driving.h"
#include "tests/test_host.h"

namespace {

constexpr unsigned FUZZ_SEED = 20240611;
constexpr int FILES_PER_RUN = 600;
// A case that takes longer than this is reported as hanging, even though it came back: the
// slowest file takes a second or two, where a hang would run into minutes.
constexpr ULONGLONG CASE_TIME_LIMIT_MS = 60000;
// Past this many failing files the rest would only repeat them.
constexpr int MAX_REPORTED_FAILURES = 5;
constexpr int TEXT_UNITS = 260;
constexpr int BIG_FILE_ITEMS = 5000;

using Binding = StoredBinding;

// A binding's fields in the order a save writes them; a list has a line only when it is not empty.
enum Field { FIELD_KEY, FIELD_COMMAND, FIELD_PARAM, FIELD_ONLY, FIELD_EXCEPT, FIELD_COUNT };
constexpr const wchar_t* FIELD_NAMES[FIELD_COUNT] = {L"key", L"command", L"param", L"only", L"except"};

// The text of a field other than the key, of a Binding or a const Binding.
template <typename SomeBinding>
auto& FieldText(SomeBinding& binding, int field)
{
    decltype(&binding.command) const texts[] = {&binding.command, &binding.param, &binding.only, &binding.except};
    return *texts[field - FIELD_COMMAND];
}

// ----- the generator --------------------------------------------------------------------

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}

    unsigned Below(unsigned bound) { return bound == 0 ? 0 : static_cast<unsigned>(random_() % bound); }
    bool OneIn(unsigned chances) { return Below(chances) == 0; }
    template <typename Item, size_t count>
    const Item& Pick(const Item (&items)[count])
    {
        return items[Below(static_cast<unsigned>(count))];
    }

    // A settings document with the sections and oddities a hand-edited file may have. Given
    // bindings (and more than 100 items, so that each is clean), its [hotkeys] section is always
    // there and what loads from it goes to bindings.
    std::wstring Document(int items, std::vector<Binding>* bindings = nullptr)
    {
        std::wstring text;
        if (OneIn(8)) {
            text += L"orphan=before any section" + LineEnd();
        }
        const bool settingFirst = !OneIn(3);
        if (settingFirst) {
            text += SettingSection();
        }
        if (!OneIn(10) || bindings != nullptr) {
            text += HotkeysSection(items, bindings);
        }
        if (OneIn(6)) {
            text += L"[other]" + LineEnd() + L"item0_key=99" + LineEnd() + L"enable=0" + LineEnd();
        }
        if (!settingFirst && !OneIn(4)) {
            text += SettingSection();
        }
        if (OneIn(10)) {
            text += L"[hotkeys]" + LineEnd() + L"item0_key=77" + LineEnd() + L"item0_command=second section" + LineEnd();
        }
        if (OneIn(5)) {
            text += JunkLine();  // and maybe no line end at all
        }
        return text;
    }

    // A run of units from one of a few starts; the zero start fills the value with zero units,
    // as a damaged file may.
    std::wstring LongText(size_t length)
    {
        static const wchar_t starts[] = {L'a', L'Z', L'7', 0x3042, 0x6F22, L'\0'};
        std::wstring text;
        text.reserve(length);
        const wchar_t first = Pick(starts);
        for (size_t i = 0; i < length; ++i) {
            text += static_cast<wchar_t>(first + (i % 7));
        }
        return text;
    }

    // Units of every kind the file may hold, a few of them troublesome.
    wchar_t AnyUnit()
    {
        static const wchar_t units[] = {
            L'a', L'Z', L'0', L'9', L' ', L'\t', L'=', L'[', L']', L';', L'"', L'\'', L'|', L':', L'\\', L'%',
            0x00E9, 0x00FF, 0x3042, 0x6F22, 0x30FC, 0xFF21, 0x3000, 0x00A0, 0x212A, 0x0130, 0xD800, 0xDC00,
            0xFFFD, 0xFEFF, 0x001A, 0x000B, 0x0085, 0x2028,
        };
        return Pick(units);
    }

private:
    std::wstring LineEnd()
    {
        static const wchar_t* const ends[] = {L"\r\n", L"\r\n", L"\r\n", L"\n", L"\r\n", L"\n\r", L" \r\n"};
        return Pick(ends);
    }

    std::wstring JunkLine()
    {
        static const wchar_t* const junk[] = {
            L"line without equals", L"=value without a name", L"; a comment", L"# not a comment", L"[", L"[]",
            L"[unterminated", L"   ", L"", L"==", L"item0_key", L"item_key=1", L"[hotkeys", L"\x1A",
        };
        return std::wstring(Pick(junk)) + LineEnd();
    }

    std::wstring SettingSection()
    {
        static const wchar_t* const headers[] = {L"[setting]", L"[SETTING]", L"  [Setting]  ", L"[setting]"};
        static const wchar_t* const names[] = {L"colour", L"Enabled", L"enable2", L"window", L"last used", L"x"};
        std::wstring text = std::wstring(Pick(headers)) + LineEnd();
        const int keys = static_cast<int>(Below(5));
        bool enableWritten = false;
        for (int i = 0; i < keys; ++i) {
            if (!enableWritten && OneIn(2)) {
                text += EnableLine();
                enableWritten = true;
            }
            text += std::wstring(Pick(names)) + L"=" + Text(false) + LineEnd();
            if (OneIn(6)) {
                text += JunkLine();
            }
        }
        if (!enableWritten && !OneIn(3)) {
            text += EnableLine();
        }
        if (OneIn(8)) {
            text += EnableLine();  // a duplicate
        }
        return text;
    }

    std::wstring EnableLine()
    {
        static const wchar_t* const values[] = {L"1", L"0", L"2", L"-1", L"", L"yes", L"0x10", L"99999999999", L" 0 "};
        static const wchar_t* const names[] = {L"enable", L"ENABLE", L" enable", L"Enable "};
        return std::wstring(Pick(names)) + L"=" + Pick(values) + LineEnd();
    }

    std::wstring HotkeysSection(int items, std::vector<Binding>* bindings)
    {
        static const wchar_t* const headers[] = {L"[hotkeys]", L"[HOTKEYS]", L" [hotkeys] ", L"[hotkeys]", L"[Hotkeys]"};
        std::wstring text = std::wstring(Pick(headers)) + LineEnd();
        std::vector<int> order(static_cast<size_t>(items));
        for (int i = 0; i < items; ++i) {
            order[static_cast<size_t>(i)] = i;
        }
        if (OneIn(4)) {
            std::shuffle(order.begin(), order.end(), random_);  // keys out of order
        }
        const bool clean = items > 100;  // the big files test size, not every oddity at once
        if (bindings != nullptr) {
            bindings->assign(static_cast<size_t>(items), Binding{});
        }
        for (int index : order) {
            if (!clean && OneIn(25)) {
                continue;  // a gap
            }
            for (int field = 0; field < FIELD_COUNT; ++field) {
                // A binding may be limited to programs, kept out of some, both or neither.
                if (field == FIELD_ONLY ? !OneIn(3) : field == FIELD_EXCEPT ? !OneIn(4) : !clean && OneIn(20)) {
                    continue;
                }
                const std::wstring value = FieldValue(field, clean);
                text += Name(index, FIELD_NAMES[field], clean) + Separator(clean) + value;
                text += LineEnd();
                if (bindings != nullptr) {
                    Binding& binding = (*bindings)[static_cast<size_t>(index)];
                    if (field == FIELD_KEY) {
                        binding.key = static_cast<unsigned>(std::stoul(value));
                    } else {
                        FieldText(binding, field) = value;
                    }
                }
                if (!clean && OneIn(12)) {
                    text += Name(index, FIELD_NAMES[field], false) + L"=" + FieldValue(field, false) + LineEnd();
                }
            }
            if (!clean && OneIn(15)) {
                text += JunkLine();
            }
        }
        return text;
    }

    std::wstring Name(int index, const wchar_t* field, bool clean)
    {
        std::wstring name = L"item" + std::to_wstring(index) + L"_" + field;
        if (clean) {
            return name;
        }
        switch (Below(24)) {
        case 0:
            for (wchar_t& unit : name) {
                unit = static_cast<wchar_t>(towupper(unit));
            }
            break;
        case 1:
            name = L"  " + name + L"\t";
            break;
        case 2:
            name = L"item0" + std::to_wstring(index) + L"_" + field;
            break;
        case 3:
            name = L"item+" + std::to_wstring(index) + L"_" + field;
            break;
        case 4:
            name[Below(static_cast<unsigned>(name.size()))] = AnyUnit();
            break;
        case 5:
            name += L"x";
            break;
        default:
            break;
        }
        return name;
    }

    std::wstring FieldValue(int field, bool clean)
    {
        if (field == FIELD_KEY) {
            return KeyValue(clean);
        }
        if (field >= FIELD_ONLY) {
            return ProgramList(clean);
        }
        if (!clean && OneIn(100)) {
            static const wchar_t* const blanks[] = {L" ", L"\t", L"\x1A"};
            return LongText(258) + Pick(blanks) + L"tail";  // loads as 259 units with a blank at the end
        }
        return Text(clean);
    }

    // Program names joined by semicolons: one, a few, or so many that the list runs far past the
    // 259 units of a command. Clean lists hold plain names; others any text a value may hold,
    // blanks, quotes and odd units at its ends included.
    std::wstring ProgramList(bool clean)
    {
        static const wchar_t* const names[] = {L"word.exe", L"EXCEL.EXE", L"mstsc.exe", L"tessel.exe", L"a b.exe"};
        const unsigned count = OneIn(10) ? 40 + Below(40) : 1 + Below(3);
        std::wstring list;
        for (unsigned i = 0; i < count; ++i) {
            list += (i > 0 ? L";" : L"") + (clean ? std::wstring(Pick(names)) : Text(false));
        }
        return list;
    }

    std::wstring Separator(bool clean)
    {
        if (clean) {
            return L"=";
        }
        static const wchar_t* const separators[] = {L"=", L"=", L"=", L" = ", L"\t=", L"= ", L"=="};
        return Pick(separators);
    }

    std::wstring KeyValue(bool clean)
    {
        if (clean || !OneIn(3)) {
            return std::to_wstring(1 + Below(0x1FFF));
        }
        static const wchar_t* const values[] = {
            L"0", L"65536", L"70000", L"-1", L"-1611", L"-65536", L"4294967296", L"4294967361",
            L"99999999999999999999999", L"0x64B", L"0X64B", L"0o777", L"0b1000001", L"\"1611\"", L"'66'", L" 67 ",
            L"+68", L"1e3", L"12abc", L"abc", L"", L"\"", L"0x", L"-", L"\x3000 65", L"\xFF11\xFF12",
        };
        if (OneIn(40)) {
            return LongText(10000);
        }
        return Pick(values);
    }

    std::wstring Text(bool clean)
    {
        if (clean) {
            return L"C:\\Tools\\program" + std::to_wstring(Below(100000)) + L".exe";
        }
        static const wchar_t* const pieces[] = {
            L"", L" ", L"notepad.exe", L"Tessel.dll|1", L"Sample.dll|7", L":exit", L":toolmenu", L"a=b", L"\"",
            L"'", L"\"quoted\"", L"'single'", L"\"open", L"close'", L"C:\\Program Files\\x.exe", L"\t tab",
            L"メモ帳", L"設定 ", L"%s%d%ls%n", L"[section]", L";semicolon", L"\\\\server\\share",
            L"\U0001F600", L"Zo\u00EB", L"\uD55C\uAD6D\uC5B4", L" lead", L"trail\t", L"\"a b\" \"c d\"",
        };
        std::wstring text;
        const int count = static_cast<int>(Below(4));
        for (int i = 0; i < count; ++i) {
            text += Pick(pieces);
        }
        switch (Below(30)) {
        case 0:
            text += LongText(10000);
            break;
        case 1:
            text += LongText(255 + Below(10));
            break;
        case 2:
            text = L"\"" + LongText(255 + Below(10)) + L"\"";
            break;
        case 3:
            for (int i = 0; i < 8; ++i) {
                text += AnyUnit();
            }
            break;
        case 4:
        case 5:
        case 6:
            text = L"\"" + text + L"\"";  // read as the text inside, blanks and quotes included
            break;
        default:
            break;
        }
        return text;
    }

    std::mt19937 random_;
};

// ----- encodings --------------------------------------------------------------------------

std::string Utf16Be(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t unit : text) {
        bytes += static_cast<char>((unit >> 8) & 0xFF);
        bytes += static_cast<char>(unit & 0xFF);
    }
    return bytes;
}

std::string Encode(UINT codePage, const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring Decode(UINT codePage, const std::string& bytes)
{
    if (bytes.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

// The file's text as the private-profile functions take it: by its byte order mark, else ANSI.
std::wstring DecodeSettings(const std::string& bytes)
{
    if (bytes.compare(0, 2, UTF16LE_MARK) == 0) {
        return FromUtf16Le(bytes.substr(2));
    }
    if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
        std::wstring text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text += static_cast<wchar_t>((static_cast<unsigned char>(bytes[i]) << 8) | static_cast<unsigned char>(bytes[i + 1]));
        }
        return text;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        return Decode(CP_UTF8, bytes.substr(3));
    }
    return Decode(CP_ACP, bytes);
}

// ----- the cases --------------------------------------------------------------------------

struct FuzzCase {
    std::string kind;
    std::string bytes;
    // What loads from the file, when the generator knows it (bindingsKnown).
    std::vector<Binding> bindings = {};
    bool bindingsKnown = false;
};

// A big file of the generator's, in the code page or in UTF-16 with its mark.
FuzzCase BigCase(Generator& generator, bool unicode)
{
    FuzzCase big = {"", "", {}, true};
    const std::wstring text = generator.Document(BIG_FILE_ITEMS, &big.bindings);
    big.kind = std::to_string(BIG_FILE_ITEMS) + " items, " + (unicode ? "UTF-16 with mark" : "ANSI");
    big.bytes = unicode ? UTF16LE_MARK + Utf16Le(text) : Encode(CP_ACP, text);
    return big;
}

FuzzCase MakeCase(Generator& generator, int number)
{
    const int items = generator.OneIn(20) ? static_cast<int>(50 + generator.Below(150)) : static_cast<int>(generator.Below(16));
    switch (number % 9) {
    case 0: {
        std::string bytes(generator.Below(4000), '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(generator.Below(256));
        }
        if (generator.OneIn(2)) {
            bytes.insert(generator.Below(static_cast<unsigned>(bytes.size() + 1)), "\r\n[hotkeys]\r\nitem0_key=65\r\n");
        }
        return {"random bytes", bytes};
    }
    case 1: {
        const std::string whole = Encode(CP_ACP, generator.Document(items));
        return {"truncated ANSI", whole.substr(0, generator.Below(static_cast<unsigned>(whole.size() + 1)))};
    }
    case 2: {
        // Cut between units: Wine reads half a unit at the end of a file with a byte past its
        // buffer, so nothing could tell what it holds (a test of the integrity program cuts one).
        const std::string whole = UTF16LE_MARK + Utf16Le(generator.Document(items));
        return {"truncated UTF-16", whole.substr(0, 2 * generator.Below(static_cast<unsigned>(whole.size() / 2 + 1)))};
    }
    case 3:
        return {"UTF-16 with mark", UTF16LE_MARK + Utf16Le(generator.Document(items))};
    case 4:
        return {"UTF-16 without mark", Utf16Le(generator.Document(items))};
    case 5: {
        std::string bytes = Encode(CP_ACP, generator.Document(items));
        const int flips = 1 + static_cast<int>(generator.Below(12));
        for (int i = 0; i < flips && !bytes.empty(); ++i) {
            bytes[generator.Below(static_cast<unsigned>(bytes.size()))] = static_cast<char>(generator.Below(256));
        }
        return {"ANSI with damaged bytes", bytes};
    }
    case 6:
        if (generator.OneIn(2)) {
            return {"UTF-16 big-endian with mark", "\xFE\xFF" + Utf16Be(generator.Document(items))};
        }
        return {"UTF-8 with mark", "\xEF\xBB\xBF" + Encode(CP_UTF8, generator.Document(items))};
    default:
        return {"ANSI", Encode(CP_ACP, generator.Document(items))};
    }
}

// ----- what the platform reads ------------------------------------------------------------

std::vector<std::wstring> ReadSectionEntries(const std::wstring& path, const wchar_t* section)
{
    for (DWORD capacity = 4096;; capacity *= 4) {
        std::wstring buffer(capacity, L'\0');
        const DWORD length = GetPrivateProfileSectionW(section, buffer.data(), capacity, path.c_str());
        if (length >= capacity - 2 && capacity < (1u << 26)) {
            continue;
        }
        std::vector<std::wstring> entries;
        for (const wchar_t* entry = buffer.c_str(); *entry != L'\0'; entry += lstrlenW(entry) + 1) {
            entries.emplace_back(entry);
        }
        return entries;
    }
}

bool NamesEnable(const std::wstring& entry)
{
    const std::wstring name = entry.substr(0, entry.find(L'='));
    return CompareStringOrdinal(name.c_str(), -1, L"enable", -1, TRUE) == CSTR_EQUAL;
}

bool IsProfileBlank(wchar_t unit)
{
    WORD type = 0;
    return unit == 0x1A || (GetStringTypeW(CT_CTYPE1, &unit, 1, &type) && (type & C1_SPACE) != 0);
}

// The platform keeps no blanks at either end of a value: it trims them when it reads the file,
// and a value cut at a zero unit loses those it had before the cut once the file is rewritten.
std::wstring_view TrimmedView(std::wstring_view value)
{
    while (!value.empty() && IsProfileBlank(value.front())) {
        value.remove_prefix(1);
    }
    while (!value.empty() && IsProfileBlank(value.back())) {
        value.remove_suffix(1);
    }
    return value;
}

std::wstring TrimmedValue(const std::wstring& entry)
{
    const size_t separator = entry.find(L'=');
    if (separator == std::wstring::npos) {
        return entry;
    }
    return entry.substr(0, separator + 1) + std::wstring(TrimmedView(std::wstring_view(entry).substr(separator + 1)));
}

std::vector<std::wstring> OtherSettingEntries(const std::wstring& path)
{
    std::vector<std::wstring> others;
    for (const std::wstring& entry : ReadSectionEntries(path, L"setting")) {
        if (!NamesEnable(entry)) {
            others.push_back(TrimmedValue(entry));
        }
    }
    return others;
}

// The first entry of before that is not in after in the same order, or empty. The platform may
// add entries: it writes a section without a name ("[]") as none, so its keys join the section
// before it.
std::string FirstLostEntry(const std::vector<std::wstring>& after, const std::vector<std::wstring>& before)
{
    size_t next = 0;
    for (const std::wstring& entry : after) {
        if (next < before.size() && entry == before[next]) {
            ++next;
        }
    }
    return next == before.size() ? std::string() : "\"" + ToUtf8(before[next].substr(0, 300)) + "\"";
}

// The lines of the file's [hotkeys] sections that hold any, each section's lines in a list of its
// own, as views into the text. An empty section loads nothing, so it does not count.
std::vector<std::vector<std::wstring_view>> HotkeysSections(const std::wstring& text)
{
    std::vector<std::vector<std::wstring_view>> sections;
    bool inside = false;
    size_t start = 0;
    while (start < text.size()) {
        // A line ends at a line feed, with or without a carriage return, as the platform reads it.
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring_view line = std::wstring_view(text).substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.remove_suffix(1);
        }
        start = end + 1;
        if (!line.empty() && line[0] == L'[') {
            inside = CompareStringOrdinal(line.data(), static_cast<int>(line.size()), L"[hotkeys]", -1, TRUE) == CSTR_EQUAL;
            if (inside) {
                sections.emplace_back();
            }
            continue;
        }
        if (inside) {
            sections.back().push_back(line);
        }
    }
    sections.erase(std::remove_if(sections.begin(), sections.end(),
                                  [](const std::vector<std::wstring_view>& lines) { return lines.empty(); }),
                   sections.end());
    return sections;
}

// The line a field of the binding at index is saved as, into line (whose room is used again: a
// 5,000-binding file has some 17,000 lines, and under the heap checking every block taken costs a
// walk of the heap).
void ExpectedLine(const Binding& binding, size_t index, int field, std::wstring* line)
{
    line->assign(L"item").append(std::to_wstring(index)).append(L"_").append(FIELD_NAMES[field]).append(L"=");
    if (field == FIELD_KEY) {
        line->append(std::to_wstring(binding.key));
    } else {
        line->append(FieldText(binding, field));
    }
}

bool IsSaved(const Binding& binding, int field)
{
    return field < FIELD_ONLY || !FieldText(binding, field).empty();
}

// Whether the saved line is the expected one in what the saving writes as it is: the name, and
// all of a key line but blanks at the value's ends (a text may be stored in quotes, so that it
// reads back exactly). With clean texts, a text must read back as it was: bare, or inside a pair
// of quotes that the reading takes off.
bool SameLine(std::wstring_view want, std::wstring_view got, bool cleanTexts)
{
    const size_t separator = want.find(L'=');
    if (separator == std::wstring_view::npos || got.substr(0, separator + 1) != want.substr(0, separator + 1)) {
        return want == got;
    }
    const std::wstring_view name = want.substr(0, separator);
    const bool key = name.size() >= 4 && name.substr(name.size() - 4) == L"_key";
    const std::wstring_view wanted = want.substr(separator + 1);
    const std::wstring_view saved = got.substr(separator + 1);
    if (key) {
        return TrimmedView(wanted) == TrimmedView(saved);
    }
    const bool quoted = saved.size() >= 2 && saved.front() == L'"' && saved.back() == L'"';
    return !cleanTexts || wanted == (quoted ? saved.substr(1, saved.size() - 2) : saved);
}

std::string LineDifference(size_t line, std::wstring_view want, std::wstring_view got)
{
    return "line " + std::to_string(line) + " of [hotkeys]: expected \"" + ToUtf8(std::wstring(want.substr(0, 300))) +
           "\", saved \"" + ToUtf8(std::wstring(got.substr(0, 300))) + "\"";
}

// The first difference between the saved section and the bindings' lines, or empty.
std::string FirstDifference(const std::vector<std::wstring_view>& saved, const std::vector<Binding>& bindings,
                            bool cleanTexts)
{
    std::wstring want;
    size_t line = 0;
    for (size_t index = 0; index < bindings.size(); ++index) {
        for (int field = 0; field < FIELD_COUNT; ++field) {
            if (!IsSaved(bindings[index], field)) {
                continue;
            }
            ExpectedLine(bindings[index], index, field, &want);
            const std::wstring_view got = line < saved.size() ? saved[line] : L"(nothing)";
            if (!SameLine(want, got, cleanTexts)) {
                return LineDifference(line, want, got);
            }
            ++line;
        }
    }
    return line < saved.size() ? LineDifference(line, L"(nothing)", saved[line]) : std::string();
}

// The private-profile functions keep a parsed copy of the file for as long as its time of last
// writing stays the same, and that time moves in steps of milliseconds: a file rewritten within
// one step would be read from the copy of the one before. Each case's file gets a time of its own.
void StampWriteTime(const std::wstring& path, int number)
{
    const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    constexpr ULONGLONG YEAR_2001 = 126227808000000000ull;  // in 100-nanosecond steps since 1601
    constexpr ULONGLONG SECOND = 10000000ull;
    const ULONGLONG time = YEAR_2001 + static_cast<ULONGLONG>(number) * SECOND;
    FILETIME written = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    SetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
}

// A text of the full 259 units that the reading would trim or unquote has no room for the quotes
// that protect it: no stored form reads back as it.
bool CannotBeStored(const std::wstring& text)
{
    if (text.size() != TEXT_UNITS - 1) {
        return false;
    }
    for (const wchar_t end : {text.front(), text.back()}) {
        if (end == L' ' || end == L'\t' || end == L'\v' || end == L'\f' || end == 0x1A) {
            return true;
        }
    }
    return (text.front() == L'"' || text.front() == L'\'') && text.back() == text.front();
}

bool HoldsTextThatCannotBeStored(const std::vector<Binding>& bindings)
{
    return std::any_of(bindings.begin(), bindings.end(), [](const Binding& binding) {
        return CannotBeStored(binding.command) || CannotBeStored(binding.param);
    });
}

// How the next start's key-by-key reading of the file differs from the loaded bindings, or empty.
std::string FirstReadBackDifference(const std::wstring& path, const std::vector<Binding>& loaded)
{
    const std::vector<Binding> next = ReadKeyByKey(path);
    for (size_t i = 0; i < next.size() || i < loaded.size(); ++i) {
        if (i >= next.size() || i >= loaded.size() || next[i].key != loaded[i].key) {
            return std::to_string(loaded.size()) + " bindings loaded, the next start would load " +
                   std::to_string(next.size()) + ", differing from binding " + std::to_string(i) + " on";
        }
        if (!(loaded[i] == next[i])) {
            return "binding " + std::to_string(i) + " loaded as " + ::testing::PrintToString(loaded[i]) +
                   " would come back as " + ::testing::PrintToString(next[i]);
        }
    }
    return {};
}

struct LoadedState {
    const std::vector<Binding>& bindings;
    bool clean;  // every text clean, as the generator wrote them
    std::vector<std::wstring> otherSettings;
    int enabled;
};

// What is wrong with the file the unload left, or empty: its [hotkeys] must hold the loaded
// bindings, in order, as lines the platform reads back as those bindings; the next start must
// find exactly as many; [setting] keeps its other keys and gets the flag as it was. Clean
// bindings read back as their lines say; others are read back key by key.
std::string CheckSavedFile(const std::wstring& path, const LoadedState& loaded)
{
    const std::wstring text = DecodeSettings(FileBytes(path));
    const std::vector<std::vector<std::wstring_view>> sections = HotkeysSections(text);
    const size_t expectedSections = loaded.bindings.empty() ? 0 : 1;
    if (sections.size() != expectedSections) {
        return std::to_string(loaded.bindings.size()) + " bindings loaded, and the saved file has " +
               std::to_string(sections.size()) + " [hotkeys] sections with entries";
    }
    if (!sections.empty()) {
        const std::string difference = FirstDifference(sections[0], loaded.bindings, loaded.clean);
        if (!difference.empty()) {
            return difference;
        }
    }
    const std::string readBack = loaded.clean ? std::string() : FirstReadBackDifference(path, loaded.bindings);
    if (!readBack.empty()) {
        return readBack;
    }
    const std::string lost = FirstLostEntry(OtherSettingEntries(path), loaded.otherSettings);
    if (!lost.empty()) {
        return "the key " + lost + " of [setting] was lost or changed";
    }
    const int savedEnabled = static_cast<int>(GetPrivateProfileIntW(L"setting", L"enable", 1, path.c_str()));
    if (savedEnabled != loaded.enabled) {
        return "enable was " + std::to_string(loaded.enabled) + " and was saved as " + std::to_string(savedEnabled);
    }
    return {};
}

// What is wrong with a file the unload left byte for byte, or empty: it held the loaded bindings
// already, so the next start finds them, in the one [hotkeys] the platform sees.
std::string CheckUntouchedFile(const std::wstring& path, const LoadedState& loaded)
{
    std::vector<wchar_t> names(FileBytes(path).size() + 4);
    GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()), path.c_str());
    int sections = 0;
    for (const wchar_t* name = names.data(); *name != L'\0'; name += wcslen(name) + 1) {
        sections += CompareStringOrdinal(name, -1, L"hotkeys", -1, TRUE) == CSTR_EQUAL ? 1 : 0;
    }
    if (sections > 1) {
        return "the file was left with " + std::to_string(sections) + " [hotkeys] sections";
    }
    return FirstReadBackDifference(path, loaded.bindings);
}

// ----- reporting a crash ------------------------------------------------------------------

std::string currentCase;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception)
{
    std::fprintf(stderr, "\nCRASH (exception 0x%08lX) while loading or unloading %s; the file is left in the test folder\n",
                 static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode), currentCase.c_str());
    std::fflush(stderr);
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST(BadSettingsFile, HotkeysSectionsAfterTheFirstGoWithItSoNoBindingComesBackAtTheNextStart)
{
    TestHost host;
    const std::wstring path = host.SettingsPath();
    // The first section loads nothing: without an item0_key the list ends at once.
    host.WriteSettings(L"[hotkeys]\r\nitem1_key=65\r\nitem1_command=first\r\n[setting]\r\nenable=1\r\n"
                       L"[hotkeys]\r\nitem0_key=66\r\nitem0_command=second\r\n"
                       L"[hotkeys]\r\nitem0_key=67\r\nitem0_command=third\r\n");
    StampWriteTime(path, 1);
    ASSERT_TRUE(host.Load());
    host.Unload();
    EXPECT_TRUE(ReadKeyByKey(path).empty());
    EXPECT_EQ(host.ReadSettings().find(L"item0_"), std::wstring::npos) << ToUtf8(host.ReadSettings());

    host.WriteSettings(L"[hotkeys]\r\nitem0_key=65\r\nitem0_command=first\r\n"
                       L"[hotkeys]\r\nitem0_key=66\r\nitem0_command=second\r\nitem1_key=68\r\nitem1_command=x\r\n"
                       L"[hotkeys]\r\nitem0_key=67\r\nitem0_command=third\r\n");
    StampWriteTime(path, 2);
    ASSERT_TRUE(host.Load());
    host.Unload();
    const std::vector<Binding> next = ReadKeyByKey(path);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].command, L"first");
    EXPECT_EQ(HotkeysSections(host.ReadSettings()).size(), 1u) << ToUtf8(host.ReadSettings());
}

// Loads and unloads each file the cases make in the host and checks what the unload saved; a
// failure is reported with both files kept beside the test's.
void TryFiles(int files, const std::function<FuzzCase(Generator&, int)>& makeCase, int atLeast)
{
    TestHost host;
    const std::wstring path = host.SettingsPath();
    // Another seed explores further: TESSEL_FUZZ_SEED=n; a failure names the seed it ran with.
    const char* seedText = std::getenv("TESSEL_FUZZ_SEED");
    const unsigned seed = seedText != nullptr ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : FUZZ_SEED;
    Generator generator(seed);
    const LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = SetUnhandledExceptionFilter(ReportCrash);

    std::map<std::string, int> tried;
    int failures = 0;
    int bindingsChecked = 0;
    int limitedChecked = 0;
    ULONGLONG slowest = 0;
    for (int number = 0; number < files && failures < MAX_REPORTED_FAILURES; ++number) {
        const FuzzCase fuzz = makeCase(generator, number);
        ++tried[fuzz.kind];
        currentCase = "file " + std::to_string(number) + " (" + fuzz.kind + ", " + std::to_string(fuzz.bytes.size()) +
                      " bytes, seed " + std::to_string(seed) + ")";
        host.WriteSettingsBytes(fuzz.bytes);
        StampWriteTime(path, number);

        const std::vector<Binding> read = fuzz.bindingsKnown ? std::vector<Binding>() : ReadKeyByKey(path);
        const std::vector<Binding>& stored = fuzz.bindingsKnown ? fuzz.bindings : read;
        const std::vector<std::wstring> others = OtherSettingEntries(path);
        const int enabled = static_cast<int>(GetPrivateProfileIntW(L"setting", L"enable", 1, path.c_str()));

        const ULONGLONG start = GetTickCount64();
        const bool loaded = host.Load();
        const std::vector<BOOL> unloaded = host.Unload();
        const ULONGLONG took = GetTickCount64() - start;
        slowest = std::max(slowest, took);
        host.ClearRecords();

        std::string problem;
        if (!loaded || unloaded != std::vector<BOOL>{TRUE}) {
            problem = "the plug-in did not load and unload cleanly";
        } else if (took > CASE_TIME_LIMIT_MS) {
            problem = "loading and unloading took " + std::to_string(took) + " ms";
        } else {
            // An old time of its own for the saved file too: the platform parses a file written
            // within the last seconds again at every reading, key by key.
            StampWriteTime(path, FILES_PER_RUN + number);
            const LoadedState state = {stored, fuzz.bindingsKnown, others, enabled};
            // Such a text refuses the save rather than be changed.
            if (HoldsTextThatCannotBeStored(stored)) {
                problem = FileBytes(path) == fuzz.bytes ? "" : "a text no stored form reads back as was saved over";
            } else {
                problem = FileBytes(path) == fuzz.bytes ? CheckUntouchedFile(path, state) : CheckSavedFile(path, state);
            }
        }
        // The platform keeps its parse of each file it read, tens of thousands of blocks for a big
        // one, and under the heap checking every block taken or freed walks them all.
        for (const wchar_t* suffix : {L"", L".tmp"}) {
            WritePrivateProfileStringW(nullptr, nullptr, nullptr, (path + suffix).c_str());
        }
        if (!problem.empty()) {
            ++failures;
            const std::wstring kept = host.Folder() + L"\\failed-" + std::to_wstring(number);
            WriteFileBytes(kept + L".ini", fuzz.bytes);
            CopyFileW(path.c_str(), (kept + L"-saved.ini").c_str(), FALSE);
            ADD_FAILURE() << currentCase << ": " << problem << "; kept as " << ToUtf8(kept) << ".ini and -saved.ini";
        }
        bindingsChecked += static_cast<int>(stored.size());
        limitedChecked += static_cast<int>(std::count_if(stored.begin(), stored.end(), [](const Binding& binding) {
            return !binding.only.empty() || !binding.except.empty();
        }));
    }
    SetUnhandledExceptionFilter(previousFilter);

    int total = 0;
    std::string kinds;
    for (const auto& [kind, count] : tried) {
        total += count;
        kinds += "\n  " + std::to_string(count) + " " + kind;
    }
    std::printf("settings files tried: %d, bindings checked: %d (%d with program lists), slowest load and unload: "
                "%llu ms%s\n",
                total, bindingsChecked, limitedChecked, static_cast<unsigned long long>(slowest), kinds.c_str());
    EXPECT_GE(total, atLeast);
}


TEST(SettingsFuzz, NoFileBreaksTheLoadOrTheUnloadAndEveryLoadedBindingIsSavedBackUnchanged)
{
    TryFiles(FILES_PER_RUN, MakeCase, 500);
}

// Run apart from the fuzzing, without the heap checking: its walk of every block at every block
// taken makes a file of 5,000 bindings cost twenty seconds. Every buffer the load and the save
// take is sized from the file or from the count of bindings, so the medium files above take the
// same paths under that checking.
TEST(SettingsFuzz, FilesOfFiveThousandBindingsLoadAndSaveWhole)
{
    TryFiles(2, [](Generator& generator, int number) { return BigCase(generator, number == 1); }, 2);
}

}  // namespace
