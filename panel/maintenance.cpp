// The maintenance buttons of the advanced panel: the port check, the service path check, the
// removal of both services, and the hidden start-with-Windows box.
#include "base/text.h"
#include "environment/autorun.h"
#include "environment/env_store.h"
#include "panel/main_window.h"
#include "registry/registry_values.h"
#include "services/port_check.h"

namespace oapanel {

namespace {

// The port number reads with one blank in front, as the number-to-text conversion gives it. A
// port in use names its owner when the table of listening endpoints can tell.
std::string PortLine(platform::Platform& os, const std::string& strLabel, std::uint16_t iPort,
                     bool bInUse) {
    std::string line = strLabel + " " + std::to_string(iPort) + (bInUse ? " 正在使用" : " 空闲");
    if (!bInUse) return line;
    const auto owner = FindPortOwner(os, iPort);
    if (owner && !owner->exeName.empty())
        line += "（" + owner->exeName + "，PID " + std::to_string(owner->processId) + "）";
    return line;
}

// 1-based position of `part` in `text`, case-sensitive; 0 when it is not there.
std::size_t PositionOf(const std::string& text, const std::string& part) {
    const auto at = text.find(part);
    return at == std::string::npos ? 0 : at + 1;
}

}  // namespace

void MainWindow::CheckPorts() {
    const Servers& servers = TheServers();
    const std::int16_t code = oapanel::CheckPorts(os_.sockets(), servers[0].port, servers[1].port);
    const bool inUse[] = {code % 10 == kFirstPortInUse, code >= kSecondPortInUse};
    for (std::size_t i = 0; i < servers.size(); ++i)
        log_.AddLineUnselected(PortLine(os_, servers[i].portCheck, servers[i].port, inUse[i]));
    log_.SelectLast();
    ShowContactLine();
}

// Each service should run from this application folder: one registered from a copy elsewhere
// would start that copy's servers.
void MainWindow::CheckServicePaths() {
    log_.AppendLog("当前运行环境：" + GetSystemEnv(os_, "JRE_BK_HOME"));
    bool allHere = true;
    for (auto server = TheServers().rbegin(); server != TheServers().rend(); ++server) {
        const std::string path = GetServiceImagePath(os_, server->service);
        const std::size_t at = PositionOf(path, appPath_);
        allHere = allHere && at == 1;
        if (at != 0) continue;
        log_.AppendLog(std::string(server->name) + " 服务执行路径与当前运行环境不一致，请检查");
        log_.AppendLog(std::string(server->name) + " 服务执行路径：" + path);
    }
    if (allHere) log_.AppendLog("运行环境正常");
}

void MainWindow::RemoveServicesAndEnd() {
    if (os_.app().messageBox("卸载服务不会影响OA的数据，是否卸载？", platform::kMbOkCancel,
                             os_.app().appTitle()) != platform::kIdOk)
        return;
    system_.RemoveServices();
    os_.app().messageBox("本程序将退出", platform::kMbOk, os_.app().appTitle());
    tray_.Remove();
    End(0);
}

void MainWindow::AutoRunClicked() {
    if (form_.control(IDC_chkAuto).value == 1) {
        SetAutoRun(os_, os_.app(), "", platform::kHkeyLocalMachine);
        return;
    }
    // Ticking writes under HKEY_LOCAL_MACHINE; clearing removes that entry, and one under
    // HKEY_CURRENT_USER too, so nothing of the option is left behind.
    RemoveAutoRun(os_, os_.app(), platform::kHkeyLocalMachine);
    RemoveAutoRun(os_, os_.app(), platform::kHkeyCurrentUser);
}

}  // namespace oapanel
