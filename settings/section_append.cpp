#include "settings/section_append.h"

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/safe_save.h"
#include "settings/settings_encoding.h"

namespace {

enum class TextEncoding { Ansi, Utf16Le, Utf16Be };

struct FileEnd {
    TextEncoding encoding;
    bool needsLineBreak;  // the last line has text but no line break of its own
};

FileEnd InspectFile(const BYTE* bytes, DWORD size)
{
    if (StartsWith(bytes, size, UTF16_MARK)) {
        return {TextEncoding::Utf16Le, size > 2 && !(bytes[size - 2] == '\n' && bytes[size - 1] == 0)};
    }
    if (StartsWith(bytes, size, UTF16_BIG_ENDIAN_MARK)) {
        return {TextEncoding::Utf16Be, size > 2 && !(bytes[size - 2] == 0 && bytes[size - 1] == '\n')};
    }
    return {TextEncoding::Ansi, size > 0 && bytes[size - 1] != '\n'};
}

void PutUtf16(const wchar_t* text, int length, bool bigEndian, BYTE* out)
{
    for (const wchar_t* unit = text; unit != text + length; ++unit) {
        const BYTE low = static_cast<BYTE>(*unit & 0xFF);
        const BYTE high = static_cast<BYTE>(*unit >> 8);
        *out++ = bigEndian ? high : low;
        *out++ = bigEndian ? low : high;
    }
}

// The text in the file's encoding, after room for the given number of bytes, in a block of the
// process heap; its own size in size. Null, with the reason in GetLastError, when there is no memory
// or a character has no place in the code page.
BYTE* EncodeText(const wchar_t* text, int length, TextEncoding encoding, DWORD room, DWORD* size)
{
    if (encoding == TextEncoding::Ansi) {
        BOOL lossy = FALSE;
        const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0, nullptr, &lossy);
        if (bytes == 0 || lossy != FALSE) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return nullptr;
        }
        auto* encoded = static_cast<BYTE*>(AllocateBlock(static_cast<SIZE_T>(room) + bytes));
        if (encoded == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        auto* ansi = reinterpret_cast<char*>(encoded + room);
        *size = static_cast<DWORD>(
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, ansi, bytes, nullptr, nullptr));
        return encoded;
    }
    *size = static_cast<DWORD>(length) * sizeof(wchar_t);
    auto* encoded = static_cast<BYTE*>(AllocateBlock(static_cast<SIZE_T>(room) + *size + 1));
    if (encoded == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    PutUtf16(text, length, encoding == TextEncoding::Utf16Be, encoded + room);
    return encoded;
}

// CR LF in the encoding at out.
DWORD PutLineBreak(TextEncoding encoding, BYTE* out)
{
    if (encoding == TextEncoding::Ansi) {
        out[0] = '\r';
        out[1] = '\n';
        return 2;
    }
    PutUtf16(L"\r\n", 2, encoding == TextEncoding::Utf16Be, out);
    return 4;
}

// The unit at offset in the file's encoding.
unsigned UnitAt(const BYTE* bytes, DWORD offset, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf16Le:
        return bytes[offset] | (static_cast<unsigned>(bytes[offset + 1]) << 8);
    case TextEncoding::Utf16Be:
        return (static_cast<unsigned>(bytes[offset]) << 8) | bytes[offset + 1];
    default:
        return bytes[offset];
    }
}

bool IsBlank(unsigned unit)
{
    return unit == ' ' || unit == '\t';
}

// A unit that some platform's reader may skip before a header: the vertical tab, the form feed and
// Ctrl+Z (the end-of-file mark of old DOS editors) that Windows' and Wine's readers skip, any other
// control unit, and any unit beyond ASCII (a space of some code page or of Unicode).
bool MaySkip(unsigned unit)
{
    return IsBlank(unit) || (unit < 0x20 && unit != '\n') || unit >= 0x7F;
}

// The line from text on is a header only if a platform skips the units before its bracket.
bool MayBeHeader(const BYTE* bytes, DWORD text, DWORD end, DWORD step, TextEncoding encoding)
{
    while (text < end && MaySkip(UnitAt(bytes, text, encoding))) {
        text += step;
    }
    return text < end && UnitAt(bytes, text, encoding) == '[';
}

unsigned LowerAscii(unsigned unit)
{
    return unit >= 'A' && unit <= 'Z' ? unit + ('a' - 'A') : unit;
}

