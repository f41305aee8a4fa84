// Files as the tests write and read them: whole, as bytes, and texts in UTF-16LE.
#pragma once

#include <string>

// The mark a UTF-16LE file starts with.
constexpr char UTF16LE_MARK[] = "\xFF\xFE";

// The file's bytes as they are on disk; empty when it cannot be read.
std::string FileBytes(const std::wstring& path);
// Writes the file whole with these bytes, replacing any; a file that cannot be written is a test
// failure, and false.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

// The text's units as UTF-16LE bytes, without the mark.
std::string Utf16Le(const std::wstring& text);
// UTF-16LE bytes (without the mark) as text; an odd last byte is dropped.
std::wstring FromUtf16Le(const std::string& bytes);
