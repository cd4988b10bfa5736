#include "panel/frmMain.h"

#include "registry/env_value.h"
#include "services/basService.h"
#include "services/process_detection.h"

namespace oapanel {

namespace {
const char* const kMysqlExe = "mysqld2.exe";
}  // namespace

std::string WindowTitle(const platform::VersionInfo& v) {
    return "oapanel - V" + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
           std::to_string(v.revision);
}

frmMain::frmMain(platform::Platform& os)
    : os_(os),
      form_(frmMainDesign(os.app().resourceString(IDS_CONTACT_LINE)), os.windows()),
      log_(form_, os.clock()),
      runner_(os, log_) {}

std::string frmMain::ContactLine() { return os_.app().resourceString(IDS_CONTACT_LINE); }

void frmMain::Form_Load() {
    strAppPath = os_.app().appPath();
    std::string iconFile;
    SetWindowIcon(iconFile, 0);
    RefuseSecondInstance();
    SetTitle();
    CheckRunEnvironment();
    SetInTaskBar(true, 1);
    form_.setEnabled(IDC_tmStart, true);
    log_.AppendLog("欢迎使用澜栖OA系统，运行路径：" + strAppPath);
    ShowLocalAddress();
    ShowWebContainerState();
    ShowDatabaseState();
    RefreshStatus();
    bAdvanced = false;
    cmdAdvance_Click();
}

void frmMain::RefuseSecondInstance() {
    if (!os_.app().previousInstanceRunning()) return;
    os_.app().messageBox("您已经运行这个应用程序了", platform::kMbOk, os_.app().appTitle());
    os_.app().endProcess(0);
}

void frmMain::SetTitle() { form_.setFormCaption(WindowTitle(os_.app().version())); }

void frmMain::ShowWebContainerState() {
    std::int32_t state = 0, startType = 0;
    std::string binPath;
    const bool ok = QueryServiceInfo(os_.services(), kTomcatService, state, startType, binPath);
    bTomcatRunning = CountsAsRunning(ok, state);
    form_.setCaption(IDC_lblTomcat, bTomcatRunning ? "Tomcat:已启动" : "Tomcat:已停止");
}

void frmMain::ShowDatabaseState() {
    bMysqlRunning = CheckApplicationIsRun(kMysqlExe);
    form_.setCaption(IDC_lblMysql, bMysqlRunning ? "MySQL:已启动" : "MySQL:已停止");
}

bool frmMain::CheckApplicationIsRun(const std::string& szExeFileName) {
    return oapanel::CheckApplicationIsRun(os_.processes(), szExeFileName);
}

void frmMain::RefreshStatus() {
    if (bTomcatRunning && bMysqlRunning) {
        form_.setCaption(IDC_lblOA, "OA:已启动");
        form_.setCaption(IDC_cmdOA, "停止 &OA");
        form_.setEnabled(IDC_cmdConnect, true);
        SetInTaskBar(false, 2);
    } else {
        form_.setCaption(IDC_lblOA, "OA:已停止");
        form_.setCaption(IDC_cmdOA, "启动 &OA");
        form_.setEnabled(IDC_cmdConnect, false);
        SetInTaskBar(false, 1);
    }
    form_.setCaption(IDC_lblTomcat, bTomcatRunning ? "Tomcat:已启动" : "Tomcat:已停止");
    form_.setCaption(IDC_cmdTomcat, bTomcatRunning ? "停止 &Tomcat" : "启动 &Tomcat");
    form_.setCaption(IDC_lblMysql, bMysqlRunning ? "MySQL:已启动" : "MySQL:已停止");
    form_.setCaption(IDC_cmdMysql, bMysqlRunning ? "停止 &MySQL" : "启动 &MySQL");
}

void frmMain::addEnvValue(const std::string& strName, const std::string& strValue) {
    oapanel::addEnvValue(os_, strName, strValue);
}

void frmMain::SetWindowIcon(std::string& FileName, int IconIndex) {
    auto& ws = os_.windows();
    if (FileName.empty() || !ws.fileExists(FileName)) {
        FileName = strAppPath;
        if (FileName.empty() || FileName.back() != '\\') FileName += '\\';
        FileName += os_.app().exeName() + ".exe";
    }
    // The window keeps using the icon, so it lives as long as the form does.
    IconHandle icon(ws, ws.extractIcon(FileName, IconIndex));
    ws.setSmallIcon(icon.get());
    windowIcon_ = std::move(icon);
}

void frmMain::onTimer(int timerId) {
    if (timerId == IDC_tmStart) tmStart_Timer();
}

void frmMain::onClick(int controlId) {
    switch (controlId) {
        case IDC_cmdAdvance:
            cmdAdvance_Click();
            break;
        case IDC_cmdExit:
            cmdExit_Click();
            break;
        case IDC_cmdCheckService:
            cmdCheckService_Click();
            break;
        case IDC_cmdReinstall:
            cmdReinstall_Click();
            break;
        case IDC_cmdOA:
            cmdOA_Click();
            break;
        case IDC_cmdTomcat:
            cmdTomcat_Click();
            break;
        case IDC_cmdMysql:
            cmdMysql_Click();
            break;
        case IDC_cmdCheckPort:
            cmdCheckPort_Click();
            break;
        case IDC_cmdConnect:
            cmdConnect_Click();
            break;
        case IDC_lblIP:
            lblIP_Click();
            break;
        case IDC_lblBrackwen:
            lblBrackwen_Click();
            break;
        case IDC_chkAuto:
            chkAuto_Click();
            break;
        default:
            break;
    }
}

}  // namespace oapanel
