// The server controls: the four hidden start/stop buttons that the rest of the window calls,
// the two toggles of the advanced panel, the whole-system button, the automatic start after
// launch and the removal of both services.
#include "panel/frmMain.h"
#include "services/port_check.h"

namespace oapanel {

std::string frmMain::TomcatInstallCommand() const {
    return "cmd /c " + strAppPath + "\\tomcat6\\bin" + "\\service.bat" + " install " + strAppPath +
           "\\tomcat6\\bin";
}

std::string frmMain::MysqlInstallCommand() const {
    return "cmd /c " + strAppPath + "\\mysql5" + "\\bin\\mysqld2.exe" +
           " --install MySQL5Brackwen --basedir=" + strAppPath + "\\mysql5";
}

// Once the session ends, no step starts, and nothing more is said.
bool frmMain::Ending() { return os_.windows().quitting(); }

// Each flag follows what really happened: a start that failed, or a stop that timed out,
// leaves the display showing the server's true state.
void frmMain::Settle(bool& bRunning, bool bRunsWhenOk, const Outcome& outcome,
                     const std::string& strFailure) {
    if (outcome.interrupted) return;  // the session ended: the server is where it was
    bRunning = outcome.ok == bRunsWhenOk;
    RefreshStatus();
    ReportFailure(strFailure, outcome);
}

// A start watches the server's own logs meanwhile, quotes its error line after a failure and
// asks whether the server answers after 成功. A start that found the server running leaves the
// probe under way alone: its answer is still to come.
void frmMain::StartServer(const std::string& strName, const std::string& strService,
                          const std::string& strInstallCommand, std::uint16_t iPort,
                          ServerKind kind, bool& bRunning, Readiness& readiness) {
    if (Ending()) return;
    auto serverLog = std::make_unique<ServerLogWatch>(
        os_.files(), kind, strAppPath, [this](const auto& b) { return FromAnsi(b); });
    Outcome outcome = StartNTService(os_, runner_, strName, strService, strInstallCommand, iPort);
    QuoteServerLog(outcome, *serverLog, strName + " 日志：");
    Settle(bRunning, true, outcome, strName + " 启动失败");
    if (!outcome.ok || !outcome.changed) return;
    readiness.log = std::move(serverLog);
    StartProbe(readiness, kind, outcome.startedAt);
}

void frmMain::cmdStart_Click() {
    StartServer("Tomcat", kTomcatService, TomcatInstallCommand(), kTomcatPort,
                ServerKind::WebContainer, bTomcatRunning, oa_);
}

void frmMain::cmdStop_Click() {
    if (Ending()) return;
    oa_.probe.reset();  // a web container on its way down has nothing more to say
    Settle(bTomcatRunning, false, StopNTService(os_, runner_, "Tomcat", kTomcatService),
           "Tomcat 停止失败");
}

void frmMain::cmdMysqlStart_Click() {
    StartServer("MySQL", kMysqlService, MysqlInstallCommand(), kMysqlPort, ServerKind::Database,
                bMysqlRunning, database_);
}

void frmMain::cmdMysqlStop_Click() {
    if (Ending()) return;
    database_.probe.reset();
    Settle(bMysqlRunning, false, StopNTService(os_, runner_, "MySQL", kMysqlService),
           "MySQL 停止失败");
}

// A toggle stops a running server and starts a stopped one, its button and the OA button
// disabled meanwhile.
void frmMain::Toggle(int idButton, bool bRunning, void (frmMain::*start)(),
                     void (frmMain::*stop)()) {
    form_.setEnabled(idButton, false);
    form_.setEnabled(IDC_cmdOA, false);
    (this->*(bRunning ? stop : start))();
    form_.setEnabled(idButton, true);
    form_.setEnabled(IDC_cmdOA, true);
}

void frmMain::cmdTomcat_Click() {
    Toggle(IDC_cmdTomcat, bTomcatRunning, &frmMain::cmdStart_Click, &frmMain::cmdStop_Click);
}

void frmMain::cmdMysql_Click() {
    Toggle(IDC_cmdMysql, bMysqlRunning, &frmMain::cmdMysqlStart_Click,
           &frmMain::cmdMysqlStop_Click);
}

void frmMain::cmdOA_Click() {
    for (int id : {IDC_cmdOA, IDC_cmdTomcat, IDC_cmdMysql}) form_.setEnabled(id, false);
    if (bTomcatRunning && bMysqlRunning) {
        const int answer =
            os_.app().messageBox("确定停止OA服务吗？", platform::kMbOkCancel, os_.app().appTitle());
        if (answer == platform::kIdOk) {
            cmdStop_Click();
            cmdMysqlStop_Click();
            if (Ending()) return;
            // A stop that timed out leaves its flag set: the system is not down.
            log_.AddLineUnselected(bTomcatRunning || bMysqlRunning ? "停止 澜栖OA...失败"
                                                                   : "停止 澜栖OA...成功");
            log_.SelectLast();
            RefreshStatus();
        }
    } else {
        StartSystem();
        if (Ending()) return;
        log_.AddLineUnselected(bTomcatRunning && bMysqlRunning ? "启动 澜栖OA...成功"
                                                               : "启动 澜栖OA...失败");
        log_.SelectLast();
        RefreshStatus();
    }
    for (int id : {IDC_cmdOA, IDC_cmdTomcat, IDC_cmdMysql}) form_.setEnabled(id, true);
    form_.setCaption(IDC_lblBrackwen, ContactLine());
}

void frmMain::StartSystem() {
    // The starts below pump messages for up to a minute each, and a timer keeps ticking
    // meanwhile: the automatic start is turned off first so that it never runs inside.
    bAutoStartDone = true;
    form_.setEnabled(IDC_tmStart, false);
    cmdMysqlStart_Click();
    WaitForDatabase();
    cmdStart_Click();
}

void frmMain::tmStart_Timer() {
    if (bAutoStartDone) return;  // one shot only
    form_.setEnabled(IDC_cmdOA, false);
    StartSystem();
    RefreshStatus();
    form_.setEnabled(IDC_cmdOA, true);
}

void frmMain::RemoveServices() {
    log_.AddLineUnselected("正在停止 Tomcat 服务");
    cmdStop_Click();
    log_.AddLineUnselected("正在停止 MySQL 服务");
    cmdMysqlStop_Click();
    log_.AddLineUnselected("删除 Tomcat 服务");
    DeleteService(runner_, kTomcatService);
    log_.AddLineUnselected("删除 MySQL 服务");
    DeleteService(runner_, kMysqlService);
}

}  // namespace oapanel
