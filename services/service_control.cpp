// Starting and stopping a service: launch the command, then watch the service until it gets
// where it was sent, or time runs out; a failure says why on a line of its own.
#include "services/service_control.h"

#include <optional>
#include <vector>

#include "registry/registry_values.h"
#include "services/service_query.h"
#include "services/port_check.h"

namespace oapanel {

namespace {

// The readings of one full query, for the completion tests.
struct Reading {
    bool ok;
    std::int32_t state;
};

Reading Query(platform::ServiceManager& scm, const std::string& strServiceName) {
    std::int32_t state = 0, startType = 0;
    std::string binPath;
    const bool ok = QueryServiceInfo(scm, strServiceName, state, startType, binPath);
    return {ok, state};
}

// "错误 1067：进程被终止。"; a code the system has no text for (a service's own) stands alone.
std::string ErrorText(platform::Platform& os, std::uint32_t code) {
    const std::string message = os.app().systemMessage(code);
    return "错误 " + std::to_string(code) + (message.empty() ? "" : "：" + message);
}

std::string LaunchFailure(platform::Platform& os, const Command& command) {
    return "无法运行命令：" + command.line() + "（" + ErrorText(os, command.error()) + "）";
}

// "30 秒后服务仍为<state>状态"; a service that is not there at all reads as 未安装.
std::string StillIn(std::uint32_t state) {
    static const char* const kNames[] = {"未安装", "已停止",   "正在启动", "正在停止",
                                         "已启动", "正在继续", "正在暂停", "已暂停"};
    return std::string("30 秒后服务仍为") + (state < 8 ? kNames[state] : "未知") + "状态";
}

// Another program on the server's port; nothing when the port is free or the service's own.
std::string PortTaken(platform::Platform& os, std::uint16_t port, std::uint32_t servicePid) {
    const std::string held = "端口 " + std::to_string(port) + " 已被";
    if (const auto owner = FindPortOwner(os, port)) {
        if (owner->processId != 0 && owner->processId == servicePid) return {};
        if (owner->exeName.empty()) return held + "其他程序占用";
        return held + " " + owner->exeName + "（PID " + std::to_string(owner->processId) + "）占用";
    }
    // No table to read: a port that cannot be bound while the service has no process.
    if (servicePid == 0 && CheckPorts(os.sockets(), port, 0) == kFirstPortInUse)
        return held + "其他程序占用";
    return {};
}

// The program an ImagePath names, when it is plainly not there. Unquoted, the path may hold
// blanks, so every cut at a blank is a candidate, as the service manager itself tries them.
// A path with variables in it cannot be told from here: nothing is said about it.
std::optional<std::string> MissingProgram(platform::Files& files, const std::string& imagePath) {
    if (imagePath.empty() || imagePath.find('%') != std::string::npos) return std::nullopt;
    std::vector<std::string> candidates;
    if (imagePath[0] == '"') {
        candidates.push_back(imagePath.substr(1, imagePath.find('"', 1) - 1));
    } else {
        for (std::size_t at = imagePath.find(' '); at != std::string::npos;
             at = imagePath.find(' ', at + 1))
            candidates.push_back(imagePath.substr(0, at));
        candidates.push_back(imagePath);
    }
    for (const auto& path : candidates)
        if (files.fileExists(path) || files.fileExists(path + ".exe")) return std::nullopt;
    return candidates.front();
}

// Why a service is STOPPED after `net start` failed. A service that is disabled, or whose
// program is gone, cannot have run: its exit code is stale, left from its last run, so those
// causes are looked for first.
std::string StoppedReason(platform::Platform& os, const platform::ServiceStatus& status,
                          const std::string& strServiceName, Command& net) {
    std::int32_t state = 0, startType = 0;
    std::string imagePath;
    if (QueryServiceInfo(os.services(), strServiceName, state, startType, imagePath)) {
        if (startType == static_cast<std::int32_t>(platform::kServiceDisabled))
            return "服务已被禁用";
        if (const auto missing = MissingProgram(os.files(), imagePath))
            return "服务程序不存在：" + *missing;
    }
    if (status.win32ExitCode != platform::kErrorServiceNeverStarted)
        if (std::string reason = ExitReason(os, status); !reason.empty()) return reason;
    std::uint32_t exitCode = 0;
    return "服务未能启动（net start 退出代码 " +
           (net.exitCode(exitCode) ? std::to_string(exitCode) : std::string("未知")) + "）";
}

std::string StartFailure(platform::Platform& os, std::uint16_t port, ServiceWatch& watch,
                         const std::string& strServiceName, Command& net) {
    platform::ServiceStatus status;
    if (!watch.Status(status))
        status.currentState = watch.OpenError() == platform::kErrorServiceDoesNotExist ? 0 : 8;
    if (std::string taken = PortTaken(os, port, status.processId); !taken.empty()) return taken;
    if (status.currentState != platform::kServiceStopped) return StillIn(status.currentState);
    return StoppedReason(os, status, strServiceName, net);
}

// The operation's own line, final once the operation returns.
class OwnLine {
public:
    OwnLine(platform::Platform& os, ServiceHost& host, const std::string& text)
        : host_(host), startedAt_(os.clock().monotonicSeconds()), id_(host.AppendLog(text)) {}
    OwnLine(const OwnLine&) = delete;
    OwnLine& operator=(const OwnLine&) = delete;
    ~OwnLine() { host_.EndLine(id_); }
    LineId id() const { return id_; }

