// The two maintenance buttons for the services' registration: compare where the services
// run from with this application folder, and remove both services.
#include "environment/env_store.h"
#include "panel/frmMain.h"
#include "registry/basRegistry.h"

namespace oapanel {

namespace {

// 1-based position of `part` in `text`, case-sensitive; 0 when it is not there.
std::size_t PositionOf(const std::string& text, const std::string& part) {
    const auto at = text.find(part);
    return at == std::string::npos ? 0 : at + 1;
}

}  // namespace

void frmMain::cmdCheckService_Click() {
    log_.AppendLog("当前运行环境：" + GetSystemEnv(os_, "JRE_BK_HOME"));
    const std::size_t posTomcat = PositionOf(GetServiceImagePath(os_, kTomcatService), strAppPath);
    const std::size_t posMysql = PositionOf(GetServiceImagePath(os_, kMysqlService), strAppPath);
    if (posTomcat == 0) {
        log_.AppendLog("Tomcat 服务执行路径与当前运行环境不一致，请检查");
        log_.AppendLog("Tomcat 服务执行路径：" + GetServiceImagePath(os_, kTomcatService));
    }
    if (posMysql == 0) {
        log_.AppendLog("MySQL 服务执行路径与当前运行环境不一致，请检查");
        log_.AppendLog("MySQL 服务执行路径：" + GetServiceImagePath(os_, kMysqlService));
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
    os_.app().endProcess(0);
}

}  // namespace oapanel
