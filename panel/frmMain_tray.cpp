// The tray icon and its pop-up menu.
#include <cmath>
#include <cstdlib>
#include <exception>

#include "panel/frmMain.h"

namespace oapanel {

namespace {

const int kMenuOpen = IDM_open;
const int kMenuRestart = IDM_restart;
const int kMenuExit = IDM_exit;

}  // namespace

// Owns an icon loaded from a file through the shell interface.
void frmMain::TrayIcon::reset(platform::Shell* shell, platform::Handle icon) {
    if (handle && owner) owner->destroyIcon(handle);
    owner = shell;
    handle = icon;
}

long frmMain::SetInTaskBar(bool first, int picIndex) {
    // Any failure on the way gets one more try from the top; a second one goes to the caller.
    try {
        return TrySetInTaskBar(first, picIndex);
    } catch (const std::exception&) {
        return TrySetInTaskBar(first, picIndex);
    }
}

long frmMain::TrySetInTaskBar(bool first, int picIndex) {
    if (trayDeleted_) return 0;  // no picture to load either
    auto& shell = os_.shell();
    const std::string runIco = strAppPath + "\\tomcat6\\bin\\run.ico";
    const std::string stopIco = strAppPath + "\\tomcat6\\bin\\stop.ico";
    const platform::Handle loaded =
        shell.loadIconFile(picIndex == 1 ? stopIco : runIco, 16, 16,
                           platform::kLrLoadFromFile | platform::kLrLoadMap3dColors);
    // A missing or unreadable file: the picture kept in the program for that state.
    nidTray.hIcon = loaded ? loaded : shell.storedPicture(picIndex == 1 ? 1 : 2);

    long result;
    if (first) {
        nidTray.szTip = os_.app().appTitle();
        nidTray.uID =
            static_cast<std::uint32_t>(std::abs(std::floor(shell.random() * 2147483647.0)));
        result = AddTrayIcon();
        // At logon the shell may not be ready yet: try again for a while.
        if (!result) {
            trayRetryUntil_ = os_.clock().monotonicSeconds() + kTrayRetrySeconds;
            form_.setEnabled(IDC_tmTray, true);
        }
    } else {
        nidTray.uFlags = platform::kNifMessage | platform::kNifIcon | platform::kNifTip;
        result = shell.notifyIcon(platform::kNimModify, nidTray);
        // No icon to change (it was never added, or the shell lost it): add it instead.
        if (!result) result = AddTrayIcon();
    }
    // The shell shows the new picture now: the one loaded before can go. When the shell
    // refused, the new one goes instead, and the record goes back to a picture that lives on
    // (a later add, after Explorer starts, uses it).
    if (result) {
        trayIcon_.reset(&shell, loaded);
    } else if (loaded) {
        shell.destroyIcon(loaded);
        nidTray.hIcon =
            trayIcon_.handle ? trayIcon_.handle : shell.storedPicture(picIndex == 1 ? 1 : 2);
    }
    return result;
}

long frmMain::AddTrayIcon() {
    if (trayDeleted_) return 0;  // once the icon is gone for good, nothing brings it back
    nidTray.uFlags =
        platform::kNifMessage | platform::kNifIcon | platform::kNifTip | platform::kNifInfo;
    const long result = os_.shell().notifyIcon(platform::kNimAdd, nidTray);
    if (result) form_.setEnabled(IDC_tmTray, false);
    return result;
}

void frmMain::tmTray_Timer() {
    // An add that works turns the timer off, and so does DeleteIcon.
    if (os_.clock().monotonicSeconds() > trayRetryUntil_)
        form_.setEnabled(IDC_tmTray, false);
    else
        AddTrayIcon();
}

long frmMain::DeleteIcon() {
    trayDeleted_ = true;
    form_.setEnabled(IDC_tmTray, false);
    nidTray.uFlags = 2;
    os_.shell().notifyIcon(platform::kNimDelete, nidTray);
    return 0;
}

void frmMain::ReportFailure(const std::string& strTitle, const Outcome& outcome) {
    if (!outcome.ok && !outcome.interrupted)
        ShowBalloon(strTitle, outcome.reason, platform::kNiifError);
}

void frmMain::ShowBalloon(const std::string& strTitle, const std::string& strText,
                          std::uint32_t icon) {
    // In the window the log says it all; hidden in the tray, the icon has to speak.
    if (form_.model().visible || trayDeleted_) return;
    nidTray.uFlags = platform::kNifInfo;
    nidTray.szInfoTitle = strTitle;
    nidTray.szInfo = strText;
    nidTray.dwInfoFlags = icon;
    os_.shell().notifyIcon(platform::kNimModify, nidTray);
    // Shown once: a later add (Explorer restarting) must not bring it back.
    nidTray.szInfoTitle.clear();
    nidTray.szInfo.clear();
}

void frmMain::onTaskbarCreated() {
    // A restarted Explorer has an empty notification area: put the icon back as it was.
    AddTrayIcon();
    RefreshStatus();
}

void frmMain::picMouseEvent_MouseMove(std::uint32_t mouseMessage) {
    switch (mouseMessage) {
        case platform::kWmLButtonDblClk:
            ShowWindowNormal();
            form_.setCaption(IDC_lblBrackwen, ContactLine());
            break;
        case platform::kWmRButtonUp: {
            const int chosen = os_.shell().popupMenu(
                {{kMenuOpen, "打开"}, {kMenuRestart, "重新启动"}, {0, "-"}, {kMenuExit, "退出"}});
            form_.setCaption(IDC_lblBrackwen, ContactLine());
            if (chosen == kMenuOpen) open_Click();
            if (chosen == kMenuRestart) restart_Click();
            if (chosen == kMenuExit) exit_Click();
            break;
        }
        default:
            break;
    }
}

void frmMain::ShowWindowNormal() {
    form_.setWindowState(platform::WindowState::Normal);
    form_.setFormVisible(true);
}

void frmMain::open_Click() { ShowWindowNormal(); }

void frmMain::restart_Click() {
    cmdStop_Click();
    cmdMysqlStop_Click();
    StartSystem();
    RefreshStatus();
}

void frmMain::exit_Click() { cmdExit_Click(); }

}  // namespace oapanel
