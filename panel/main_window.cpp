// The start-up sequence, the status display and the routing of the window's events.
#include "panel/main_window.h"

#include "environment/dll_search.h"
#include "environment/env_store.h"
#include "environment/folder_rights.h"
#include "panel/messages.h"

namespace oapanel {

std::string WindowTitle(const platform::VersionInfo& v) {
    return "oapanel - V" + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
           std::to_string(v.revision);
}

int RunPanel(platform::Libraries& libraries, const std::function<platform::Platform&()>& machine) {
    // First of all: no DLL may come from the application folder from here on.
    CloseDllSearchPath(libraries);
    platform::Platform& os = machine();
    MainWindow window(os);
    window.Show();
    return os.windows().run();
}

MainWindow::MainWindow(platform::Platform& os)
    : os_(os),
      form_(MainWindowDesign(os.app().resourceString(IDS_CONTACT_LINE)), os.windows()),
      log_(form_, os.clock()),
      runner_(os, log_),
      system_(os, runner_, *this),
      tray_(os, form_) {}

void MainWindow::Show() {
    const std::uint32_t error = os_.windows().createForm(form_.model(), *this);
    if (error == 0) return;
    os_.app().messageBox("无法创建主窗口（错误 " + std::to_string(error) + "）",
                         platform::kMbIconStop, os_.app().appTitle());
    End(1);
}

void MainWindow::OnLoad() {
    appPath_ = os_.app().appPath();
    tray_.SetFolder(appPath_);
    SetWindowIcon();
    RefuseSecondInstance();
    std::string logPath = appPath_;
    if (logPath.empty() || logPath.back() != '\\') logPath += '\\';
    log_.KeepIn(os_.files(), logPath + "oapanel.log");
    // Read before this run writes its first line.
    const auto lastRun = LastLineTime(os_.files(), logPath + "oapanel.log");
    form_.setFormCaption(WindowTitle(os_.app().version()));
    CheckRunEnvironment();
    tray_.Show(platform::TrayPicture::Stopped, true);
    log_.AppendLog("欢迎使用澜栖OA系统，运行路径：" + appPath_);
    if (const auto warning = OpenFolderWarning(os_.files(), appPath_)) log_.AppendLog(*warning);
    ShowHistory(lastRun);
    ShowLocalAddress();
    system_.Load(appPath_);
    ShowState();
    advanced_ = false;
    ToggleAdvancedPanel();
    // Last: a message box of the start-up runs its own message loop, which would deliver the
    // timer and start the servers before the window and the flags are there.
    form_.setEnabled(IDC_tmStart, true);
}

void MainWindow::ShowHistory(const std::optional<platform::LocalTime>& since) {
    const std::vector<Crashes> history = system_.History(since);
    for (std::size_t i = 0; i < history.size(); ++i)
        if (history[i].count)
            log_.AddLineUnselected(HistoryLine(TheServers()[i], history[i].count,
                                               os_.clock().localTimeOf(history[i].latest)));
}

void MainWindow::RefuseSecondInstance() {
    if (!os_.app().previousInstanceRunning()) return;
    os_.app().messageBox("您已经运行这个应用程序了", platform::kMbOk, os_.app().appTitle());
    End(0);
}

void MainWindow::SetWindowIcon() {
    std::string exe = appPath_;
    if (exe.empty() || exe.back() != '\\') exe += '\\';
    auto& ws = os_.windows();
    windowIcon_ = {ws, ws.extractIcon(exe + os_.app().exeName() + ".exe", 0)};
    ws.setSmallIcon(windowIcon_.get());
}

void MainWindow::ShowState() {
    // The window is going away with the session: nothing left to show.
    if (Quitting()) return;
    const Server &database = ServerOf(ServerKind::Database),
                 &web = ServerOf(ServerKind::WebContainer);
    const bool oa = system_.AllRunning();
    form_.setCaption(IDC_lblOA, oa ? "OA:已启动" : "OA:已停止");
    form_.setCaption(IDC_cmdOA, oa ? "停止 &OA" : "启动 &OA");
    form_.setEnabled(IDC_cmdConnect, oa);
    tray_.Show(oa ? platform::TrayPicture::Running : platform::TrayPicture::Stopped, false);
    const bool tomcat = system_.Running(web), mysql = system_.Running(database);
    form_.setCaption(IDC_lblTomcat, tomcat ? "Tomcat:已启动" : "Tomcat:已停止");
    form_.setCaption(IDC_cmdTomcat, tomcat ? "停止 &Tomcat" : "启动 &Tomcat");
    form_.setCaption(IDC_lblMysql, mysql ? "MySQL:已启动" : "MySQL:已停止");
    form_.setCaption(IDC_cmdMysql, mysql ? "停止 &MySQL" : "启动 &MySQL");
}

void MainWindow::AddSystemVariable(const std::string& name, const std::string& value) {
    StoreSystemVariable(os_, name, value);
    BroadcastEnvironmentChange(os_);
}

void MainWindow::ShowContactLine() {
    form_.setCaption(IDC_lblBrackwen, os_.app().resourceString(IDS_CONTACT_LINE));
}

void MainWindow::End(std::uint32_t exitCode) {
    system_.End();
    tray_.Remove();  // an icon left behind would stay in the notification area
    log_.FlushAll();
    os_.app().endProcess(exitCode);
}

void MainWindow::OnTimer(int timerId) {
    switch (timerId) {
        case IDC_tmStart:
            // One shot only: the start pumps messages for a minute or more, and a timer keeps
            // ticking meanwhile.
            form_.setEnabled(IDC_tmStart, false);
            form_.setEnabled(IDC_cmdOA, false);
            system_.AutomaticStart();
            ShowState();
            form_.setEnabled(IDC_cmdOA, true);
            break;
        case IDC_tmTray:
            tray_.Retry();
            break;
        case IDC_tmProbe:
            system_.Tick();
            break;
        default:
            break;
    }
}

void MainWindow::OnClick(int controlId) {
    const Server &database = ServerOf(ServerKind::Database),
                 &web = ServerOf(ServerKind::WebContainer);
    switch (controlId) {
        case IDC_cmdAdvance:
            return ToggleAdvancedPanel();
        case IDC_cmdExit:
            return ExitClicked();
        case IDC_cmdCheckService:
            return CheckServicePaths();
        case IDC_cmdReinstall:
            return RemoveServicesAndEnd();
        case IDC_cmdOA:
            return SystemClicked();
        case IDC_cmdTomcat:
            return ToggleClicked(web, IDC_cmdTomcat);
        case IDC_cmdMysql:
            return ToggleClicked(database, IDC_cmdMysql);
        case IDC_cmdCheckPort:
            return CheckPorts();
        case IDC_cmdConnect:
        case IDC_lblIP:
        case IDC_lblBrackwen:
            return LinkClicked(controlId);
        // The hidden start and stop buttons of each server.
        case IDC_cmdStart:
            return system_.Start(web);
        case IDC_cmdStop:
            return system_.Stop(web);
        case IDC_cmdMysqlStart:
            return system_.Start(database);
        case IDC_cmdMysqlStop:
            return system_.Stop(database);
        case IDC_chkAuto:
            return AutoRunClicked();
        default:
            break;
    }
}

}  // namespace oapanel
