#include "settings/settings_encoding.h"

#include <cstring>

#include "base/heap_block.h"
#include "settings/safe_save.h"
#include "settings/settings.h"
#include "base/bounded_text.h"

namespace {

// The bytes in a block of their own, followed by two zero bytes.
BYTE* CopyBytes(const BYTE* bytes, DWORD size, DWORD* readySize)
{
    auto* copy = static_cast<BYTE*>(AllocateBlock(static_cast<SIZE_T>(size) + 2));
    if (copy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::memcpy(copy, bytes, size);
    *readySize = size;
    return copy;
}

// The text of the code page as UTF-16LE with its mark, followed by a zero unit; no more than a
// settings file may hold, since the save writes it so.
BYTE* AsUnicode(UINT codePage, const BYTE* bytes, DWORD size, DWORD* readySize)
{
    const auto* text = reinterpret_cast<const char*>(bytes);
    const int units = size == 0 ? 0 : MultiByteToWideChar(codePage, 0, text, static_cast<int>(size), nullptr, 0);
    if (units == 0 && size > 0) {
        return nullptr;
    }
    const SIZE_T length = sizeof(UTF16_MARK) + static_cast<SIZE_T>(units) * sizeof(wchar_t);
    if (length > MAX_SETTINGS_BYTES) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return nullptr;
    }
    auto* ready = static_cast<BYTE*>(AllocateBlock(length + sizeof(wchar_t)));
    if (ready == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::memcpy(ready, UTF16_MARK, sizeof(UTF16_MARK));
    MultiByteToWideChar(codePage, 0, text, static_cast<int>(size), reinterpret_cast<wchar_t*>(ready + sizeof(UTF16_MARK)),
                        units);
    *readySize = static_cast<DWORD>(length);
    return ready;
}

// True when the text comes back the same from the ANSI code page: no default character was
// needed and the round trip gives the same units.
bool SurvivesAnsi(const wchar_t* text)
{
    const int length = TextLength(text);
    if (length == 0) {
        return true;
    }
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0, nullptr, &usedDefault);
    if (usedDefault || bytes == 0) {
        return false;
    }
    auto* ansi = static_cast<char*>(AllocateBlock(static_cast<SIZE_T>(bytes)));
    auto* back = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(length) * sizeof(wchar_t)));
    bool same = false;
    if (ansi != nullptr && back != nullptr) {
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, ansi, bytes, nullptr, &usedDefault);
        const int units = MultiByteToWideChar(CP_ACP, 0, ansi, bytes, back, length);
        same = !usedDefault && units == length &&
               std::memcmp(back, text, static_cast<size_t>(length) * sizeof(wchar_t)) == 0;
    }
    ReleaseBlock(ansi);
    ReleaseBlock(back);
    return same;
}

unsigned LowerAscii(unsigned unit)
{
    return unit >= 'A' && unit <= 'Z' ? unit + ('a' - 'A') : unit;
}

bool MaySkip(unsigned unit)
{
    return IsBlank(unit) || MayReadOtherwise(unit);
}

}  // namespace

bool IsUtf8Text(const BYTE* bytes, DWORD size)
{
    if (StartsWith(bytes, size, UTF8_MARK)) {
        return true;
    }
    bool beyondAscii = false;
    for (DWORD i = 0; i < size; ++i) {
        if (bytes[i] == 0) {
            return false;  // UTF-16 without its mark, or a damaged file
        }
        beyondAscii = beyondAscii || bytes[i] > 0x7F;
    }
    return beyondAscii && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                              static_cast<int>(size), nullptr, 0) > 0;
}

BYTE* ProfileReadyBytes(const BYTE* bytes, DWORD size, const wchar_t* text, DWORD* readySize)
{
    if (bytes == nullptr) {
        return CopyBytes(UTF16_MARK, sizeof(UTF16_MARK), readySize);
    }
    if (StartsWith(bytes, size, UTF16_MARK) || StartsWith(bytes, size, UTF16_BIG_ENDIAN_MARK)) {
        return CopyBytes(bytes, size, readySize);
    }
    if (StartsWith(bytes, size, UTF8_MARK)) {
        return AsUnicode(CP_UTF8, bytes + sizeof(UTF8_MARK), size - sizeof(UTF8_MARK), readySize);
    }
    if (IsUtf8Text(bytes, size)) {
        return AsUnicode(CP_UTF8, bytes, size, readySize);
    }
    if (text != nullptr && !SurvivesAnsi(text)) {
        return AsUnicode(CP_ACP, bytes, size, readySize);
    }
    return CopyBytes(bytes, size, readySize);
}

