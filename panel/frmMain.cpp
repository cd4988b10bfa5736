#include "panel/frmMain.h"

#include "services/basService.h"

namespace oapanel {

namespace {
const char* const kTomcatService = "Tomcat6Brackwen";
}

std::string WindowTitle(const platform::VersionInfo& v) {
    return "oapanel - V" + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
           std::to_string(v.revision);
}

frmMain::frmMain(platform::Platform& os)
    : os_(os),
      form_(frmMainDesign(os.app().resourceString(IDS_CONTACT_LINE)), os.windows()),
      log_(form_, os.clock()) {}

void frmMain::Form_Load() {
    strAppPath = os_.app().appPath();
    std::string iconFile;
    SetWindowIcon(iconFile, 0);
    RefuseSecondInstance();
    SetTitle();
    log_.AppendLog("欢迎使用澜栖OA系统，运行路径：" + strAppPath);
    ShowWebContainerState();
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

void frmMain::onClick(int) {}

void frmMain::onListSelect(int, int) {}

}  // namespace oapanel
