// Linked into every test program: after each test the heaps of the process are validated, so a
// block written past its end or freed twice fails the test that did it. Under
// WINEDEBUG=err+heap,warn+heap (as CTest runs the programs) Wine also names the damaged block.
// Wine keeps its parse of the last ten settings files read (tens of thousands of blocks for a big
// one), and under that checking every block taken or freed walks them all: after each test the
// parses are let go, so a big file slows only the test that reads it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr int PARSED_FILES_KEPT = 10;

// Opening a file that is not there takes the oldest parse's place; the flush then lets it go.
void ForgetParsedSettingsFiles()
{
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    for (int i = 0; i < PARSED_FILES_KEPT; ++i) {
        const std::wstring absent = folder + std::wstring(L"tessel-never-written-") + std::to_wstring(i) + L".ini";
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, absent.c_str());
    }
}

class HeapCheck : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        ForgetParsedSettingsFiles();
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
