#pragma once

#include "platform/processes.h"

namespace win32 {

// Processes through kernel32, and the process list through WMI.
class Processes : public platform::Processes {
public:
    bool launch(const std::string& commandLine, std::uint32_t showMode) override;
    bool launchAndWait(const std::string& commandLine, const std::string& directory,
                       std::uint32_t waitMs, std::uint32_t showMode,
                       std::uint32_t creationFlags) override;
    bool enumerateProcessDescriptions(
        const std::function<bool(const std::string&)>& visit) override;
    platform::Handle start(const std::string& commandLine, std::uint32_t showMode) override;
    bool hasEnded(platform::Handle process) override;
    bool exitCode(platform::Handle process, std::uint32_t& code) override;
    void closeProcess(platform::Handle process) override;
    std::uint32_t lastError() override { return lastError_; }
    std::string processName(std::uint32_t processId) override;

private:
    std::uint32_t lastError_ = 0;
};

}  // namespace win32
