#include "hotkeys/settings_encoding.h"

#include <windows.h>

#include <cstring>

#include "plugin/bounded_text.h"

namespace {

constexpr BYTE UTF16_MARK[] = {0xFF, 0xFE};

// The most a settings file may hold to be converted; a larger one is no file this plug-in wrote.
constexpr DWORD MAX_CONVERTED_BYTES = 256u * 1024u * 1024u;

void* Allocate(SIZE_T bytes)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void Release(void* block)
{
    if (block != nullptr) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}

bool WriteAll(HANDLE file, const void* bytes, DWORD count)
{
    DWORD written = 0;
    return WriteFile(file, bytes, count, &written, nullptr) != FALSE && written == count;
}

// CREATE_NEW: a file that appeared meanwhile is kept as it is.
bool CreateUnicodeFile(const wchar_t* path)
{
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_EXISTS;
    }
    const bool written = WriteAll(file, UTF16_MARK, sizeof(UTF16_MARK));
    CloseHandle(file);
    if (!written) {
        DeleteFileW(path);
    }
    return written;
}

// The file's bytes in a block of the process heap; null when it cannot be read.
BYTE* ReadWholeFile(const wchar_t* path, DWORD* size)
{
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    LARGE_INTEGER length = {};
    BYTE* bytes = nullptr;
    if (GetFileSizeEx(file, &length) && length.QuadPart <= MAX_CONVERTED_BYTES) {
        *size = static_cast<DWORD>(length.QuadPart);
        bytes = static_cast<BYTE*>(Allocate(*size + 1));
        DWORD read = 0;
        if (bytes != nullptr && (ReadFile(file, bytes, *size, &read, nullptr) == FALSE || read != *size)) {
            Release(bytes);
            bytes = nullptr;
        }
    }
    CloseHandle(file);
    return bytes;
}

bool StartsWith(const BYTE* bytes, DWORD size, const BYTE* mark, DWORD markSize)
{
    return size >= markSize && std::memcmp(bytes, mark, markSize) == 0;
}

// A file with a byte-order mark is read and written in its Unicode form and holds any text;
// false also when the file cannot be read.
bool IsUnicodeFile(const wchar_t* path, bool* readable)
{
    static constexpr BYTE UTF16_BIG_ENDIAN_MARK[] = {0xFE, 0xFF};
    static constexpr BYTE UTF8_MARK[] = {0xEF, 0xBB, 0xBF};
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *readable = false;
        return false;
    }
    BYTE start[3] = {};
    DWORD size = 0;
    *readable = ReadFile(file, start, sizeof(start), &size, nullptr) != FALSE;
    CloseHandle(file);
    return StartsWith(start, size, UTF16_MARK, sizeof(UTF16_MARK)) ||
           StartsWith(start, size, UTF16_BIG_ENDIAN_MARK, sizeof(UTF16_BIG_ENDIAN_MARK)) ||
           StartsWith(start, size, UTF8_MARK, sizeof(UTF8_MARK));
}

// True when the lines come back the same from the ANSI code page: no default character was
// needed and the round trip gives the same units.
bool SurviveAnsi(const wchar_t* lines)
{
    const wchar_t* end = lines;
    while (*end != L'\0') {
        end += TextLength(end) + 1;
    }
    const int length = static_cast<int>(end - lines);
    if (length == 0) {
        return true;
    }
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, lines, length, nullptr, 0, nullptr, &usedDefault);
    if (usedDefault || bytes == 0) {
        return false;
    }
    auto* ansi = static_cast<char*>(Allocate(static_cast<SIZE_T>(bytes)));
    auto* back = static_cast<wchar_t*>(Allocate(static_cast<SIZE_T>(length) * sizeof(wchar_t)));
    bool same = false;
    if (ansi != nullptr && back != nullptr) {
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, lines, length, ansi, bytes, nullptr, &usedDefault);
        const int units = MultiByteToWideChar(CP_ACP, 0, ansi, bytes, back, length);
        same = !usedDefault && units == length &&
               std::memcmp(back, lines, static_cast<size_t>(length) * sizeof(wchar_t)) == 0;
    }
    Release(ansi);
    Release(back);
    return same;
}

// The ANSI text as UTF-16LE with its mark, in a file beside the settings that then takes their
// place in one step: a failure on the way leaves the settings as they were.
bool ConvertToUnicode(const wchar_t* path, const BYTE* bytes, DWORD size)
{
    const int units = size == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(size), nullptr, 0);
    if (units == 0 && size > 0) {
        return false;
    }
    auto* text = static_cast<wchar_t*>(Allocate((static_cast<SIZE_T>(units) + 1) * sizeof(wchar_t)));
    if (text == nullptr) {
        return false;
    }
    MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(size), text, units);
    wchar_t temporary[TEXT_CAPACITY + 8];
    FormatText(temporary, ARRAYSIZE(temporary), L"%ls.new", path);
    bool converted = false;
    const HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        converted = WriteAll(file, UTF16_MARK, sizeof(UTF16_MARK)) &&
                    WriteAll(file, text, static_cast<DWORD>(units) * sizeof(wchar_t)) && FlushFileBuffers(file) != FALSE;
        CloseHandle(file);
        converted = converted && MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        if (!converted) {
            DeleteFileW(temporary);
        }
    }
    Release(text);
    return converted;
}

}  // namespace

bool PrepareSettingsFile(const wchar_t* path, const wchar_t* lines)
{
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
        // Only a missing file is created; a path that cannot be reached fails in the writing.
        return GetLastError() != ERROR_FILE_NOT_FOUND || CreateUnicodeFile(path);
    }
    bool readable = false;
    if (IsUnicodeFile(path, &readable) || (readable && SurviveAnsi(lines))) {
        return true;
    }
    DWORD size = 0;
    BYTE* bytes = readable ? ReadWholeFile(path, &size) : nullptr;
    const bool converted = bytes != nullptr && ConvertToUnicode(path, bytes, size);
    Release(bytes);
    return converted;
}
