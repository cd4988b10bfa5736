// The maintenance buttons of the advanced panel: the port check, the service path check, the
// removal of both services, and the hidden start-with-Windows box.
#include "base/text.h"
#include "environment/autorun.h"
#include "environment/env_store.h"
#include "panel/frmMain.h"
#include "registry/basRegistry.h"
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

void frmMain::cmdCheckPort_Click() {
    const std::int16_t code = CheckPorts(os_.sockets(), kMysqlPort, kTomcatPort);
    log_.AddLineUnselected(PortLine(os_, "数据库端口", kMysqlPort, code % 10 == kFirstPortInUse));
    log_.AddLineUnselected(PortLine(os_, "TOMCAT端口", kTomcatPort, code >= kSecondPortInUse));
    log_.SelectLast();
    form_.setCaption(IDC_lblBrackwen, ContactLine());
}

void frmMain::cmdCheckService_Click() {
    log_.AppendLog("当前运行环境：" + GetSystemEnv(os_, "JRE_BK_HOME"));
    const std::string tomcatPath = GetServiceImagePath(os_, kTomcatService);
    const std::string mysqlPath = GetServiceImagePath(os_, kMysqlService);
    const std::size_t posTomcat = PositionOf(tomcatPath, strAppPath);
    const std::size_t posMysql = PositionOf(mysqlPath, strAppPath);
    if (posTomcat == 0) {
        log_.AppendLog("Tomcat 服务执行路径与当前运行环境不一致，请检查");
        log_.AppendLog("Tomcat 服务执行路径：" + tomcatPath);
    }
    if (posMysql == 0) {
        log_.AppendLog("MySQL 服务执行路径与当前运行环境不一致，请检查");
        log_.AppendLog("MySQL 服务执行路径：" + mysqlPath);
    }
    if (posTomcat == 1 && posMysql == 1) log_.AppendLog("运行环境正常");
}

void frmMain::cmdReinstall_Click() {
    if (os_.app().messageBox("卸载服务不会影响OA的数据，是否卸载？", platform::kMbOkCancel,
                             os_.app().appTitle()) != platform::kIdOk)
        return;
    RemoveServices();
    os_.app().messageBox("本程序将退出", platform::kMbOk, os_.app().appTitle());
    DeleteIcon();
    End(0);
}

void frmMain::chkAuto_Click() {
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
