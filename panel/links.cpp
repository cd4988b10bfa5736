// The address links: the LAN address shown at start-up, the two link labels and the hidden
// connect button, all of which open a web address in the browser.
#include "net/local_address.h"
#include "panel/main_window.h"

namespace oapanel {

namespace {

// Internet Explorer at its fixed place. The command prefix keeps its doubled separators and
// its trailing blank; Windows reads the doubled backslashes as single ones.
const char kBrowserCommand[] = "C:\\\\Program Files\\\\Internet Explorer\\\\iexplore.exe ";
const char kBrowserFile[] = "C:\\Program Files\\Internet Explorer\\iexplore.exe";
const char kLocalOA[] = "http://localhost:8080/oa";

constexpr std::uint32_t kLinkBlue = 0x00FF0000;

}  // namespace

void MainWindow::ShowLocalAddress() {
    auto& sockets = os_.sockets();
    // The tray icon exists by now: an exit from here takes it along.
    const BeforeEnd removeTrayIcon = [this] {
        tray_.Remove();
        log_.FlushAll();
    };
    StartWinsock(sockets, os_.app(), removeTrayIcon);
    const std::string strIP = GetLocalIPAddress(sockets, os_.app());
    StopWinsock(sockets, os_.app(), removeTrayIcon);
    form_.setCaption(IDC_lblIP, "http://" + strIP + ":8080/oa");
}

void MainWindow::OpenAddress(const std::string& strAddress) {
    const bool ie = os_.files().fileExists(kBrowserFile);
    // Started by an elevated panel, the browser and every page in it would run as
    // administrator: the desktop's own shell starts it with the user's rights instead.
    auto& shell = os_.shell();
    if (os_.app().elevated() &&
        (ie ? shell.shellExecuteAsDesktopUser(kBrowserFile, strAddress + "\\")
            : shell.shellExecuteAsDesktopUser(strAddress, "")))
        return;
    if (ie && os_.processes().launch(kBrowserCommand + strAddress + "\\", platform::kSwShowNormal))
        return;
    // Current Windows releases no longer have Internet Explorer there, and a link that does
    // nothing helps nobody: the user's default browser opens the address instead.
    os_.shell().shellExecuteOpen(strAddress);
}

void MainWindow::LinkClicked(int controlId) {
    if (controlId == IDC_cmdConnect) return OpenAddress(kLocalOA);
    if (controlId == IDC_lblBrackwen) return OpenAddress(os_.app().resourceString(IDS_MAKER_URL));
    OpenAddress(form_.control(IDC_lblIP).caption);
    ShowContactLine();
}

// The contact line lights up while the pointer is over it.
void MainWindow::SetLinkLook(int X, int Y) {
    // The label only hears the mouse while the pointer is over it: a thin outer margin turns
    // the highlight off as the pointer leaves.
    const bool bInside = X > 10 && X < 7700 && Y > 10 && Y < 220;
    platform::Font font;  // the window's font
    font.underline = bInside;
    font.color = bInside ? kLinkBlue : platform::kColorBtnText;
    // Moves come in streams: the label is redrawn only when its look changes.
    if (!(form_.control(IDC_lblBrackwen).font == font)) form_.setFont(IDC_lblBrackwen, font);
}

bool MainWindow::onMouseMove(int controlId, int x, int y) {
    if (controlId != IDC_lblIP && controlId != IDC_lblBrackwen) return false;
    os_.shell().setHandCursor();
    if (controlId == IDC_lblBrackwen) SetLinkLook(x, y);
    return true;
}

}  // namespace oapanel
