// Layout, the advanced panel, and leaving: what the window does with its size and its exits.
#include <algorithm>

#include "panel/main_window.h"

namespace oapanel {

namespace {
// The right-hand column of maintenance buttons that the advanced panel shows and hides.
const int kAdvancedButtons[] = {IDC_cmdCheckPort, IDC_cmdTomcat, IDC_cmdMysql, IDC_cmdReinstall,
                                IDC_cmdCheckService};
const int kRightColumn[] = {IDC_cmdCheckPort, IDC_cmdTomcat,       IDC_cmdMysql, IDC_cmdAdvance,
                            IDC_cmdReinstall, IDC_cmdCheckService, IDC_chkAuto};
constexpr int kListTop = 675;
}  // namespace

void MainWindow::OnResize() {
    auto& m = form_.model();
    if (m.state == platform::WindowState::Minimized) {
        // Minimised, the panel lives on in the tray only.
        form_.setFormVisible(false);
        return;
    }
    const int W = m.width, H = m.height;
    if (W <= 1900 || H <= 700) return;

    const auto& list = form_.control(IDC_lstView);
    // Between 700 and 1500 twips of height the list would come out negative: it stays at 0.
    form_.move(IDC_lstView, list.left, list.top, advanced_ ? W - 1850 : W - 250,
               std::max(0, H - 1500));
    // The list box may have shortened itself to whole lines: follow what it reports.
    const auto& contact = form_.control(IDC_lblBrackwen);
    form_.move(IDC_lblBrackwen, contact.left, list.height + kListTop + 100, contact.width,
               contact.height);

    for (int id : kRightColumn) {
        const auto& c = form_.control(id);
        form_.move(id, W - 1600, c.top, c.width, c.height);
    }
    auto placeLeftOf = [&](int id, int neighbour) {
        const auto& c = form_.control(id);
        form_.move(id, form_.control(neighbour).left - c.width - 150, c.top, c.width, c.height);
    };
    placeLeftOf(IDC_cmdExit, IDC_cmdAdvance);
    placeLeftOf(IDC_cmdOA, IDC_cmdExit);
    placeLeftOf(IDC_cmdConnect, IDC_cmdOA);
}

void MainWindow::ToggleAdvancedPanel() {
    const int W = form_.model().width;
    const auto& list = form_.control(IDC_lstView);
    advanced_ = !advanced_;
    form_.move(IDC_lstView, list.left, list.top, advanced_ ? W - 1850 : W - 250, list.height);
    form_.setCaption(IDC_cmdAdvance, advanced_ ? "高级(&V) <<" : "高级(&V) >>");
    for (int id : kAdvancedButtons) form_.setVisible(id, advanced_);
    ShowContactLine();
}

bool MainWindow::OnClosing(int reason) {
    // Closing the window from its title bar only hides it; the tray icon stays. Windows itself
    // (log-off, shutdown), the task manager or the program close it for real.
    if (reason != 0) return false;
    form_.setFormVisible(false);
    return true;
}

void MainWindow::OnUnload() {
    system_.End();
    tray_.Remove();
    log_.FlushAll();
}

void MainWindow::ExitClicked() {
    if (system_.AnyRunning()) {
        const int answer = os_.app().messageBox("OA服务将继续运行，是否退出？",
                                                platform::kMbOkCancel, os_.app().appTitle());
        if (answer != platform::kIdOk) return;
    }
    tray_.Remove();
    End(0);
}

}  // namespace oapanel
