// Launching command lines and waiting for their effect while the window stays live.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "panel/activity_log.h"
#include "platform/platform.h"

namespace oapanel {

class CommandRunner {
public:
    static constexpr double kWaitLimit = 30.0;    // seconds a wait gives the command
    static constexpr double kDotInterval = 2.0;   // seconds between progress dots
    static constexpr std::uint32_t kPollMs = 50;  // longest block between two polls

    CommandRunner(platform::Platform& os, ActivityLog& log) : os_(os), log_(log) {}

    // Starts the command line with a hidden window and returns once the process exists.
    bool LaunchHidden(const std::string& strCommand);

    // Waits up to `limit` seconds for `completed` to hold, adding a dot to the selected log
    // line every two seconds. Window messages are dispatched throughout, so other handlers
    // may run inside. Returns true when completed, false when the time ran out.
    bool WaitWithDots(double limit, const std::function<bool()>& completed);

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
