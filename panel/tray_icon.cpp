#include "panel/tray_icon.h"

#include <cmath>
#include <cstdlib>
#include <exception>
#include <utility>

namespace oapanel {

long TrayIcon::Show(platform::TrayPicture picture, bool first) {
    // Any failure on the way gets one more try from the top; a second one goes to the caller.
    try {
        return TryShow(picture, first);
    } catch (const std::exception&) {
        return TryShow(picture, first);
    }
}

long TrayIcon::TryShow(platform::TrayPicture picture, bool first) {
    // Before the start-up adds it (the checks of the folder may already stop a server), and
    // once removed for good, there is no icon to show a picture on.
    if (removed_ || (!first && !started_)) return 0;
    auto& shell = os_.shell();
    const bool stopped = picture == platform::TrayPicture::Stopped;
    const platform::Handle loaded = shell.loadIconFile(
        appPath_ + (stopped ? "\\tomcat6\\bin\\stop.ico" : "\\tomcat6\\bin\\run.ico"), 16, 16,
        platform::kLrLoadFromFile | platform::kLrLoadMap3dColors);
    // A missing or unreadable file: the picture kept in the program for that state.
    record_.hIcon = loaded ? loaded : shell.storedPicture(picture);

    long result;
    if (first) {
        started_ = true;
        record_.szTip = os_.app().appTitle();
        record_.uID =
            static_cast<std::uint32_t>(std::abs(std::floor(shell.random() * 2147483647.0)));
        result = Add();
        // At logon the shell may not be ready yet: try again for a while.
        if (!result) {
            retryUntil_ = os_.clock().monotonicSeconds() + kRetrySeconds;
            form_.setEnabled(IDC_tmTray, true);
        }
    } else {
        record_.uFlags = platform::kNifMessage | platform::kNifIcon | platform::kNifTip;
        result = shell.notifyIcon(platform::kNimModify, record_);
        // No icon to change (it was never added, or the shell lost it): add it instead.
        if (!result) result = Add();
    }
    // The shell shows the new picture now: the one loaded before can go. When the shell
    // refused, the new one goes instead, and the record goes back to a picture that lives on
    // (a later add, after Explorer starts, uses it).
    if (result) {
        picture_ = {shell, loaded};
    } else if (loaded) {
        shell.destroyIcon(loaded);
        record_.hIcon = picture_ ? picture_.get() : shell.storedPicture(picture);
    }
    return result;
}

long TrayIcon::Add() {
    if (removed_) return 0;
    record_.uFlags =
        platform::kNifMessage | platform::kNifIcon | platform::kNifTip | platform::kNifInfo;
    const long result = os_.shell().notifyIcon(platform::kNimAdd, record_);
    if (result) form_.setEnabled(IDC_tmTray, false);
    return result;
}

void TrayIcon::Retry() {
    // An add that works turns the timer off, and so does Remove.
    if (os_.clock().monotonicSeconds() > retryUntil_)
        form_.setEnabled(IDC_tmTray, false);
    else
        Add();
}

void TrayIcon::Remove() {
    if (std::exchange(removed_, true) || !started_) return;  // gone already, or never there
    form_.setEnabled(IDC_tmTray, false);
    record_.uFlags = platform::kNifIcon;
    os_.shell().notifyIcon(platform::kNimDelete, record_);
}

void TrayIcon::Balloon(const std::string& title, const std::string& text, std::uint32_t icon) {
    if (removed_) return;
    record_.uFlags = platform::kNifInfo;
    record_.szInfoTitle = title;
    record_.szInfo = text;
    record_.dwInfoFlags = icon;
    os_.shell().notifyIcon(platform::kNimModify, record_);
    // Shown once: a later add (Explorer restarting) must not bring it back.
    record_.szInfoTitle.clear();
    record_.szInfo.clear();
}

}  // namespace oapanel
