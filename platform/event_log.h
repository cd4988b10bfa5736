// The system's event log (advapi32), read for what the service manager recorded while the panel
// was not running.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"

namespace platform {

inline constexpr std::uint32_t kEventLogSequentialRead = 0x1;
inline constexpr std::uint32_t kEventLogBackwardsRead = 0x8;
inline constexpr std::uint32_t kErrorHandleEof = 38;

class EventLog {
public:
    virtual ~EventLog() = default;
    // OpenEventLogW(NULL, source): 0 when it cannot be opened.
    virtual Handle openEventLog(const std::string& source) = 0;
    // ReadEventLogW with the flags, into a buffer of bufferSize bytes: the records read are in
    // `records`, as the system lays them out (EVENTLOGRECORD, one after the other). False at the
    // end of the log (kErrorHandleEof) or on a failure, lastError says which; a buffer too small
    // for the next record fails with kErrorInsufficientBuffer and bytesNeeded says how many.
    virtual bool readEventLog(Handle log, std::uint32_t flags, std::uint32_t bufferSize,
                              std::vector<std::uint8_t>& records, std::uint32_t& bytesNeeded) = 0;
    virtual void closeEventLog(Handle log) = 0;
    virtual std::uint32_t lastError() = 0;
};

}  // namespace platform
