// What the tray icon's mouse messages do: a double-click shows the window, a right click the
// menu.
#include "panel/main_window.h"

namespace oapanel {

void MainWindow::OnTrayMessage(std::uint32_t mouseMessage) {
    switch (mouseMessage) {
        case platform::kWmLButtonDblClk:
            ShowWindowNormal();
            ShowContactLine();
            break;
        case platform::kWmRButtonUp: {
            const int chosen = os_.shell().popupMenu(
                {{IDM_open, "打开"}, {IDM_restart, "重新启动"}, {0, "-"}, {IDM_exit, "退出"}});
            ShowContactLine();
            if (chosen == IDM_open) ShowWindowNormal();
            if (chosen == IDM_restart) {
                system_.Restart();
                ShowState();
            }
            if (chosen == IDM_exit) ExitClicked();
            break;
        }
        default:
            break;
    }
}

void MainWindow::ShowWindowNormal() {
    form_.setWindowState(platform::WindowState::Normal);
    form_.setFormVisible(true);
}

void MainWindow::onTaskbarCreated() {
    // A restarted Explorer has an empty notification area: put the icon back as it was.
    tray_.AddAgain();
    ShowState();
}

void MainWindow::ShowBalloon(const std::string& title, const std::string& text,
                             std::uint32_t icon) {
    if (!form_.model().visible) tray_.Balloon(title, text, icon);
}

}  // namespace oapanel
