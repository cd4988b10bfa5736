// The start-up sequence, the status display and the routing of the window's events.
#include "panel/frmMain.h"

#include "environment/dll_search.h"
#include "environment/env_store.h"
#include "environment/folder_rights.h"
#include "services/basService.h"
#include "services/process_detection.h"

namespace oapanel {

namespace {
const char kMysqlExe[] = "mysqld2.exe";
}  // namespace

std::string WindowTitle(const platform::VersionInfo& v) {
    return "oapanel - V" + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
           std::to_string(v.revision);
}

int RunPanel(platform::Libraries& libraries, const std::function<platform::Platform&()>& machine) {
    // First of all: no DLL may come from the application folder from here on.
    CloseDllSearchPath(libraries);
    platform::Platform& os = machine();
    frmMain form(os);
    form.Show();
    return os.windows().run();
}

frmMain::frmMain(platform::Platform& os)
    : os_(os),
      form_(frmMainDesign(os.app().resourceString(IDS_CONTACT_LINE)), os.windows()),
      log_(form_, os.clock()),
      runner_(os, log_) {}

void frmMain::Show() {
    const std::uint32_t error = os_.windows().createForm(form_.model(), *this);
    if (error == 0) return;
    os_.app().messageBox("无法创建主窗口（错误 " + std::to_string(error) + "）",
                         platform::kMbIconStop, os_.app().appTitle());
    End(1);
}

std::string frmMain::ContactLine() { return os_.app().resourceString(IDS_CONTACT_LINE); }

void frmMain::Form_Load() {
    strAppPath = os_.app().appPath();
    std::string iconFile;
    SetWindowIcon(iconFile, 0);
    RefuseSecondInstance();
    std::string logPath = strAppPath;
    if (logPath.empty() || logPath.back() != '\\') logPath += '\\';
    log_.KeepIn(os_.files(), logPath + "oapanel.log");
    SetTitle();
    CheckRunEnvironment();
    SetInTaskBar(true, 1);
    log_.AppendLog("欢迎使用澜栖OA系统，运行路径：" + strAppPath);
    if (const auto warning = OpenFolderWarning(os_.files(), strAppPath)) log_.AppendLog(*warning);
    ShowLocalAddress();
    // The web container counts as running from its service, the database from its process.
    std::int32_t state = 0, startType = 0;
    std::string binPath;
    const bool ok = QueryServiceInfo(os_.services(), kTomcatService, state, startType, binPath);
    bTomcatRunning = CountsAsRunning(ok, state);
    bMysqlRunning = CheckApplicationIsRun(kMysqlExe);
    RefreshStatus();
    bAdvanced = false;
    cmdAdvance_Click();
    // Last: a message box of the start-up runs its own message loop, which would deliver the
    // timer and start the servers before the window and the flags are there.
    form_.setEnabled(IDC_tmStart, true);
}

void frmMain::RefuseSecondInstance() {
    if (!os_.app().previousInstanceRunning()) return;
    os_.app().messageBox("您已经运行这个应用程序了", platform::kMbOk, os_.app().appTitle());
    End(0);
}

void frmMain::SetTitle() { form_.setFormCaption(WindowTitle(os_.app().version())); }

bool frmMain::CheckApplicationIsRun(const std::string& szExeFileName) {
    return oapanel::CheckApplicationIsRun(os_.processes(), szExeFileName);
}

void frmMain::RefreshStatus() {
    // The window is going away with the session: nothing left to show.
    if (os_.windows().quitting()) return;
    const bool bOA = bTomcatRunning && bMysqlRunning;
    form_.setCaption(IDC_lblOA, bOA ? "OA:已启动" : "OA:已停止");
    form_.setCaption(IDC_cmdOA, bOA ? "停止 &OA" : "启动 &OA");
    form_.setEnabled(IDC_cmdConnect, bOA);
    SetInTaskBar(false, bOA ? 2 : 1);
    form_.setCaption(IDC_lblTomcat, bTomcatRunning ? "Tomcat:已启动" : "Tomcat:已停止");
    form_.setCaption(IDC_cmdTomcat, bTomcatRunning ? "停止 &Tomcat" : "启动 &Tomcat");
    form_.setCaption(IDC_lblMysql, bMysqlRunning ? "MySQL:已启动" : "MySQL:已停止");
    form_.setCaption(IDC_cmdMysql, bMysqlRunning ? "停止 &MySQL" : "启动 &MySQL");
}

void frmMain::addEnvValue(const std::string& strName, const std::string& strValue) {
    StoreSystemVariable(os_, strName, strValue);
    BroadcastEnvironmentChange(os_);
}

void frmMain::SetWindowIcon(std::string& FileName, int IconIndex) {
    auto& ws = os_.windows();
    if (FileName.empty() || !os_.files().fileExists(FileName)) {
        FileName = strAppPath;
        if (FileName.empty() || FileName.back() != '\\') FileName += '\\';
        FileName += os_.app().exeName() + ".exe";
    }
    // The window keeps using the icon, so it lives as long as the form does.
    IconHandle icon(ws, ws.extractIcon(FileName, IconIndex));
    ws.setSmallIcon(icon.get());
    windowIcon_ = std::move(icon);
}

void frmMain::End(std::uint32_t exitCode) {
    EndProbes();
    log_.FlushAll();
    os_.app().endProcess(exitCode);
}

void frmMain::onTimer(int timerId) {
    if (timerId == IDC_tmStart) Event([&] { tmStart_Timer(); });
    if (timerId == IDC_tmTray) Event([&] { tmTray_Timer(); });
    if (timerId == IDC_tmProbe) Event([&] { tmProbe_Timer(); });
}

void frmMain::Click(int controlId) {
    using Handler = void (frmMain::*)();
    static constexpr std::pair<int, Handler> kClicks[] = {
        {IDC_cmdAdvance, &frmMain::cmdAdvance_Click},
        {IDC_cmdExit, &frmMain::cmdExit_Click},
        {IDC_cmdCheckService, &frmMain::cmdCheckService_Click},
        {IDC_cmdReinstall, &frmMain::cmdReinstall_Click},
        {IDC_cmdOA, &frmMain::cmdOA_Click},
        {IDC_cmdTomcat, &frmMain::cmdTomcat_Click},
        {IDC_cmdMysql, &frmMain::cmdMysql_Click},
        {IDC_cmdCheckPort, &frmMain::cmdCheckPort_Click},
        {IDC_cmdConnect, &frmMain::cmdConnect_Click},
        {IDC_cmdStart, &frmMain::cmdStart_Click},
        {IDC_cmdStop, &frmMain::cmdStop_Click},
        {IDC_cmdMysqlStart, &frmMain::cmdMysqlStart_Click},
        {IDC_cmdMysqlStop, &frmMain::cmdMysqlStop_Click},
        {IDC_lblIP, &frmMain::lblIP_Click},
        {IDC_lblBrackwen, &frmMain::lblBrackwen_Click},
        {IDC_chkAuto, &frmMain::chkAuto_Click},
    };
    for (const auto& [id, handler] : kClicks)
        if (id == controlId) return (this->*handler)();
}

}  // namespace oapanel
