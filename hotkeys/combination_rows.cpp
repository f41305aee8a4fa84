#include "hotkeys/combination_rows.h"

#include "base/heap_block.h"

namespace {

bool InRange(const CombinationRow* links, int count, int row)
{
    return links != nullptr && row >= 0 && row < count;
}

}  // namespace

int CombinationIndex(KeyCode key)
{
    // The Windows key takes the place of the extended flag.
    return (key & (VIRTUAL_KEY_BITS | KEY_SHIFT | KEY_CONTROL | KEY_ALT)) | ((key & KEY_WIN) >> 1);
}

// One pass in table order with the last row seen of each combination; the map is dropped at the
// end, so a table keeps eight bytes a row, and none when nothing is shared.
CombinationRow* LinkCombinationRows(HotkeyTable table)
{
    const int count = GetHotkeyCount(table);
    auto* links = static_cast<CombinationRow*>(AllocateBlock(static_cast<SIZE_T>(count) * sizeof(CombinationRow)));
    // The last row of each combination, plus 1: the zeroed block means no row yet.
    auto* lastRows = static_cast<int*>(AllocateBlock(COMBINATION_COUNT * sizeof(int)));
    bool shared = false;
    for (int row = 0; row < count && links != nullptr && lastRows != nullptr; ++row) {
        const HotkeyItem* item = GetHotkeyItem(table, row);
        links[row] = {row, -1};
        if (item == nullptr || (item->key & VIRTUAL_KEY_BITS) == 0) {
            continue;
        }
        int& last = lastRows[CombinationIndex(item->key)];
        if (last != 0) {
            links[last - 1].next = row;
            links[row].first = links[last - 1].first;
            shared = true;
        }
        last = row + 1;
    }
    const bool linked = shared && lastRows != nullptr;
    ReleaseBlock(lastRows);
    if (!linked) {
        ReleaseBlock(links);
        return nullptr;
    }
    return links;
}

int FirstRowOf(const CombinationRow* links, int count, int row)
{
    return InRange(links, count, row) ? links[row].first : row;
}

int NextRowOf(const CombinationRow* links, int count, int row)
{
    return InRange(links, count, row) ? links[row].next : -1;
}
