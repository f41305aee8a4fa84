// The entries of [hotkeys] as the platform reads them: key by key, or all in one call and found
// as the key-by-key reading would find them.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// "item<index>_command" for the largest index, and the terminator.
constexpr int ITEM_NAME_CAPACITY = 32;

// A binding's program lists read key by key, each whole in a block of its own, null when memory
// ran short; ReleaseReadLists frees them.
struct ReadLists {
    wchar_t* only;
    wchar_t* except;
};
void ReleaseReadLists(ReadLists lists);
// Both lists, or ANY_PROGRAM for one that was not read.
ProgramLists ListsRead(ReadLists lists);

// The key of item<index> as the key-by-key reading finds it; 0 when absent.
KeyCode ReadItemKey(const wchar_t* path, int index);
// The item at index as the key-by-key reading finds it; false when its key reads 0. The lists are
// read whatever the key.
bool ReadItemKeyByKey(const wchar_t* path, int index, HotkeyItem* item, ReadLists* lists);
bool SameItem(const HotkeyItem& left, const HotkeyItem& right);
bool SamePrograms(ProgramLists left, ProgramLists right);

// The values of a section read in one call, for the indices below its count of lines (in lines),
// in a block of the process heap; null when there is no memory. The lines are cut up in place.
wchar_t** IndexedSection(wchar_t* section, int* lines);
// The entry whose fields were found at fields; its lists point into the section, taken out of
// their quotes in place, so each entry's fields are read once.
void ReadItemFields(wchar_t* const* fields, HotkeyItem* item, ProgramLists* programs);

// The table's entry at index, its lists included, is what the key-by-key reading finds there.
bool EntryReads(const wchar_t* path, HotkeyTable table, int index);
