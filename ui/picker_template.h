// The command picker's dialog template, written into memory each time the picker opens.
#pragma once

#include <windows.h>

// The block the caller allocates for the picker's template: fixed, zero-filled global memory.
constexpr SIZE_T PICKER_TEMPLATE_BLOCK_SIZE = 1024;
constexpr SIZE_T PICKER_TEMPLATE_SIZE = 300;

// Writes the picker's dialog template into the first PICKER_TEMPLATE_SIZE bytes of block. False
// when the template would not fit them: the template is then not whole and must not be shown.
bool WriteCommandPickerTemplate(void* block);
