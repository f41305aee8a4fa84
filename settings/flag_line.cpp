#include "settings/flag_line.h"

#include "base/heap_block.h"
#include "settings/setting_keys.h"
#include "settings/settings_encoding.h"

namespace {

// Digits of the largest flag value.
constexpr int NUMBER_DIGITS = 10;

struct Units {
    const BYTE* bytes;
    DWORD size;
    DWORD step;  // 1 for single bytes, 2 for UTF-16LE
};

unsigned UnitAt(const Units& text, DWORD offset)
{
    return text.step == 1 ? text.bytes[offset] : text.bytes[offset] | (static_cast<unsigned>(text.bytes[offset + 1]) << 8);
}

bool IsBlank(unsigned unit)
{
    return unit == ' ' || unit == '\t';
}

unsigned LowerAscii(unsigned unit)
{
    return unit >= 'A' && unit <= 'Z' ? unit + ('a' - 'A') : unit;
}

// The units from at to end are the name's letters, in either case, and nothing else.
bool IsName(const Units& text, DWORD at, DWORD end, const wchar_t* name)
{
    for (const wchar_t* letter = name; *letter != L'\0'; ++letter, at += text.step) {
        if (at >= end || LowerAscii(UnitAt(text, at)) != LowerAscii(*letter)) {
            return false;
        }
    }
    return at == end;
}

// The first unit from at on before end that is no blank.
DWORD SkipBlanks(const Units& text, DWORD at, DWORD end)
{
    while (at < end && IsBlank(UnitAt(text, at))) {
        at += text.step;
    }
    return at;
}

// The unit before end that ends what stands before trailing blanks, from begin on.
DWORD TrimEnd(const Units& text, DWORD begin, DWORD end)
{
    while (end > begin && IsBlank(UnitAt(text, end - text.step))) {
        end -= text.step;
    }
    return end;
}

// A unit some platform may skip, fold or read as part of a character of the code page.
bool IsUnplain(unsigned unit)
{
    return (unit < 0x20 && unit != '\t') || unit >= 0x7F;
}

bool HasUnplain(const Units& text, DWORD begin, DWORD end)
{
    for (DWORD at = begin; at < end; at += text.step) {
        if (IsUnplain(UnitAt(text, at))) {
            return true;
        }
    }
    return false;
}

enum class LineKind { Other, OurHeader, OtherHeader, InDoubt };

// What a line (without its line break) is to the readers of every platform.
LineKind KindOfLine(const Units& text, DWORD line, DWORD end)
{
    const DWORD start = SkipBlanks(text, line, end);
    const bool bracket = start < end && UnitAt(text, start) == '[';
    if (!bracket) {
        // A header behind units that some platform skips.
        DWORD at = start;
        while (at < end && IsUnplain(UnitAt(text, at))) {
            at += text.step;
        }
        return at < end && at != start && UnitAt(text, at) == '[' ? LineKind::InDoubt : LineKind::Other;
    }
    if (HasUnplain(text, line, end)) {
        return LineKind::InDoubt;
    }
    const DWORD close = end >= line + 2 * text.step ? end - text.step : line;
    if (start == line && UnitAt(text, close) == ']' && IsName(text, line + text.step, close, SETTING_SECTION)) {
        return LineKind::OurHeader;
    }
    // "[ setting ]", "[setting] x" and the like may name it somewhere.
    const DWORD name = SkipBlanks(text, start + text.step, end);
    DWORD after = name;
    while (after < end && UnitAt(text, after) != ']' && !IsBlank(UnitAt(text, after))) {
        after += text.step;
    }
    return IsName(text, name, after, SETTING_SECTION) ? LineKind::InDoubt : LineKind::OtherHeader;
}

struct ValueSpan {
    DWORD begin;
    DWORD end;
};

// Finds the value of the key's one line in the one [setting] section; false when the layout
// leaves any doubt.
bool FindValue(const Units& text, DWORD first, const wchar_t* key, ValueSpan* value)
{
    bool inSetting = false;
    bool sawSetting = false;
    bool found = false;
    for (DWORD line = first; line < text.size;) {
        DWORD end = line;
        while (end < text.size && UnitAt(text, end) != '\n') {
            end += text.step;
        }
        const DWORD next = end + text.step;
        if (end > line && UnitAt(text, end - text.step) == '\r') {
            end -= text.step;
        }
        for (DWORD at = line; at < end; at += text.step) {
            if (UnitAt(text, at) == 0 || UnitAt(text, at) == '\r') {
                return false;  // a line break of some platform's own
            }
        }
        const LineKind kind = KindOfLine(text, line, end);
        if (kind == LineKind::InDoubt || (kind == LineKind::OurHeader && sawSetting)) {
            return false;
        }
        if (kind != LineKind::Other) {
            inSetting = kind == LineKind::OurHeader;
            sawSetting = sawSetting || inSetting;
        } else if (inSetting) {
            DWORD equals = line;
            while (equals < end && UnitAt(text, equals) != '=') {
                equals += text.step;
            }
            if (HasUnplain(text, line, equals)) {
                return false;
            }
            const DWORD keyBegin = SkipBlanks(text, line, equals);
            if (IsName(text, keyBegin, TrimEnd(text, keyBegin, equals), key)) {
                if (found || equals == end) {
                    return false;
                }
                found = true;
                value->begin = SkipBlanks(text, equals + text.step, end);
                value->end = TrimEnd(text, value->begin, end);
            }
        }
        line = next;
    }
    return found;
}

}  // namespace

BYTE* WithFlagInPlace(const BYTE* bytes, DWORD size, const wchar_t* key, int value, DWORD* newSize)
{
    // UTF-8 is left to the whole save, which writes it in UTF-16 for the profile functions.
    if (bytes == nullptr || value < 0 || StartsWith(bytes, size, UTF16_BIG_ENDIAN_MARK) || IsUtf8Text(bytes, size)) {
        return nullptr;
    }
    const bool unicode = StartsWith(bytes, size, UTF16_MARK);
    const Units text = {bytes, size, unicode ? 2u : 1u};
    ValueSpan span = {};
    if (size % text.step != 0 || !FindValue(text, unicode ? 2 : 0, key, &span)) {
        return nullptr;
    }
    char digits[NUMBER_DIGITS];
    int count = 0;
    for (unsigned rest = static_cast<unsigned>(value); count == 0 || rest != 0; rest /= 10) {
        digits[count++] = static_cast<char>('0' + rest % 10);
    }
    const DWORD numberSize = static_cast<DWORD>(count) * text.step;
    *newSize = size - (span.end - span.begin) + numberSize;
    auto* changed = static_cast<BYTE*>(AllocateBlock(static_cast<SIZE_T>(*newSize) + 2));
    if (changed != nullptr) {
        CopyMemory(changed, bytes, span.begin);
        BYTE* out = changed + span.begin;
        for (int index = count - 1; index >= 0; --index) {
            *out++ = static_cast<BYTE>(digits[index]);
            if (unicode) {
                *out++ = 0;
            }
        }
        CopyMemory(out, bytes + span.end, size - span.end);
    }
    return changed;
}
