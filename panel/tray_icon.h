// The panel's icon in the notification area: the picture of the OA system's state, its tooltip,
// its balloons, and its mouse messages sent to the window. At logon the shell may not be ready
// for it, and a restarted Explorer loses it: it is added again then. Once removed for good,
// nothing brings it back.
#pragma once

#include <string>

#include "base/owner.h"
#include "panel/form.h"
#include "platform/platform.h"

namespace oapanel {

class TrayIcon {
public:
    TrayIcon(platform::Platform& os, Form& form) : os_(os), form_(form) {}

    // The icon files of the bundle are in the application folder.
    void SetFolder(const std::string& appPath) { appPath_ = appPath; }
    // Shows the picture of the state; the first call adds the icon. Nonzero when the shell took it.
    long Show(platform::TrayPicture picture, bool first);
    // The timer's tick while a refused first add is tried again.
    void Retry();
    // Explorer restarted with an empty notification area.
    void AddAgain() { Add(); }
    // Takes the icon away for good.
    void Remove();
    // A balloon on the icon, shown once.
    void Balloon(const std::string& title, const std::string& text, std::uint32_t icon);

private:
    long TryShow(platform::TrayPicture picture, bool first);
    long Add();

    platform::Platform& os_;
    Form& form_;
    std::string appPath_;
    // The picture loaded from a file, kept until the shell shows a newer one.
    Owner<platform::Shell, &platform::Shell::destroyIcon> picture_;
    platform::NotifyIconData record_;
    // A first add the shell refused is tried again until then (monotonic seconds).
    static constexpr double kRetrySeconds = 60;
    double retryUntil_ = 0;
    bool started_ = false, removed_ = false;
};

}  // namespace oapanel
