// The entries of [hotkeys] as the platform reads them: key by key, or all in one call and found
// as the key-by-key reading would find them.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// "item<index>_command" for the largest index, and the terminator.
constexpr int ITEM_NAME_CAPACITY = 32;

// The key of item<index> as the key-by-key reading finds it; 0 when absent.
KeyCode ReadItemKey(const wchar_t* path, int index);
// The item at index as the key-by-key reading finds it; false when its key reads 0.
bool ReadItemKeyByKey(const wchar_t* path, int index, HotkeyItem* item);
bool SameItem(const HotkeyItem& left, const HotkeyItem& right);

// The values of a section read in one call, for the indices below its count of lines (in lines),
// in a block of the process heap; null when there is no memory. The lines are cut up in place.
const wchar_t** IndexedSection(wchar_t* section, int* lines);
// The entry whose key, command and parameter were found at fields.
void ReadItemFields(const wchar_t* const* fields, HotkeyItem* item);

// The count entries end with expected, read key by key.
bool LastEntryReads(const wchar_t* path, int count, const HotkeyItem& expected);
