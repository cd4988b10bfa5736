// The server buttons: the two toggles of the advanced panel and the whole-system button, routed
// to the engine; and what the engine reports back, put into words.
#include "panel/main_window.h"
#include "panel/messages.h"

namespace oapanel {

namespace {
constexpr std::uint32_t kNiifInfo = 1, kNiifWarning = 2;
}  // namespace

// A toggle stops a running server and starts a stopped one, its button and the OA button
// disabled meanwhile.
void MainWindow::ToggleClicked(const Server& server, int button) {
    form_.setEnabled(button, false);
    form_.setEnabled(IDC_cmdOA, false);
    system_.Toggle(server);
    form_.setEnabled(button, true);
    form_.setEnabled(IDC_cmdOA, true);
}

void MainWindow::SystemClicked() {
    for (int id : {IDC_cmdOA, IDC_cmdTomcat, IDC_cmdMysql}) form_.setEnabled(id, false);
    const bool stopping = system_.AllRunning();
    if (stopping && os_.app().messageBox("确定停止OA服务吗？", platform::kMbOkCancel,
                                         os_.app().appTitle()) != platform::kIdOk) {
        for (int id : {IDC_cmdOA, IDC_cmdTomcat, IDC_cmdMysql}) form_.setEnabled(id, true);
        return ShowContactLine();
    }
    // A stop that timed out leaves its flag set: the system is not down.
    const bool ok = stopping ? system_.StopAll() : system_.StartAll();
    if (Quitting()) return;
    log_.AddLineUnselected(SystemLine(!stopping, ok));
    log_.SelectLast();
    ShowState();
    for (int id : {IDC_cmdOA, IDC_cmdTomcat, IDC_cmdMysql}) form_.setEnabled(id, true);
    ShowContactLine();
}

void MainWindow::Failed(const Server& server, bool starting, const Outcome& outcome) {
    if (!outcome.serverLine.empty())
        log_.AddLineUnselected(ServerLogLine(server, outcome.serverLine));
    ShowBalloon(starting ? server.startFailed : server.stopFailed, FailureText(server, outcome),
                platform::kNiifError);
}

void MainWindow::Answered(const Server& server, const ProbeResult& result,
                          const std::optional<std::string>& serverLine) {
    log_.AddLineUnselected(ReadinessLine(server, result));
    std::string text = ReadinessDetail(server, result);
    if (serverLine) {
        log_.AddLineUnselected(ServerLogLine(server, *serverLine));
        text.append("\n").append(ServerLogLine(server, *serverLine));
    }
    // Whether OA answers is what the administrator waits for in the tray.
    const bool ready = result.kind == ProbeResult::Kind::Ready;
    if (server.kind == ServerKind::WebContainer)
        ShowBalloon(ReadinessTitle(server, result), text, ready ? kNiifInfo : kNiifWarning);
}

void MainWindow::Report(const std::string& line, const std::string& more, std::uint32_t icon) {
    log_.AddLineUnselected(line);
    if (!more.empty()) log_.AddLineUnselected(more);
    auto [title, text] = SplitAtColon(line);
    if (!more.empty()) text += (text.empty() ? "" : "\n") + more;
    // A balloon needs a text to show; a line without a reason has only its title to say.
    ShowBalloon(title, text.empty() ? " " : text, icon);
}

void MainWindow::Changed(const Server& server, WatchChange change, const std::string& reason,
                         const std::optional<std::string>& serverLine) {
    const std::string line = ChangeLine(server, change, reason);
    // A start by someone else is good news: the window says it, the tray need not.
    if (change == WatchChange::StartedByOther) return (void)log_.AddLineUnselected(line);
    Report(line, serverLine ? ServerLogLine(server, *serverLine) : "", kNiifWarning);
}

void MainWindow::Hung(const Server& server, const ProbeResult& last) {
    Report(HangLine(server, last), "", kNiifWarning);
}

void MainWindow::Recovered(const Server& server, const ProbeResult& result) {
    const std::string line = RecoveryLine(server, result);
    log_.AddLineUnselected(line);
    ShowBalloon(line, " ", kNiifInfo);
}

void MainWindow::Removing(const Server& server, bool deleting) {
    log_.AddLineUnselected(RemovalLine(server, deleting));
}

void MainWindow::TickIn(int ms) {
    if (ms > 0) form_.setInterval(IDC_tmProbe, ms);
    if (form_.control(IDC_tmProbe).enabled != (ms > 0)) form_.setEnabled(IDC_tmProbe, ms > 0);
}

}  // namespace oapanel
