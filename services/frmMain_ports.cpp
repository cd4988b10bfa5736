// The port check of the advanced panel.
#include "panel/frmMain.h"
#include "services/port_check.h"

namespace oapanel {

namespace {

constexpr std::uint16_t kMysqlPort = 3307;
constexpr std::uint16_t kTomcatPort = 8080;

// The port number reads with one blank in front, as the number-to-text conversion gives it.
std::string PortLine(const std::string& strLabel, std::uint16_t iPort, bool bInUse) {
    return strLabel + " " + std::to_string(iPort) + (bInUse ? " 正在使用" : " 空闲");
}

}  // namespace

void frmMain::cmdCheckPort_Click() {
    const std::int16_t code = CheckPorts(os_.sockets(), kMysqlPort, kTomcatPort);
    log_.AddLineUnselected(PortLine("数据库端口", kMysqlPort, code % 10 == kFirstPortInUse));
    log_.AddLineUnselected(PortLine("TOMCAT端口", kTomcatPort, code >= kSecondPortInUse));
    log_.SelectLast();
    form_.setCaption(IDC_lblBrackwen, ContactLine());
}

}  // namespace oapanel
