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

// The last unit from begin on before end that is the given one, or end.
DWORD LastUnit(const Units& text, DWORD begin, DWORD end, unsigned unit)
{
    DWORD found = end;
    for (DWORD at = begin; at < end; at += text.step) {
        if (UnitAt(text, at) == unit) {
            found = at;
        }
    }
    return found;
}

// The name in brackets from open (its "[") to close (a "]"), blanks off both ends, is the
// section's: some platforms trim them, and one that does not, or that takes a line beginning
// with blanks for no header, reads no flag there, which the check after the change finds.
bool NamesSetting(const Units& text, DWORD open, DWORD close)
{
    const DWORD name = SkipBlanks(text, open + text.step, close);
    return IsName(text, name, TrimEnd(text, name, close), SETTING_SECTION);
}

// What a line (without its line break) is to the readers of every platform. A header's name ends
// at its "]" and what follows, a comment, is no part of it; a header whose name some platform may
// read otherwise (units beyond ASCII, a second "]") is in doubt when it may name the section.
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
    DWORD close = start + text.step;
    while (close < end && UnitAt(text, close) != ']') {
        close += text.step;
    }
    const DWORD lastClose = LastUnit(text, start, end, ']');
    if (close < end && close == lastClose && !HasUnplain(text, start, close)) {
        return NamesSetting(text, start, close) ? LineKind::OurHeader : LineKind::OtherHeader;
    }
    if (HasUnplain(text, start, lastClose)) {
        return LineKind::InDoubt;
    }
    // "[setting", "[setting]]" and the like may name it somewhere.
    const DWORD name = SkipBlanks(text, start + text.step, end);
    DWORD after = name;
    while (after < end && UnitAt(text, after) != ']' && !IsBlank(UnitAt(text, after))) {
        after += text.step;
    }
    return IsName(text, name, after, SETTING_SECTION) ? LineKind::InDoubt : LineKind::OtherHeader;
}

bool IsDigit(unsigned unit)
{
    return unit >= '0' && unit <= '9';
}

struct ValueSpan {
    DWORD begin;
    DWORD end;
};

// The number the integer reading takes from the value from begin to end: a sign and digits after
// blanks. What follows it (blanks, a comment) is no part of it. False when there is no digit.
bool FindNumber(const Units& text, DWORD begin, DWORD end, ValueSpan* number)
{
    number->begin = SkipBlanks(text, begin, end);
    DWORD at = number->begin;
    if (at < end && (UnitAt(text, at) == '-' || UnitAt(text, at) == '+')) {
        at += text.step;
    }
    const DWORD digits = at;
    while (at < end && IsDigit(UnitAt(text, at))) {
        at += text.step;
    }
    number->end = at;
    return at > digits;
}

bool IsLineBreak(unsigned unit)
{
    return unit == '\n' || unit == '\r';
}

// Finds the number in the value of the key's one line in the one [setting] section; false when the
// layout leaves any doubt. A line ends at a carriage return or a line feed, each alone or both: some
// platform reads each of them as the end of a line.
bool FindValue(const Units& text, DWORD first, const wchar_t* key, ValueSpan* value)
{
    bool inSetting = false;
    bool sawSetting = false;
    bool found = false;
    for (DWORD line = first; line < text.size;) {
        DWORD end = line;
        while (end < text.size && !IsLineBreak(UnitAt(text, end))) {
            if (UnitAt(text, end) == 0) {
                return false;  // the end of the text to some platform
            }
            end += text.step;
        }
        const LineKind kind = KindOfLine(text, line, end);
        if (kind == LineKind::InDoubt || (kind == LineKind::OurHeader && sawSetting)) {
            return false;
        }
        const DWORD start = SkipBlanks(text, line, end);
        if (kind != LineKind::Other) {
            inSetting = kind == LineKind::OurHeader;
            sawSetting = sawSetting || inSetting;
        } else if (inSetting && start < end && UnitAt(text, start) != ';') {
            DWORD equals = line;
            while (equals < end && UnitAt(text, equals) != '=') {
                equals += text.step;
            }
            if (HasUnplain(text, line, equals)) {
                return false;
            }
            if (IsName(text, start, TrimEnd(text, start, equals), key)) {
                if (found || equals == end || !FindNumber(text, equals + text.step, end, value)) {
                    return false;
                }
                found = true;
            }
        }
        line = end + text.step;
    }
    return found;
}

}  // namespace

BYTE* WithFlagInPlace(const BYTE* bytes, DWORD size, const wchar_t* key, int value, DWORD* newSize)
{
    if (bytes == nullptr || value < 0 || StartsWith(bytes, size, UTF16_BIG_ENDIAN_MARK)) {
        return nullptr;
    }
    // UTF-8 has the structure of ASCII text in single bytes, as the ANSI code page has.
    const bool unicode = StartsWith(bytes, size, UTF16_MARK);
    const Units text = {bytes, size, unicode ? 2u : 1u};
    DWORD first = 0;
    if (unicode) {
        first = sizeof(UTF16_MARK);
    } else if (StartsWith(bytes, size, UTF8_MARK)) {
        first = sizeof(UTF8_MARK);
    }
    ValueSpan span = {};
    if (size % text.step != 0 || !FindValue(text, first, key, &span)) {
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
