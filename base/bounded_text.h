// Bounded text helpers: every copy and every formatted text stops at the target's capacity.
#pragma once

#include <cwchar>

// Text buffers for paths, commands and parameters hold 259 units and the terminator.
constexpr int TEXT_CAPACITY = 260;

// Copies at most capacity - 1 units and always terminates; capacity 0 or less writes nothing.
// A null source copies as the empty text.
void CopyText(wchar_t* target, int capacity, const wchar_t* source);

// printf-style formatting cut to capacity - 1 units, always terminated; capacity 0 or less
// writes nothing. True when the whole text fit.
bool FormatText(wchar_t* target, int capacity, const wchar_t* format, ...);

// The length of a text that may be null (null counts as empty).
int TextLength(const wchar_t* text);
