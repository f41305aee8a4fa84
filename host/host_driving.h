// What the programs that drive the stand-in host share (the tests, the benchmark, the demo's
// tour): real key input, UTF-8 text and throw-away folders.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One press of a combination as SendInput takes it: every key down in the order given, then
// every key up in reverse order.
std::vector<INPUT> KeyPressInputs(const std::vector<WORD>& keys);

// The text as UTF-8 bytes, for logs and console lines.
std::string ToUtf8(const std::wstring& text);
// The line and a line break to standard output, in UTF-8.
void PrintLine(const std::wstring& line);

// Removes the folder with everything in it, read-only files included.
void DeleteTree(const std::wstring& folder);
