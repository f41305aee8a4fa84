#include "settings/flag_line.h"

#include "base/heap_block.h"
#include "settings/setting_keys.h"
#include "settings/settings_encoding.h"

namespace {

// Digits of the largest flag value.
constexpr int NUMBER_DIGITS = 10;

// The units from at to end are the name's letters, in either case, and nothing else.
bool IsName(const IniText& text, DWORD at, DWORD end, const wchar_t* name)
{
    DWORD after = 0;
    return NameAt(text, at, end, name, &after) && after == end;
}

// The unit before end that ends what stands before trailing blanks, from begin on.
DWORD TrimEnd(const IniText& text, DWORD begin, DWORD end)
{
    while (end > begin && IsBlank(UnitAt(text, end - text.step))) {
        end -= text.step;
    }
    return end;
}

// Some unit from begin on before end is one that some platform may read otherwise.
bool MayReadAnyOtherwise(const IniText& text, DWORD begin, DWORD end)
{
    for (DWORD at = begin; at < end; at += text.step) {
        if (MayReadOtherwise(UnitAt(text, at))) {
            return true;
        }
    }
    return false;
}

enum class LineKind { Other, OurHeader, OtherHeader, InDoubt };

// The last unit from begin on before end that is the given one, or end.
DWORD LastUnit(const IniText& text, DWORD begin, DWORD end, unsigned unit)
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
bool NamesSetting(const IniText& text, DWORD open, DWORD close)
{
    const DWORD name = SkipBlanks(text, open + text.step, close);
    return IsName(text, name, TrimEnd(text, name, close), SETTING_SECTION);
}

// What a line is to the readers of every platform. A header's name ends at its "]" and what
// follows, a comment, is no part of it; a header whose name some platform may read otherwise
// (units beyond ASCII, a second "]"), or that some platform may not see at all, is in doubt when
// it may name the section.
LineKind KindOfLine(const IniText& text, const IniLine& line)
{
    if (!line.header) {
        return line.headerInDoubt ? LineKind::InDoubt : LineKind::Other;
    }
    const DWORD start = line.text;
    const DWORD end = line.end;
    DWORD close = start + text.step;
    while (close < end && UnitAt(text, close) != ']') {
        close += text.step;
    }
    const DWORD lastClose = LastUnit(text, start, end, ']');
    if (close < end && close == lastClose && !MayReadAnyOtherwise(text, start, close)) {
        return NamesSetting(text, start, close) ? LineKind::OurHeader : LineKind::OtherHeader;
    }
    if (MayReadAnyOtherwise(text, start, lastClose)) {
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
bool FindNumber(const IniText& text, DWORD begin, DWORD end, ValueSpan* number)
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

// Finds the number in the value of the key's one line in the one [setting] section; false when the
// layout leaves any doubt.
bool FindValue(const IniText& text, const wchar_t* key, ValueSpan* value)
{
    bool inSetting = false;
    bool sawSetting = false;
    bool found = false;
    for (DWORD at = text.first; at < text.size;) {
        const IniLine line = LineAt(text, at, LineBreaks::ReturnOrFeed);
        const LineKind kind = line.broken ? LineKind::InDoubt : KindOfLine(text, line);
        if (kind == LineKind::InDoubt || (kind == LineKind::OurHeader && sawSetting)) {
            return false;
        }
        if (kind != LineKind::Other) {
            inSetting = kind == LineKind::OurHeader;
            sawSetting = sawSetting || inSetting;
        } else if (inSetting && line.text < line.end && UnitAt(text, line.text) != ';') {
            DWORD equals = line.begin;
            while (equals < line.end && UnitAt(text, equals) != '=') {
                equals += text.step;
            }
            if (MayReadAnyOtherwise(text, line.begin, equals)) {
                return false;
            }
            if (IsName(text, line.text, TrimEnd(text, line.text, equals), key)) {
                if (found || equals == line.end || !FindNumber(text, equals + text.step, line.end, value)) {
                    return false;
                }
                found = true;
            }
        }
        at = line.next;
    }
    return found;
}

}  // namespace

BYTE* WithFlagInPlace(const BYTE* bytes, DWORD size, const wchar_t* key, int value, DWORD* newSize)
{
    if (bytes == nullptr || value < 0) {
        return nullptr;
    }
    IniText text = IniTextOf(bytes, size);
    // Tessel reads a UTF-8 file through a copy of its own, without the mark.
    if (text.encoding == TextEncoding::Ansi && StartsWith(bytes, size, UTF8_MARK)) {
        text.first = sizeof(UTF8_MARK);
    }
    const bool unicode = text.encoding == TextEncoding::Utf16Le;
    ValueSpan span = {};
    if (text.encoding == TextEncoding::Utf16Be || IsCutInHalf(text) || !FindValue(text, key, &span)) {
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
