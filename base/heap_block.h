// Blocks of the process heap: the one place the plug-in allocates memory.
#pragma once

#include <windows.h>

// A zeroed block of the process heap, or null; ReleaseBlock frees it (null does nothing).
void* AllocateBlock(SIZE_T bytes);
void ReleaseBlock(void* block);
// The size a block was allocated with.
SIZE_T BlockSize(const void* block);

// A fixed, zeroed block of global memory, for what the platform takes in that form (the command
// picker's dialog template), or null; ReleaseGlobalBlock frees it (null does nothing).
HGLOBAL AllocateGlobalBlock(SIZE_T bytes);
void ReleaseGlobalBlock(HGLOBAL block);
