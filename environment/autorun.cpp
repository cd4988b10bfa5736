#include "environment/autorun.h"

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

}  // namespace oapanel
