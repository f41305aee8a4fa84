// Linked into every test program: after each test the heaps of the process are validated, so a
// block written past its end or freed twice fails the test that did it. Under
// WINEDEBUG=err+heap,warn+heap (as CTest runs the programs) Wine also names the damaged block.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

namespace {

class HeapCheck : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        const DWORD count = GetProcessHeaps(0, nullptr);
        std::vector<HANDLE> heaps(count);
        const DWORD listed = GetProcessHeaps(count, heaps.data());
        for (DWORD i = 0; i < listed && i < count; ++i) {
            EXPECT_TRUE(HeapValidate(heaps[i], 0, nullptr))
                << "a heap of the process is damaged after " << test.test_suite_name() << "." << test.name();
        }
    }
};

struct HeapCheckRegistration {
    HeapCheckRegistration() { ::testing::UnitTest::GetInstance()->listeners().Append(new HeapCheck); }
};

const HeapCheckRegistration registration;

}  // namespace