BYTE* BackToUtf8(const BYTE* original, DWORD originalSize, const BYTE* bytes, DWORD size, DWORD* newSize)
{
    if (original == nullptr || !IsUtf8Text(original, originalSize) || !StartsWith(bytes, size, UTF16_MARK) ||
        size % sizeof(wchar_t) != 0) {
        return nullptr;
    }
    const auto* text = reinterpret_cast<const wchar_t*>(bytes + sizeof(UTF16_MARK));
    const int units = static_cast<int>((size - sizeof(UTF16_MARK)) / sizeof(wchar_t));
    const DWORD mark = StartsWith(original, originalSize, UTF8_MARK) ? sizeof(UTF8_MARK) : 0;
    const int length = units == 0 ? 0 : WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, units, nullptr, 0, nullptr, nullptr);
    if (length == 0 && units > 0) {
        return nullptr;
    }
    auto* utf8 = static_cast<BYTE*>(AllocateBlock(static_cast<SIZE_T>(mark) + length + 2));
    if (utf8 != nullptr) {
        std::memcpy(utf8, UTF8_MARK, mark);
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, units, reinterpret_cast<char*>(utf8 + mark), length,
                            nullptr, nullptr);
        *newSize = mark + static_cast<DWORD>(length);
    }
    return utf8;
}

IniText IniTextOf(const BYTE* bytes, DWORD size)
{
    if (StartsWith(bytes, size, UTF16_MARK)) {
        return {bytes, size, TextEncoding::Utf16Le, 2, sizeof(UTF16_MARK)};
    }
    if (StartsWith(bytes, size, UTF16_BIG_ENDIAN_MARK)) {
        return {bytes, size, TextEncoding::Utf16Be, 2, sizeof(UTF16_BIG_ENDIAN_MARK)};
    }
    return {bytes, size, TextEncoding::Ansi, 1, 0};
}

bool IsCutInHalf(const IniText& text)
{
    return (text.size - text.first) % text.step != 0;
}

unsigned UnitAt(const IniText& text, DWORD offset)
{
    switch (text.encoding) {
    case TextEncoding::Utf16Le:
        return text.bytes[offset] | (static_cast<unsigned>(text.bytes[offset + 1]) << 8);
    case TextEncoding::Utf16Be:
        return (static_cast<unsigned>(text.bytes[offset]) << 8) | text.bytes[offset + 1];
    default:
        return text.bytes[offset];
    }
}

bool IsBlank(unsigned unit)
{
    return unit == ' ' || unit == '\t';
}

bool MayReadOtherwise(unsigned unit)
{
    return (unit < 0x20 && unit != '\t') || unit >= 0x7F;
}

DWORD SkipBlanks(const IniText& text, DWORD at, DWORD end)
{
    while (at < end && IsBlank(UnitAt(text, at))) {
        at += text.step;
    }
    return at;
}

bool NameAt(const IniText& text, DWORD at, DWORD end, const wchar_t* name, DWORD* after)
{
    for (const wchar_t* letter = name; *letter != L'\0'; ++letter, at += text.step) {
        if (at >= end || LowerAscii(UnitAt(text, at)) != LowerAscii(*letter)) {
            return false;
        }
    }
    *after = at;
    return true;
}

IniLine LineAt(const IniText& text, DWORD at, LineBreaks breaks)
{
    IniLine line = {at, at, text.size, at, false, false, false};
    const bool returnEnds = breaks == LineBreaks::ReturnOrFeed;
    bool afterReturn = false;
    for (; line.end < text.size; line.end += text.step) {
        const unsigned unit = UnitAt(text, line.end);
        if (unit == '\n' || (unit == '\r' && returnEnds)) {
            break;
        }
        line.broken = line.broken || unit == 0 || afterReturn;
        afterReturn = unit == '\r';
    }
    if (line.end < text.size) {
        line.next = line.end + text.step;
        if (afterReturn) {
            line.end -= text.step;  // the line break's own
        }
    } else {
        line.broken = line.broken || afterReturn;
    }
    line.text = SkipBlanks(text, line.begin, line.end);
    line.header = line.text < line.end && UnitAt(text, line.text) == '[';
    DWORD bracket = line.text;
    while (bracket < line.end && MaySkip(UnitAt(text, bracket))) {
        bracket += text.step;
    }
    line.headerInDoubt = !line.header && bracket < line.end && UnitAt(text, bracket) == '[';
    return line;
}
