// Layout, the advanced panel, and leaving: what the window does with its size and its exits.
#include <algorithm>

#include "panel/frmMain.h"

namespace oapanel {

namespace {
// The right-hand column of maintenance buttons that the advanced panel shows and hides.
const int kAdvancedButtons[] = {IDC_cmdCheckPort, IDC_cmdTomcat, IDC_cmdMysql, IDC_cmdReinstall,
                                IDC_cmdCheckService};
const int kRightColumn[] = {IDC_cmdCheckPort, IDC_cmdTomcat,       IDC_cmdMysql, IDC_cmdAdvance,
                            IDC_cmdReinstall, IDC_cmdCheckService, IDC_chkAuto};
constexpr int kListTop = 675;
}  // namespace

void frmMain::Form_Resize() {
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
    form_.move(IDC_lstView, list.left, list.top, bAdvanced ? W - 1850 : W - 250,
               std::max(0, H - 1500));
    // The list box may have shortened itself to whole lines: follow what it reports.
    const auto& brackwen = form_.control(IDC_lblBrackwen);
    form_.move(IDC_lblBrackwen, brackwen.left, list.height + kListTop + 100, brackwen.width,
               brackwen.height);

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

void frmMain::cmdAdvance_Click() {
    const int W = form_.model().width;
    const auto& list = form_.control(IDC_lstView);
    if (bAdvanced) {
        form_.move(IDC_lstView, list.left, list.top, W - 250, list.height);
        form_.setCaption(IDC_cmdAdvance, "高级(&V) >>");
        bAdvanced = false;
    } else {
        form_.move(IDC_lstView, list.left, list.top, W - 1850, list.height);
        form_.setCaption(IDC_cmdAdvance, "高级(&V) <<");
        bAdvanced = true;
    }
    for (int id : kAdvancedButtons) form_.setVisible(id, bAdvanced);
    form_.setCaption(IDC_lblBrackwen, ContactLine());
}

bool frmMain::onQueryUnload(int reason) {
    bool cancel = false;
    Form_QueryUnload(cancel, reason);
    return cancel;
}

void frmMain::Form_QueryUnload(bool& Cancel, int UnloadMode) {
    // Closing the window from its title bar only hides it; the tray icon stays.
    if (UnloadMode != 0) return;
    Cancel = true;
    form_.setFormVisible(false);
}

void frmMain::Form_Unload() {
    EndProbes();
    DeleteIcon();
    log_.FlushAll();
}

void frmMain::cmdExit_Click() {
    if (bTomcatRunning || bMysqlRunning) {
        const int answer = os_.app().messageBox("OA服务将继续运行，是否退出？",
                                                platform::kMbOkCancel, os_.app().appTitle());
        if (answer != platform::kIdOk) return;
    }
    DeleteIcon();
    End(0);
}

}  // namespace oapanel
