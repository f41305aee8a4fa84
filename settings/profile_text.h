// How the platform's key-by-key profile reading turns a stored value into the text it hands out,
// and the form in which a text must be stored so that this reading gives it back unchanged.
#pragma once

#include <windows.h>

// Blanks the reading trims off both ends of a name or a value: Ctrl+Z, the end mark of old DOS
// files, is one of them.
bool IsProfileBlank(wchar_t unit);
// Cuts blanks off both ends in place; returns the first unit that is kept.
wchar_t* TrimProfileBlanks(wchar_t* text);
// A trimmed value as the reading hands it out: one pair of matching quotes around it taken off,
// cut to capacity - 1 units.
void CopyProfileValue(wchar_t* target, int capacity, const wchar_t* value);
// A trimmed value as the reading hands it out into a buffer large enough: one pair of matching
// quotes taken off in place. Returns the first unit of the text.
wchar_t* UnquoteProfileValue(wchar_t* value);
// True when a text must be stored inside a pair of double quotes for the reading to give it back:
// blanks at its ends, or quotes the reading would take off.
bool NeedsProfileQuotes(const wchar_t* text);
// A value as the integer reading turns it into a number.
UINT ReadProfileInteger(const wchar_t* value);
// False for a text no stored form gives back to a reading into capacity units: one of capacity - 1
// units that the reading would trim or take quotes off, with no room left for the quotes that
// would protect it.
bool HasStoredForm(const wchar_t* text, int capacity);
// The form to store so that a reading into capacity units gives back exactly text: the text
// itself, or the text inside one more pair of double quotes when the reading would otherwise
// trim it or take quotes off it. A text the reading could not give back either way is stored as
// it is. Target holds at least capacity + 2 units.
void StoredProfileValue(wchar_t* target, int capacity, const wchar_t* text);
