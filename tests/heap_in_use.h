// What the process heap holds in use, walked block by block: for tests that count what a run of
// the plug-in leaves behind.
#pragma once

#include <windows.h>

struct HeapInUse {
    int blocks;
    SSIZE_T bytes;
};

inline HeapInUse WalkProcessHeap()
{
    const HANDLE heap = GetProcessHeap();
    HeapInUse inUse = {0, 0};
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry)) {
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
            ++inUse.blocks;
            inUse.bytes += static_cast<SSIZE_T>(entry.cbData);
        }
    }
    HeapUnlock(heap);
    return inUse;
}
