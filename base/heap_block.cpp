#include "base/heap_block.h"

void* AllocateBlock(SIZE_T bytes)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void ReleaseBlock(void* block)
{
    if (block != nullptr) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}

SIZE_T BlockSize(const void* block)
{
    return HeapSize(GetProcessHeap(), 0, block);
}

HGLOBAL AllocateGlobalBlock(SIZE_T bytes)
{
    return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes);
}

void ReleaseGlobalBlock(HGLOBAL block)
{
    if (block != nullptr) {
        GlobalFree(block);
    }
}
