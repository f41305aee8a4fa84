#include "hotkeys/section_append.h"

#include "hotkeys/safe_save.h"
#include "plugin/bounded_text.h"

namespace {

enum class TextEncoding { Ansi, Utf16Le, Utf16Be };

struct FileEnd {
    TextEncoding encoding;
    bool needsLineBreak;  // the last line has text but no line break of its own
};

FileEnd InspectFile(const BYTE* bytes, DWORD size)
{
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return {TextEncoding::Utf16Le, size > 2 && !(bytes[size - 2] == '\n' && bytes[size - 1] == 0)};
    }
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        return {TextEncoding::Utf16Be, size > 2 && !(bytes[size - 2] == 0 && bytes[size - 1] == '\n')};
    }
    return {TextEncoding::Ansi, size > 0 && bytes[size - 1] != '\n'};
}

// The section's text with CR LF line breaks, in a block of the process heap; its length in
// units in length. Null when there is no memory.
wchar_t* SectionText(const wchar_t* name, const wchar_t* lines, bool lineBreakFirst, int* length)
{
    SIZE_T units = 2 + static_cast<SIZE_T>(TextLength(name)) + 2 + 2 + 1;
    for (const wchar_t* line = lines; *line != L'\0'; line += TextLength(line) + 1) {
        units += static_cast<SIZE_T>(TextLength(line)) + 2;
    }
    auto* text = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, units * sizeof(wchar_t)));
    if (text == nullptr) {
        return nullptr;
    }
    wchar_t* end = text;
    const wchar_t* const limit = text + units;
    FormatText(end, static_cast<int>(limit - end), L"%ls[%ls]\r\n", lineBreakFirst ? L"\r\n" : L"", name);
    end += TextLength(end);
    for (const wchar_t* line = lines; *line != L'\0'; line += TextLength(line) + 1) {
        FormatText(end, static_cast<int>(limit - end), L"%ls\r\n", line);
        end += TextLength(end);
    }
    *length = static_cast<int>(end - text);
    return text;
}

// The text in the file's encoding, in a block of the process heap; null, with the reason in
// GetLastError, when there is no memory or a character has no place in the code page.
BYTE* EncodeText(const wchar_t* text, int length, TextEncoding encoding, DWORD* size)
{
    if (encoding == TextEncoding::Ansi) {
        BOOL lossy = FALSE;
        const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0, nullptr, &lossy);
        if (bytes == 0 || lossy != FALSE) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return nullptr;
        }
        auto* encoded = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(bytes)));
        if (encoded == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        *size = static_cast<DWORD>(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length,
                                                       reinterpret_cast<char*>(encoded), bytes, nullptr, nullptr));
        return encoded;
    }
    *size = static_cast<DWORD>(length) * sizeof(wchar_t);
    auto* encoded = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, *size + 1));
    if (encoded == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const bool bigEndian = encoding == TextEncoding::Utf16Be;
    BYTE* out = encoded;
    for (const wchar_t* unit = text; unit != text + length; ++unit) {
        const BYTE low = static_cast<BYTE>(*unit & 0xFF);
        const BYTE high = static_cast<BYTE>(*unit >> 8);
        *out++ = bigEndian ? high : low;
        *out++ = bigEndian ? low : high;
    }
    return encoded;
}

}  // namespace

bool AppendSection(const wchar_t* path, const wchar_t* name, const wchar_t* lines)
{
    DWORD size = 0;
    BYTE* file = ReadWholeFile(path, &size);
    if (file == nullptr) {
        return false;
    }
    const FileEnd end = InspectFile(file, size);
    ReleaseBlock(file);
    int length = 0;
    wchar_t* text = SectionText(name, lines, end.needsLineBreak, &length);
    if (text == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    DWORD encodedSize = 0;
    BYTE* encoded = EncodeText(text, length, end.encoding, &encodedSize);
    ReleaseBlock(text);
    const bool appended = encoded != nullptr && AppendToFile(path, encoded, encodedSize);
    const DWORD error = GetLastError();
    ReleaseBlock(encoded);
    SetLastError(error);
    return appended;
}
