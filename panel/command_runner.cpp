#include "panel/command_runner.h"

#include <algorithm>
#include <exception>

namespace oapanel {

Command CommandRunner::LaunchHidden(const std::string& strCommand) {
    auto& processes = os_.processes();
    // While Windows shuts down nothing new is started; the servers stay as they are.
    if (os_.windows().quitting())
        return Command(processes, strCommand, 0, kErrorShutdownInProgress);
    const platform::Handle process = processes.start(strCommand, platform::kSwHide);
    return Command(processes, strCommand, process, process ? 0 : processes.lastError());
}

WaitEnd CommandRunner::WaitWithDots(LineId line, double limit,
                                    const std::function<bool()>& completed, std::uint32_t pollMs) {
    // A monotonic clock: a wait across midnight still ends after `limit` seconds.
    auto& clock = os_.clock();
    const double start = clock.monotonicSeconds();
    double lastDot = start;
    for (;;) {
        // Block for messages instead of polling flat out: the window stays live and the
        // processor stays free. The block ends in time for the next dot and for the limit.
        const double due = std::min(lastDot + kDotInterval, start + limit);
        const double left = (due - clock.monotonicSeconds()) * 1000.0 + 1.0;
        os_.windows().waitForEvents(
            static_cast<std::uint32_t>(std::clamp(left, 1.0, static_cast<double>(pollMs))));
        if (os_.windows().quitting()) return WaitEnd::SessionEnded;
        const double now = clock.monotonicSeconds();
        if (start + limit < now) return WaitEnd::TimedOut;  // tested before the result
        if (completed()) return WaitEnd::Completed;
        if (lastDot + kDotInterval < now) {
            log_.ExtendLogLine(line, ".");
            lastDot = now;
        }
    }
}

bool CommandRunner::ExecAndWait(const std::string& strCommand, const std::string& strDirectory,
                                std::uint32_t lWaitMs, std::uint32_t lShowWindow,
                                std::uint32_t lFlags) {
    return os_.processes().launchAndWait(strCommand, strDirectory, lWaitMs, lShowWindow, lFlags);
}

void CommandRunner::DelaySecond(double dblSecond) {
    auto& clock = os_.clock();
    try {
        const double deadline = clock.monotonicSeconds() + std::max(0.0, dblSecond);
        do {
            const double left = deadline - clock.monotonicSeconds();
            os_.windows().waitForEvents(
                static_cast<std::uint32_t>(std::clamp(left * 1000.0, 0.0, double(kPollMs))));
        } while (clock.monotonicSeconds() <= deadline && !os_.windows().quitting());
    } catch (const std::exception&) {
        os_.app().messageBox("DelaySecond发生错误！ ", 64, " ");
    }
}

}  // namespace oapanel
