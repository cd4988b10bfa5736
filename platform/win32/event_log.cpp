#include "platform/win32/event_log.h"

#include "platform/win32/text.h"

namespace win32 {

static_assert(sizeof(EVENTLOGRECORD) == 56);

platform::Handle EventLog::openEventLog(const std::string& source) {
    HANDLE log = ::OpenEventLogW(nullptr, widen(source).c_str());
    lastError_ = log ? 0 : ::GetLastError();
    return reinterpret_cast<platform::Handle>(log);
}

bool EventLog::readEventLog(platform::Handle log, std::uint32_t flags, std::uint32_t bufferSize,
                            std::vector<std::uint8_t>& records, std::uint32_t& bytesNeeded) {
    // The records are copied out whole; their layout is read, and checked, by the caller.
    records.assign(bufferSize ? bufferSize : 1, 0);
    DWORD read = 0, needed = 0;
    if (!::ReadEventLogW(reinterpret_cast<HANDLE>(log), flags, 0, records.data(), bufferSize, &read,
                         &needed)) {
        lastError_ = ::GetLastError();
        bytesNeeded = needed;
        records.clear();
        return false;
    }
    records.resize(std::min<std::size_t>(read, bufferSize));
    lastError_ = 0;
    return true;
}

void EventLog::closeEventLog(platform::Handle log) {
    if (log) ::CloseEventLog(reinterpret_cast<HANDLE>(log));
}

}  // namespace win32
