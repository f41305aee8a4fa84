// The [hotkeys] section as one block of "name=value" lines, and its values found as the
// key-by-key reading would find them: reading the section in one call is what keeps loading a
// thousand bindings fast.
#pragma once

#include <windows.h>

constexpr wchar_t HOTKEYS_SECTION[] = L"hotkeys";

enum ItemField { FIELD_KEY, FIELD_COMMAND, FIELD_PARAM, FIELD_ONLY, FIELD_EXCEPT, FIELD_COUNT };

// The whole section as "name=value" strings, each terminated, the last followed by a second
// terminator, in a block of the process heap; null when there is no memory. capped, when given,
// tells whether the platform handed out less than the section: some platforms read no more than
// 32,767 units of a section, whatever the buffer, and then answer as a full buffer of that size.
wchar_t* ReadHotkeysSection(const wchar_t* path, bool* capped = nullptr);
int CountSectionLines(const wchar_t* section);
// Points values[index * FIELD_COUNT + field] at the value first given for that key, for
// indices below lines; the section's lines are cut up in place.
void IndexSection(wchar_t* section, int lines, wchar_t** values);
// The value found for a key, or the empty text when there was none.
const wchar_t* ValueOrEmpty(const wchar_t* value);
