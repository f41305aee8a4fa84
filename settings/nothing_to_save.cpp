#include "settings/nothing_to_save.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/hotkeys_section.h"
#include "settings/profile_text.h"
#include "settings/safe_save.h"
#include "settings/setting_keys.h"
#include "settings/settings_source.h"
#include "settings/settings_watch.h"

namespace {

struct Span {
    const wchar_t* begin;
    const wchar_t* end;
};

Span Trimmed(const wchar_t* begin, const wchar_t* end)
{
    while (begin < end && IsProfileBlank(*begin)) {
        ++begin;
    }
    while (end > begin && IsProfileBlank(end[-1])) {
        --end;
    }
    return {begin, end};
}

bool SameText(const Span& left, const Span& right)
{
    const size_t length = static_cast<size_t>(left.end - left.begin);
    return length == static_cast<size_t>(right.end - right.begin) && std::wmemcmp(left.begin, right.begin, length) == 0;
}

// Two "name=value" entries read the same: the same name and the same value once the blanks the
// reading trims are off. An entry without "=" is a name whose value reads as empty.
bool SameEntry(const Span& left, const Span& right)
{
    const wchar_t* leftEquals = std::wmemchr(left.begin, L'=', static_cast<size_t>(left.end - left.begin));
    const wchar_t* rightEquals = std::wmemchr(right.begin, L'=', static_cast<size_t>(right.end - right.begin));
    const wchar_t* leftName = leftEquals != nullptr ? leftEquals : left.end;
    const wchar_t* rightName = rightEquals != nullptr ? rightEquals : right.end;
    return SameText(Trimmed(left.begin, leftName), Trimmed(right.begin, rightName)) &&
           SameText(Trimmed(leftName == left.end ? left.end : leftName + 1, left.end),
                    Trimmed(rightName == right.end ? right.end : rightName + 1, right.end));
}

// The line of section text from line on, without its CR LF.
Span TextLine(const wchar_t* line)
{
    const wchar_t* end = std::wcsstr(line, L"\r\n");
    return {line, end != nullptr ? end : line + TextLength(line)};
}

const wchar_t* AfterLine(const Span& line)
{
    return *line.end != L'\0' ? line.end + 2 : line.end;
}

// One reading of [hotkeys] gives the entries of the section text after its header, in order, and
// no other. A platform that caps the reading shows fewer, and the save goes ahead.
bool SectionReadsAsWritten(const wchar_t* path, const wchar_t* section)
{
    wchar_t* read = ReadHotkeysSection(path);
    if (read == nullptr) {
        return false;
    }
    const wchar_t* written = *section != L'\0' ? AfterLine(TextLine(section)) : section;
    const wchar_t* entry = read;
    bool same = true;
    while (same && *written != L'\0') {
        const Span line = TextLine(written);
        same = *entry != L'\0' && SameEntry(line, {entry, entry + TextLength(entry)});
        written = AfterLine(line);
        entry += TextLength(entry) + 1;
    }
    same = same && *entry == L'\0';
    ReleaseBlock(read);
    return same;
}

// A save deletes every [hotkeys] but the one it writes, lest the bindings of another come back
// when a platform, or an older plug-in, deletes only the first. The names hold no more units than
// the file has bytes.
bool AtMostOneHotkeysSection(const wchar_t* path)
{
    WIN32_FILE_ATTRIBUTE_DATA file;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &file) || file.nFileSizeHigh != 0 ||
        file.nFileSizeLow >= MAXDWORD / 4) {
        return false;
    }
    const DWORD capacity = file.nFileSizeLow + 4;
    auto* names = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(capacity) * sizeof(wchar_t)));
    if (names == nullptr) {
        return false;
    }
    int found = 0;
    if (GetPrivateProfileSectionNamesW(names, capacity, path) < capacity - 2) {
        for (const wchar_t* name = names; *name != L'\0'; name += TextLength(name) + 1) {
            found += CompareStringOrdinal(name, -1, HOTKEYS_SECTION, -1, TRUE) == CSTR_EQUAL ? 1 : 0;
        }
    } else {
        found = 2;  // cut short: unknown
    }
    ReleaseBlock(names);
    return found <= 1;
}

}  // namespace

bool FlagsReadAs(const wchar_t* path, const SettingsValues& values)
{
    const int enabled = values.enabled;
    return static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, ENABLE_KEY, enabled == 0 ? 1 : 0, path)) == enabled &&
           static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, PAUSE_KEY, 0, path)) == values.pauseFullscreen;
}

bool NothingToSave(const wchar_t* path, const FoundFile& found, const SettingsValues& values, const wchar_t* section,
                   bool flags)
{
    SettingsSource source = {};
    bool nothing = SettingsFileRemembered() && found.bytes != nullptr &&
                   IsRememberedSettingsFile(found.stamp, found.bytes, found.size) &&
                   OpenBytesSource(found.bytes, found.size, path, &source);
    if (nothing) {
        // Another program may have written the file within the tick of the clock that the
        // profile functions' parsed copy carries.
        ForgetParsedFile(source.path);
        nothing = (!flags || FlagsReadAs(source.path, values)) &&
                  (section == nullptr || (AtMostOneHotkeysSection(source.path) && SectionReadsAsWritten(source.path, section)));
        ForgetParsedFile(source.path);
        CloseSettingsSource(source);
    }
    return nothing;
}
