#include "settings/section_append.h"

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/settings_encoding.h"

namespace {

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

// The line is "[name]" alone.
bool IsSectionHeader(const IniText& text, const IniLine& line, const wchar_t* name)
{
    DWORD bracket = 0;
    return line.begin == line.text && line.header && NameAt(text, line.text + text.step, line.end, name, &bracket) &&
           bracket < line.end && UnitAt(text, bracket) == ']' && bracket + text.step == line.end;
}

// A header line that some platform may read as naming the section: after its bracket and any
// blanks, the name's letters in either case; or any unit beyond ASCII, whose case rules differ
// from one platform to the next.
bool HeaderMayName(const IniText& text, const IniLine& line, const wchar_t* name)
{
    for (DWORD at = line.text; at < line.end; at += text.step) {
        if (UnitAt(text, at) >= 0x80) {
            return true;
        }
    }
    DWORD after = 0;
    return NameAt(text, SkipBlanks(text, line.text + text.step, line.end), line.end, name, &after);
}

}  // namespace

SectionScan ScanSections(const BYTE* bytes, DWORD size, const wchar_t* name)
{
    const IniText text = IniTextOf(bytes, size);
    if (IsCutInHalf(text)) {
        return {size, true};
    }
    DWORD start = size;
    bool ours = false;
    bool lastMayName = false;
    bool earlierMayName = false;
    for (DWORD at = text.first; at < size;) {
        const IniLine line = LineAt(text, at, LineBreaks::FeedOnly);
        if (line.headerInDoubt) {
            // Where a header begins is in doubt: the profile functions find the sections.
            return {size, true};
        }
        if (line.header) {
            earlierMayName = earlierMayName || lastMayName;
            lastMayName = line.broken || HeaderMayName(text, line, name);
            start = at;
            ours = !line.broken && IsSectionHeader(text, line, name);
        } else {
            ours = ours && !line.broken;
            earlierMayName = earlierMayName || line.broken;
        }
        at = line.next;
    }
    return ours ? SectionScan{start, earlierMayName} : SectionScan{size, earlierMayName || lastMayName};
}

bool IsUnicodeCutInHalf(const BYTE* bytes, DWORD size)
{
    return IsCutInHalf(IniTextOf(bytes, size));
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
