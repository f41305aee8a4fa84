#include "host/host_record.h"

#include "host/host_driving.h"

#include <mutex>

namespace {

std::mutex recordLock;
std::vector<std::wstring> calls;
std::vector<HostMessage> messages;
std::vector<std::wstring> logs;
std::wstring logPath;

}  // namespace

void RecordCall(const std::wstring& call)
{
    std::lock_guard<std::mutex> hold(recordLock);
    calls.push_back(call);
}

void RecordMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::mutex> hold(recordLock);
    messages.push_back({message, wParam, lParam});
}

void RecordLog(const std::wstring& text)
{
    std::lock_guard<std::mutex> hold(recordLock);
    logs.push_back(text);
}

std::vector<std::wstring> RecordedCalls()
{
    std::lock_guard<std::mutex> hold(recordLock);
    return calls;
}

std::vector<HostMessage> RecordedMessages()
{
    std::lock_guard<std::mutex> hold(recordLock);
    return messages;
}

std::vector<std::wstring> RecordedLogs()
{
    std::lock_guard<std::mutex> hold(recordLock);
    return logs;
}

void ClearRecords()
{
    std::lock_guard<std::mutex> hold(recordLock);
    calls.clear();
    messages.clear();
    logs.clear();
}

void SetHostLogFile(const std::wstring& path)
{
    logPath = path;
}

void WriteHostLog(const std::wstring& line)
{
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
