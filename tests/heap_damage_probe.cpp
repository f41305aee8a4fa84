// Damages its own heap on purpose: one byte past a block and a block freed twice. CTest expects
// Wine's heap checking to report both, which shows the suite's heap check is in force.
#include <windows.h>

#include <cstring>

int main()
{
    const HANDLE heap = GetProcessHeap();
    auto* block = static_cast<char*>(HeapAlloc(heap, 0, 24));
    if (block == nullptr) {
        return 1;
    }
    volatile size_t past = 25;
    std::memset(block, 'x', past);
    HeapValidate(heap, 0, nullptr);
    HeapFree(heap, 0, block);
    HeapFree(heap, 0, block);
    return 0;
}
