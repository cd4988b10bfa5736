// Installing, starting, stopping and removing the two services. The operations know nothing
// of the window: they write their log lines and wait through a ServiceHost, which the window
// provides (it keeps itself live and adds the progress dots).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "base/owner.h"
#include "platform/platform.h"

namespace oapanel {

// How long a wait gives a command, and how often it shows that it still waits.
inline constexpr double kWaitLimit = 30.0;
inline constexpr double kDotInterval = 2.0;
// How often a wait looks: often, unless the service itself says when it changes; then only
// with each dot, in case a notification was lost.
inline constexpr std::uint32_t kPollMs = 50;
inline constexpr std::uint32_t kNotifiedPollMs = 2000;

// Names one line of the activity log for as long as it is there.
using LineId = std::int64_t;

// A command line started with a hidden window, and whether it has ended since.
class Command {
public:
    Command(platform::Processes& processes, std::string line, platform::Handle process,
            std::uint32_t error)
        : processes_(processes),
          line_(std::move(line)),
          process_(processes, process),
          error_(error) {}
    bool started() const { return static_cast<bool>(process_); }
    std::uint32_t error() const { return error_; }  // why it could not be started
    const std::string& line() const { return line_; }
    bool ended() { return !process_ || processes_.hasEnded(process_.get()); }
    // Its exit code once it has ended; false before, or when it cannot be read.
    bool exitCode(std::uint32_t& code) {
        return process_ && processes_.exitCode(process_.get(), code) &&
               code != platform::kStillActive;
    }

private:
    platform::Processes& processes_;
    std::string line_;
    Owner<platform::Processes, &platform::Processes::closeProcess> process_;
    std::uint32_t error_;
};

// How a wait ended. A session that ends is neither success nor failure: nothing is said.
enum class WaitEnd { Completed, TimedOut, SessionEnded };

class ServiceHost {
public:
    virtual ~ServiceHost() = default;
    // Adds a line to the activity log and selects it. The line belongs to the operation that
    // wrote it, which extends it with its outcome, until EndLine.
    virtual LineId AppendLog(const std::string& text) = 0;
    virtual void EndLine(LineId line) = 0;
    // Adds a line without moving the selection.
    virtual void AddLineUnselected(const std::string& text) = 0;
    // Appends to that line, whatever the user selected meanwhile.
    virtual void ExtendLogLine(LineId line, const std::string& suffix) = 0;
    // Starts a command line with a hidden window.
    virtual Command LaunchHidden(const std::string& strCommand) = 0;
    // Waits up to `limit` seconds for `completed` to hold, adding a dot to the line every two
    // seconds and keeping the window live; `completed` is asked at least every pollMs.
    virtual WaitEnd WaitWithDots(LineId line, double limit, const std::function<bool()>& completed,
                                 std::uint32_t pollMs = kPollMs) = 0;
};

// How a start or a stop ended. A failure has written its reason line, "原因：..."; the same
// text is here. One cut short by the end of the session has said nothing at all.
struct Outcome {
    bool ok = false;
    std::string reason;
    bool interrupted = false;
    double startedAt = 0;    // when its first line was written, on the monotonic clock
    bool changed = false;    // this operation started or stopped the service itself
    std::string serverLine;  // after a failed start: the server's own error line, when it wrote one
};

// Writes "启动 <display name>...", installs the service with strInstallCommand when it is not
// registered, starts it unless it already counts as running, and ends the line with the
// outcome. ok when the service runs at the end. iPort is the server's own port: another
// program holding it is the likeliest reason for a failed start.
Outcome StartNTService(platform::Platform& os, ServiceHost& host, const std::string& strDisplayName,
                       const std::string& strServiceName, const std::string& strInstallCommand,
                       std::uint16_t iPort);

// Writes "停止 <display name>..." and stops the service unless it already counts as stopped.
// ok when it counts as stopped at the end.
Outcome StopNTService(platform::Platform& os, ServiceHost& host, const std::string& strDisplayName,
                      const std::string& strServiceName);

// Why a service stopped, from its exit codes, worded as a failed start words it: "服务已停止（错误
// 1067：…）", "服务已停止（服务自身的错误代码 1）". Empty for a clean stop (exit code 0).
std::string ExitReason(platform::Platform& os, const platform::ServiceStatus& status);

// Deletes a service through "sc delete", without waiting for it.
void DeleteService(ServiceHost& host, const std::string& strServiceName);

}  // namespace oapanel
