// Rows of a table that share one combination. The system tells combinations apart by a virtual key
// and four modifiers; the extended flag is the hot-key control's own, so Page Up of the navigation
// keys and of the keypad are one combination. A combination is registered once, under the id of its
// first row, and a press chooses among its rows.
#pragma once

#include "hotkeys/hotkey_table.h"

constexpr int COMBINATION_COUNT = 0x1000;

// 0 to COMBINATION_COUNT - 1: the virtual key and the four modifiers the system sees.
int CombinationIndex(KeyCode key);

struct CombinationRow {
    int first;  // the combination's first row in table order
    int next;   // the combination's next row after this one, or -1
};

// One link for each row of the table, in a block of the process heap that the caller frees
// (ReleaseBlock). Null when no two rows share a combination, or memory ran short: each row is then
// alone. A row without a virtual key is always alone.
CombinationRow* LinkCombinationRows(HotkeyTable table);

// The row's first and next rows, with links as LinkCombinationRows made them for count rows.
int FirstRowOf(const CombinationRow* links, int count, int row);
int NextRowOf(const CombinationRow* links, int count, int row);
