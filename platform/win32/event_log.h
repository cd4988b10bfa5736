#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace win32 {

class EventLog : public platform::EventLog {
public:
    platform::Handle openEventLog(const std::string& source) override;
    bool readEventLog(platform::Handle log, std::uint32_t flags, std::uint32_t bufferSize,
                      std::vector<std::uint8_t>& records, std::uint32_t& bytesNeeded) override;
    void closeEventLog(platform::Handle log) override;
    std::uint32_t lastError() override { return lastError_; }

private:
    std::uint32_t lastError_ = 0;
};

}  // namespace win32
