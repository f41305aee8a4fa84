#include "host/host_record.h"

#include "host/host_driving.h"

#include <mutex>

namespace {

struct Records {
    std::mutex lock;
    std::vector<std::wstring> calls;
    std::vector<HostMessage> messages;
    std::vector<std::wstring> logs;
    std::wstring logPath;
};

// Made at the first call and never destroyed: a plug-in's thread may still call a service while
// the process exits, after the C runtime has destroyed the static objects.
Records& TheRecords()
{
    static Records* const records = new Records();
    return *records;
}

}  // namespace

void RecordCall(const std::wstring& call)
{
    Records& records = TheRecords();
    std::lock_guard<std::mutex> hold(records.lock);
    records.calls.push_back(call);
}

void RecordMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    Records& records = TheRecords();
    std::lock_guard<std::mutex> hold(records.lock);
    records.messages.push_back({message, wParam, lParam});
}

void RecordLog(const std::wstring& text)
{
    Records& records = TheRecords();
    std::lock_guard<std::mutex> hold(records.lock);
    records.logs.push_back(text);
}

std::vector<std::wstring> RecordedCalls()
{
    Records& records = TheRecords();
    std::lock_guard<std::mutex> hold(records.lock);
    return records.calls;
}

std::vector<HostMessage> RecordedMessages()
{
    Records& records = TheRecords();
    std::lock_guard<std::mutex> hold(records.lock);
    return records.messages;
}

std::vector<std::wstring> RecordedLogs()
{
    Records& records = TheRecords();
    std::lock_guard<std::mutex> hold(records.lock);
    return records.logs;
}

void ClearRecords()
{
    Records& records = TheRecords();
    std::lock_guard<std::mutex> hold(records.lock);
    records.calls.clear();
    records.messages.clear();
    records.logs.clear();
}

void SetHostLogFile(const std::wstring& path)
{
    TheRecords().logPath = path;
}

void WriteHostLog(const std::wstring& line)
{
    const std::wstring& logPath = TheRecords().logPath;
    if (logPath.empty()) {
        return;
    }
    const std::string bytes = ToUtf8(line + L"\r\n");
    const HANDLE file = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}