// The offset after the name's letters, in either case, when they stand from at on before end;
// else 0.
DWORD AfterName(const BYTE* bytes, DWORD at, DWORD end, DWORD step, TextEncoding encoding, const wchar_t* name)
{
    for (const wchar_t* letter = name; *letter != L'\0'; ++letter, at += step) {
        if (at >= end || LowerAscii(UnitAt(bytes, at, encoding)) != LowerAscii(*letter)) {
            return 0;
        }
    }
    return at;
}

// The line from begin to end (its line feed, or the end of the file) is "[name]" alone, a carriage
// return at most following it.
bool IsSectionHeader(const BYTE* bytes, DWORD begin, DWORD end, DWORD step, TextEncoding encoding, const wchar_t* name)
{
    if (UnitAt(bytes, begin, encoding) != '[') {
        return false;
    }
    const DWORD bracket = AfterName(bytes, begin + step, end, step, encoding, name);
    if (bracket == 0 || bracket >= end || UnitAt(bytes, bracket, encoding) != ']') {
        return false;
    }
    const DWORD after = bracket + step;
    return after == end || (after + step == end && UnitAt(bytes, after, encoding) == '\r');
}

// A header line that some platform may read as naming the section: after its bracket (at text)
// and any blanks, the name's letters in either case; or any unit beyond ASCII, whose case rules
// differ from one platform to the next.
bool HeaderMayName(const BYTE* bytes, DWORD text, DWORD end, DWORD step, TextEncoding encoding, const wchar_t* name)
{
    for (DWORD at = text; at < end; at += step) {
        if (UnitAt(bytes, at, encoding) >= 0x80) {
            return true;
        }
    }
    DWORD at = text + step;
    while (at < end && IsBlank(UnitAt(bytes, at, encoding))) {
        at += step;
    }
    return AfterName(bytes, at, end, step, encoding, name) != 0;
}

}  // namespace

SectionScan ScanSections(const BYTE* bytes, DWORD size, const wchar_t* name)
{
    const TextEncoding encoding = InspectFile(bytes, size).encoding;
    const DWORD step = encoding == TextEncoding::Ansi ? 1 : 2;
    const DWORD first = encoding == TextEncoding::Ansi ? 0 : 2;
    if (size < first || (size - first) % step != 0) {
        return {size, true};
    }
    DWORD start = size;
    bool ours = false;
    bool lastMayName = false;
    bool earlierMayName = false;
    for (DWORD line = first; line < size;) {
        DWORD end = line;
        bool plain = true;  // no unit that a platform might take for a line break of its own
        bool afterReturn = false;
        for (unsigned unit = 0; end < size && (unit = UnitAt(bytes, end, encoding)) != '\n'; end += step) {
            plain = plain && unit != 0 && !afterReturn;
            afterReturn = unit == '\r';
        }
        // A carriage return is the line break's own only right before its line feed.
        plain = plain && !(afterReturn && end >= size);
        DWORD text = line;
        while (text < end && IsBlank(UnitAt(bytes, text, encoding))) {
            text += step;
        }
        if (text < end && UnitAt(bytes, text, encoding) != '[' && MayBeHeader(bytes, text, end, step, encoding)) {
            // Where a header begins is in doubt: the profile functions find the sections.
            return {size, true};
        }
        if (text < end && UnitAt(bytes, text, encoding) == '[') {
            earlierMayName = earlierMayName || lastMayName;
            lastMayName = !plain || HeaderMayName(bytes, text, end, step, encoding, name);
            start = line;
            ours = plain && IsSectionHeader(bytes, line, end, step, encoding, name);
        } else {
            ours = ours && plain;
            earlierMayName = earlierMayName || !plain;
        }
        line = end + step;
    }
    return ours ? SectionScan{start, earlierMayName} : SectionScan{size, earlierMayName || lastMayName};
}

bool IsUnicodeCutInHalf(const BYTE* bytes, DWORD size)
{
    return InspectFile(bytes, size).encoding != TextEncoding::Ansi && size % 2 != 0;
}

BYTE* WithSectionAppended(const BYTE* bytes, DWORD size, const wchar_t* section, DWORD* newSize)
{
    const FileEnd end = InspectFile(bytes, size);
    // The last line keeps its text: the section starts on a line of its own.
    BYTE lineBreak[4];
    const DWORD breakSize = end.needsLineBreak ? PutLineBreak(end.encoding, lineBreak) : 0;
    DWORD encodedSize = 0;
    BYTE* whole = EncodeText(section, TextLength(section), end.encoding, size + breakSize, &encodedSize);
    if (whole != nullptr) {
        CopyMemory(whole, bytes, size);
        CopyMemory(whole + size, lineBreak, breakSize);
        *newSize = size + breakSize + encodedSize;
    }
    return whole;
}