    Outcome Fail(const std::string& strOutcome, const std::string& strReason) {
        host_.ExtendLogLine(id_, strOutcome);
        host_.AddLineUnselected("原因：" + strReason);
        return {false, "原因：" + strReason, false, startedAt_, false, {}};
    }
    // changed: the operation itself started or stopped the service ("成功"), rather than found
    // it where it was sent ("已启动", "未启动").
    Outcome Succeed(const std::string& strOutcome, bool changed) {
        host_.ExtendLogLine(id_, strOutcome);
        return {true, {}, false, startedAt_, changed, {}};
    }
    // The session ended during the wait: the line stays as it was, and nothing more is said.
    Outcome Interrupted() const { return {false, {}, true, startedAt_, false, {}}; }

private:
    ServiceHost& host_;
    double startedAt_;
    LineId id_;
};

}  // namespace

std::string ExitReason(platform::Platform& os, const platform::ServiceStatus& status) {
    const std::uint32_t code = status.win32ExitCode;
    if (code == platform::kErrorServiceSpecificError)
        return "服务已停止（服务自身的错误代码 " + std::to_string(status.serviceSpecificExitCode) +
               "）";
    if (code != 0) return "服务已停止（" + ErrorText(os, code) + "）";
    return {};
}

Outcome StartNTService(platform::Platform& os, ServiceHost& host, const std::string& strDisplayName,
                       const std::string& strServiceName, const std::string& strInstallCommand,
                       std::uint16_t iPort) {
    OwnLine line(os, host, "启动 " + strDisplayName + "...");
    if (!IsServiceRegistered(os, strServiceName)) {
        const Command installer = host.LaunchHidden(strInstallCommand);
        if (!installer.started()) return line.Fail("安装服务失败", LaunchFailure(os, installer));
        const WaitEnd end = host.WaitWithDots(
            line.id(), kWaitLimit, [&] { return IsServiceRegistered(os, strServiceName); });
        if (end == WaitEnd::SessionEnded) return line.Interrupted();
        if (end == WaitEnd::TimedOut) return line.Fail("安装服务失败", StillIn(0));
    }
    const Reading now = Query(os.services(), strServiceName);
    if (CountsAsRunning(now.ok, now.state)) return line.Succeed("已启动", false);

    Command net = host.LaunchHidden("cmd /c net start " + strServiceName);
    if (!net.started()) return line.Fail("失败", LaunchFailure(os, net));
    // Each look is one status query on handles held for the whole wait, and where the system
    // can say when the service changes, the wait sleeps until it does. Only a service that says
    // it runs gets the full query that decides. Wine's net start ends while the service is
    // still starting, so a failed start is one back in STOPPED after the command ended.
    ServiceWatch watch(os.services(), strServiceName);
    const bool notified = watch.Notify(platform::kNotifyRunning);
    bool stoppedAgain = false;
    const WaitEnd end = host.WaitWithDots(
        line.id(), kWaitLimit,
        [&] {
            // The command first: read after the status, a start that succeeds in between
            // would look like one that ended STOPPED.
            const bool netEnded = net.ended();
            platform::ServiceStatus status;
            if (!watch.Status(status)) return false;
            if (status.currentState == platform::kServiceRunning) {
                const Reading r = Query(os.services(), strServiceName);
                return IsFullyRunning(r.ok, r.state);
            }
            const bool stopped = status.currentState == platform::kServiceStopped;
            stoppedAgain = stopped && netEnded;
            // Not yet started, a stop would wake the wait again and again: only the start then.
            watch.Notify(platform::kNotifyRunning | (stopped ? 0 : platform::kNotifyStopped));
            return stoppedAgain;
        },
        notified ? kNotifiedPollMs : kPollMs);
    if (end == WaitEnd::SessionEnded) return line.Interrupted();
    if (end == WaitEnd::Completed && !stoppedAgain) return line.Succeed("成功", true);
    return line.Fail("失败", StartFailure(os, iPort, watch, strServiceName, net));
}

Outcome StopNTService(platform::Platform& os, ServiceHost& host, const std::string& strDisplayName,
                      const std::string& strServiceName) {
    OwnLine line(os, host, "停止 " + strDisplayName + "...");
    const Reading now = Query(os.services(), strServiceName);
    if (!CountsAsRunning(now.ok, now.state)) return line.Succeed("未启动", false);

    const Command net = host.LaunchHidden("cmd /c net stop " + strServiceName);
    if (!net.started()) return line.Fail("失败", LaunchFailure(os, net));
    ServiceWatch watch(os.services(), strServiceName);
    const bool notified = watch.Notify(platform::kNotifyStopped);
    platform::ServiceStatus status;
    const WaitEnd end = host.WaitWithDots(
        line.id(), kWaitLimit,
        [&] {
            if (watch.Status(status) && status.currentState != platform::kServiceStopped) {
                watch.Notify(platform::kNotifyStopped);
                return false;
            }
            const Reading r = Query(os.services(), strServiceName);
            return !CountsAsRunning(r.ok, r.state);
        },
        notified ? kNotifiedPollMs : kPollMs);
    if (end == WaitEnd::SessionEnded) return line.Interrupted();
    if (end == WaitEnd::Completed) return line.Succeed("成功", true);
    return line.Fail("失败", StillIn(watch.Status(status) ? status.currentState : 8));
}

void DeleteService(ServiceHost& host, const std::string& strServiceName) {
    host.LaunchHidden("cmd /c sc delete " + strServiceName);
}

}  // namespace oapanel
