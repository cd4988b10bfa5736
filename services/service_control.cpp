// Starting and stopping a service: launch the command, then watch the service until it gets
// where it was sent, or time runs out.
#include "services/service_control.h"

#include "registry/basRegistry.h"
#include "services/basService.h"

namespace oapanel {

namespace {

// The readings of one status query, for the waits' completion tests.
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

}  // namespace

bool StartNTService(platform::Platform& os, ServiceHost& host, const std::string& strDisplayName,
                    const std::string& strServiceName, const std::string& strInstallCommand) {
    host.AppendLog("启动 " + strDisplayName + "...");
    if (!IsServiceRegistered(os, strServiceName)) {
        host.LaunchHidden(strInstallCommand);
        const bool registered =
            host.WaitWithDots(kWaitLimit, [&] { return IsServiceRegistered(os, strServiceName); });
        if (!registered) {
            host.ExtendLogLine("安装服务失败");
            return false;
        }
    }
    const Reading now = Query(os.services(), strServiceName);
    if (CountsAsRunning(now.ok, now.state)) {
        host.ExtendLogLine("已启动");
        return true;
    }
    host.LaunchHidden("cmd /c net start " + strServiceName);
    const bool started = host.WaitWithDots(kWaitLimit, [&] {
        const Reading r = Query(os.services(), strServiceName);
        return IsFullyRunning(r.ok, r.state);
    });
    host.ExtendLogLine(started ? "成功" : "失败");
    return started;
}

bool StopNTService(platform::Platform& os, ServiceHost& host, const std::string& strDisplayName,
                   const std::string& strServiceName) {
    host.AppendLog("停止 " + strDisplayName + "...");
    const Reading now = Query(os.services(), strServiceName);
    if (!CountsAsRunning(now.ok, now.state)) {
        host.ExtendLogLine("未启动");
        return true;
    }
    host.LaunchHidden("cmd /c net stop " + strServiceName);
    const bool stopped = host.WaitWithDots(kWaitLimit, [&] {
        const Reading r = Query(os.services(), strServiceName);
        return !CountsAsRunning(r.ok, r.state);
    });
    host.ExtendLogLine(stopped ? "成功" : "失败");
    return stopped;
}

void DeleteService(ServiceHost& host, const std::string& strServiceName) {
    host.LaunchHidden("cmd /c sc delete " + strServiceName);
}

}  // namespace oapanel
