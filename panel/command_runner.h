// Launching command lines and waiting for their effect while the window stays live: what the
// service operations need from the window, with the activity log they write to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "panel/activity_log.h"
#include "platform/platform.h"
#include "services/service_control.h"

namespace oapanel {

class CommandRunner : public ServiceHost {
public:
    static constexpr std::uint32_t kErrorShutdownInProgress = 1115;

    CommandRunner(platform::Platform& os, ActivityLog& log) : os_(os), log_(log) {}

    LineId AppendLog(const std::string& text) override {
        const LineId line = log_.AppendLog(text);
        log_.HoldOpen(line);
        return line;
    }
    void EndLine(LineId line) override { log_.Close(line); }
    void AddLineUnselected(const std::string& text) override { log_.AddLineUnselected(text); }
    void ExtendLogLine(LineId line, const std::string& suffix) override {
        log_.ExtendLogLine(line, suffix);
    }
    Command LaunchHidden(const std::string& strCommand) override;
    // Window messages are dispatched throughout, so other handlers may run inside.
    WaitEnd WaitWithDots(LineId line, double limit, const std::function<bool()>& completed,
                         std::uint32_t pollMs = kPollMs) override;

    // Runs a command line and waits up to lWaitMs for it; false when it could not start.
    bool ExecAndWait(const std::string& strCommand, const std::string& strDirectory,
                     std::uint32_t lWaitMs, std::uint32_t lShowWindow, std::uint32_t lFlags);

    // Lets dblSecond seconds pass with the window live.
    void DelaySecond(double dblSecond);

private:
    platform::Platform& os_;
    ActivityLog& log_;
};

}  // namespace oapanel
