// The bindings in memory: an ordered table of HotkeyItem copies. A table is a hidden list box;
// its entries carry no text, and each entry's item data points at the block it owns: the record,
// followed by its program lists when it has any, exactly as long as they are. An item's index is
// its hotkey id.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/bounded_text.h"
#include "base/key_code.h"

struct HotkeyItem {
    KeyCode key;
    wchar_t command[TEXT_CAPACITY];
    wchar_t param[TEXT_CAPACITY];
};
static_assert(sizeof(wchar_t) == 2, "text units are 16 bits");
static_assert(sizeof(HotkeyItem) == 1042, "HotkeyItem is 1042 bytes");
static_assert(offsetof(HotkeyItem, command) == 2, "HotkeyItem.command");
static_assert(offsetof(HotkeyItem, param) == 522, "HotkeyItem.param");

// Where a binding fires: program file names separated by ";", each "" for none, never null. The
// binding fires where only is empty or names the program in front, and except does not name it.
// The lists are as long as the user writes them; a binding without them pays nothing for them.
struct ProgramLists {
    const wchar_t* only;
    const wchar_t* except;
};
constexpr ProgramLists ANY_PROGRAM = {L"", L""};

inline bool IsLimited(ProgramLists programs)
{
    return programs.only[0] != L'\0' || programs.except[0] != L'\0';
}

// The RegisterHotKey modifiers of a key code; the extended flag is the hot-key control's own and
// has none.
UINT HotkeyModifiers(KeyCode key);

using HotkeyTable = HWND;

// The table whose bindings are registered; owned by the hotkey window.
extern HotkeyTable liveTable;

HotkeyTable CreateHotkeyTable();
// Appends a copy of the record and of its program lists; the caller keeps its own. A refused
// entry is dropped silently.
void AppendHotkeyItem(HotkeyTable table, const HotkeyItem* item, ProgramLists programs = ANY_PROGRAM);
// Removes the entry and frees its record; later entries move down by one. Other indices do nothing.
void DeleteHotkeyItem(HotkeyTable table, int index);
void ClearHotkeyTable(HotkeyTable table);
void DestroyHotkeyTable(HotkeyTable table);
// A new table holding copies of every entry of the live table, in order. Short of memory or
// window handles it may hold fewer, or be null; the caller compares counts.
HotkeyTable CloneHotkeyTable();
// The index of the first entry whose key equals all 16 bits of key, or -1.
int FindHotkeyItem(HotkeyTable table, KeyCode key);
int GetHotkeyCount(HotkeyTable table);
// The stored record, which the caller may read or overwrite whole, or null for an index that
// is not in the table.
HotkeyItem* GetHotkeyItem(HotkeyTable table, int index);
// The entry's program lists (ANY_PROGRAM for an index not in the table), valid until the entry's
// lists are set, the entry deleted or the table cleared.
ProgramLists GetHotkeyPrograms(HotkeyTable table, int index);
// Replaces the entry's program lists with copies; the record keeps its value, but its address from
// GetHotkeyItem is stale afterwards. False, and the entry as it was, when memory ran short or the
// index is not in the table.
bool SetHotkeyPrograms(HotkeyTable table, int index, ProgramLists programs);
