// Starting, stopping and removing the services: the main window's routines that launch the
// commands and watch the services until they get where they were sent, or time runs out.
#include "panel/frmMain.h"
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

bool frmMain::StartNTService(const std::string& strDisplayName, const std::string& strServiceName,
                             const std::string& strInstallCommand) {
    log_.AppendLog("启动 " + strDisplayName + "...");
    if (!IsServiceRegistered(os_, strServiceName)) {
        runner_.LaunchHidden(strInstallCommand);
        const bool registered = runner_.WaitWithDots(
            CommandRunner::kWaitLimit, [&] { return IsServiceRegistered(os_, strServiceName); });
        if (!registered) {
            log_.ExtendLogLine("安装服务失败");
            return false;
        }
    }
    const Reading now = Query(os_.services(), strServiceName);
    if (CountsAsRunning(now.ok, now.state)) {
        log_.ExtendLogLine("已启动");
        return true;
    }
    runner_.LaunchHidden("cmd /c net start " + strServiceName);
    const bool started = runner_.WaitWithDots(CommandRunner::kWaitLimit, [&] {
        const Reading r = Query(os_.services(), strServiceName);
        return IsFullyRunning(r.ok, r.state);
    });
    log_.ExtendLogLine(started ? "成功" : "失败");
    return started;
}

bool frmMain::StopNTService(const std::string& strDisplayName, const std::string& strServiceName) {
    log_.AppendLog("停止 " + strDisplayName + "...");
    const Reading now = Query(os_.services(), strServiceName);
    if (!CountsAsRunning(now.ok, now.state)) {
        log_.ExtendLogLine("未启动");
        return true;
    }
    runner_.LaunchHidden("cmd /c net stop " + strServiceName);
    const bool stopped = runner_.WaitWithDots(CommandRunner::kWaitLimit, [&] {
        const Reading r = Query(os_.services(), strServiceName);
        return !CountsAsRunning(r.ok, r.state);
    });
    log_.ExtendLogLine(stopped ? "成功" : "失败");
    return stopped;
}

void frmMain::RemoveServices() {
    log_.AddLineUnselected("正在停止 Tomcat 服务");
    cmdStop_Click();
    log_.AddLineUnselected("正在停止 MySQL 服务");
    cmdMysqlStop_Click();
    log_.AddLineUnselected("删除 Tomcat 服务");
    runner_.LaunchHidden(std::string("cmd /c sc delete ") + kTomcatService);
    log_.AddLineUnselected("删除 MySQL 服务");
    runner_.LaunchHidden(std::string("cmd /c sc delete ") + kMysqlService);
}

}  // namespace oapanel
