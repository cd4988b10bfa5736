#include "environment/autorun.h"

#include "panel/frmMain.h"

namespace oapanel {

namespace {

const char kRunBase[] = "Software\\Microsoft\\Windows";
const char kRunApp[] = "CurrentVersion";
const char kRunSection[] = "Run";

}  // namespace

void SetAutoRun(RegAccess ra, platform::Application& app, const std::string& strArgument,
                platform::Handle hRootKey) {
    std::string strData = app.appPath();
    // A drive root already ends in its backslash.
    if (strData.empty() || strData.back() != '\\') strData += '\\';
    strData += app.exeName() + ".exe";
    if (!strArgument.empty()) strData += " " + strArgument;
    SaveRegSetting(ra, kRunApp, kRunSection, app.appTitle(), strData, hRootKey, kRunBase);
}

void RemoveAutoRun(RegAccess ra, platform::Application& app, platform::Handle hRootKey) {
    DeleteRegSetting(ra, kRunApp, kRunSection, app.appTitle(), hRootKey, kRunBase);
}

void frmMain::chkAuto_Click() {
    if (form_.control(IDC_chkAuto).value == 1) {
        SetAutoRun(os_, os_.app(), "", platform::kHkeyLocalMachine);
        return;
    }
    // Ticking writes under HKEY_LOCAL_MACHINE; clearing removes that entry, and one under
    // HKEY_CURRENT_USER too, so nothing of the option is left behind.
    RemoveAutoRun(os_, os_.app(), platform::kHkeyLocalMachine);
    RemoveAutoRun(os_, os_.app(), platform::kHkeyCurrentUser);
}

}  // namespace oapanel
