// The designed main window: each control where the designer put it, in twips.
#include "panel/form.h"

namespace oapanel {

namespace {

using platform::Control;
using platform::ControlKind;

Control make(int id, ControlKind kind, const char* name, std::string caption, int left, int top,
             int width, int height, bool shown, int tab) {
    Control c;
    c.id = id;
    c.kind = kind;
    c.name = name;
    c.caption = std::move(caption);
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.visible = shown;
    c.tabIndex = tab;
    return c;
}

}  // namespace

platform::FormModel MainWindowDesign(const std::string& contactLine) {
    using K = ControlKind;
    platform::FormModel m;
    m.caption = "oapanel";
    m.clientWidth = 9780;
    m.clientHeight = 5100;
    m.controls = {
        make(IDC_cmdOA, K::Button, "cmdOA", "启动 &OA", 5160, 120, 1335, 375, true, 0),
        make(IDC_cmdExit, K::Button, "cmdExit", "退出(&X)", 6720, 120, 1335, 375, true, 1),
        make(IDC_cmdAdvance, K::Button, "cmdAdvance", "高级(&V) <<", 8280, 120, 1335, 375, true, 2),
        make(IDC_lstView, K::ListBox, "lstView", "", 75, 675, 7935, 2940, true, 3),
        make(IDC_cmdCheckPort, K::Button, "cmdCheckPort", "检查端口(&C)", 8280, 720, 1335, 375,
             true, 4),
        make(IDC_cmdTomcat, K::Button, "cmdTomcat", "启动 &Tomcat", 8280, 1320, 1335, 375, true, 5),
        make(IDC_cmdMysql, K::Button, "cmdMysql", "启动 &MySQL", 8280, 1920, 1335, 375, true, 6),
        make(IDC_cmdMysqlStart, K::Button, "cmdMysqlStart", "启动Mysql", 5280, 3720, 1335, 375,
             false, 7),
        make(IDC_cmdMysqlStop, K::Button, "cmdMysqlStop", "停止Mysql", 5280, 4200, 1335, 375, false,
             8),
        make(IDC_lblTomcat, K::Label, "lblTomcat", "Tomcat:已停止", 120, 100, 1455, 255, true, 9),
        make(IDC_lblMysql, K::Label, "lblMysql", "MySQL:已停止", 1440, 100, 1215, 255, true, 10),
        make(IDC_lblOA, K::Label, "lblOA", "OA:已停止", 2640, 100, 1215, 255, true, 11),
        make(IDC_lblBrackwen, K::Label, "lblBrackwen", contactLine, 120, 4800, 7815, 255, true, 12),
        make(IDC_picTrayEvents, K::PictureBox, "picTrayEvents", "", 1320, 3840, 855, 615, false,
             13),
        make(IDC_picSpare, K::PictureBox, "picSpare", "", 240, 3840, 855, 615, false, 14),
        make(IDC_cmdConnect, K::Button, "cmdConnect", "访问 O&A", 3600, 120, 1335, 375, false, 15),
        make(IDC_picStopped, K::PictureBox, "picStopped", "", 2400, 3840, 855, 615, false, 16),
        make(IDC_picRunning, K::PictureBox, "picRunning", "", 3360, 3840, 855, 615, false, 17),
        make(IDC_chkAuto, K::CheckBox, "chkAuto", "开机自动启动", 8280, 3600, 1455, 375, false, 18),
        make(IDC_cmdStop, K::Button, "cmdStop", "停止Tomcat", 6720, 4200, 1335, 375, false, 19),
        make(IDC_cmdStart, K::Button, "cmdStart", "启动Tomcat", 6720, 3720, 1335, 375, false, 20),
        make(IDC_lblIP, K::Label, "lblIP", "http://:8080/oa", 960, 360, 3375, 255, true, 21),
        make(IDC_lblAddressTitle, K::Label, "lblAddressTitle", "访问OA:", 120, 360, 650, 255, true,
             22),
        make(IDC_cmdReinstall, K::Button, "cmdReinstall", "卸载服务", 8280, 2520, 1335, 375, true,
             23),
        make(IDC_cmdCheckService, K::Button, "cmdCheckService", "检测服务", 8280, 3120, 1335, 375,
             true, 24),
        make(IDC_tmStart, K::Timer, "tmStart", "", 4560, 3840, 0, 0, false, -1),
        make(IDC_tmTray, K::Timer, "tmTray", "", 4560, 3840, 0, 0, false, -1),
        make(IDC_tmProbe, K::Timer, "tmProbe", "", 4560, 3840, 0, 0, false, -1),
    };
    // The address link: blue, underlined, in the Chinese system font.
    m.find(IDC_lblIP)->font = {"宋体", 9, true, 0x00FF0000};
    auto* timer = m.find(IDC_tmStart);
    timer->enabled = false;
    timer->interval = 1000;
    // Tries the tray icon again while the shell is not ready for it (at logon).
    timer = m.find(IDC_tmTray);
    timer->enabled = false;
    timer->interval = 2000;
    // Steps the readiness probes while one is under way.
    timer = m.find(IDC_tmProbe);
    timer->enabled = false;
    timer->interval = 100;
    return m;
}

}  // namespace oapanel
