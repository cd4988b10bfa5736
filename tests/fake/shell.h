// The shell: the notification area, icons loaded from files, pop-up menus and the pages and
// programs it opens.
#pragma once

#include "tests/fake/record.h"

namespace fake {

struct FakeShell : Recording<P::Shell> {
    struct Notify {
        std::uint32_t message;
        P::NotifyIconData data;
    };
    using Recording::Recording;

    std::set<std::string> iconFiles;  // icon files that load
    bool refuses = false;             // Shell_NotifyIconW answers 0
    std::vector<Notify> notifications;
    std::set<P::Handle> liveIcons;                // loaded and not yet destroyed
    std::map<P::Handle, std::string> loadedFrom;  // the file each icon came from
    // What the user picks from a pop-up menu (0: dismissed), given its items.
    std::function<int(const std::vector<P::MenuItem>&)> pick = [](const auto&) { return 0; };
    std::vector<std::vector<P::MenuItem>> menus;
    std::vector<std::string> opened;           // every address given to ShellExecuteW "open"
    bool desktopShell = true;                  // Explorer runs and lends its ShellExecute
    std::vector<std::string> openedByDesktop;  // "file arguments" the desktop's shell started
    int refusedAdds = 0;                       // adds refused before the shell is ready (at logon)
    bool shown = false;                        // the notification area shows the icon
    std::uint32_t id = 0;                      // with this id,
    P::Handle picture = 0;                     // this picture,
    std::string tip;                           // this tooltip,
    bool callback = false;                     // and sends the window its mouse messages
    int strays = 0;                            // icons added beside the one shown
    struct Balloon {
        std::string title, text;
        std::uint32_t icon;
    };
    std::vector<Balloon> balloons;

    // The notification area as the shell keeps it: one icon per id, each field changed only
    // when its flag says so, a balloon shown when one is given.
    long notifyIcon(std::uint32_t message, const P::NotifyIconData& data) override {
        r_.call("Shell_NotifyIconW " + std::to_string(message));
        notifications.push_back({message, data});
        if (refuses || (message == P::kNimAdd && refusedAdds > 0 && refusedAdds--)) return 0;
        if (message == P::kNimAdd) {
            if (shown && data.uID == id) return 0;
            if (shown) ++strays;
            shown = true, id = data.uID, picture = 0, tip.clear(), callback = false;
        } else if (!shown || data.uID != id) {
            return 0;
        }
        if (message == P::kNimDelete) return shown = false, 1;
        if (data.uFlags & P::kNifIcon) picture = data.hIcon;
        if (data.uFlags & P::kNifTip) tip = data.szTip;
        if (data.uFlags & P::kNifMessage) callback = true;
        if ((data.uFlags & P::kNifInfo) && !data.szInfo.empty())
            balloons.push_back({data.szInfoTitle, data.szInfo, data.dwInfoFlags});
        return 1;
    }
    P::Handle loadIconFile(const std::string& path, int cx, int cy, std::uint32_t flags) override {
        r_.call("LoadImageA " + path + " " + std::to_string(cx) + "x" + std::to_string(cy) + " " +
                std::to_string(flags));
        if (!iconFiles.count(path)) return 0;
        liveIcons.insert(next_);
        loadedFrom[next_] = path;
        return next_++;
    }
    void destroyIcon(P::Handle icon) override { liveIcons.erase(icon); }
    P::Handle storedPicture(P::TrayPicture p) override {
        return p == P::TrayPicture::Stopped ? 0x7001 : 0x7002;
    }
    int popupMenu(const std::vector<P::MenuItem>& items) override {
        menus.push_back(items);
        return pick(items);
    }
    double random() override { return 0.75; }
    bool shellExecuteOpen(const std::string& url) override {
        return !r_.call("ShellExecuteW open " + url) && (opened.push_back(url), true);
    }
    bool shellExecuteAsDesktopUser(const std::string& file, const std::string& args) override {
        return !r_.call("IShellDispatch2::ShellExecute " + file) && desktopShell &&
               (openedByDesktop.push_back(args.empty() ? file : file + " " + args), true);
    }
    void setHandCursor() override { r_.call("SetCursor IDC_HAND"); }

private:
    P::Handle next_ = 0x8000;
};

}  // namespace fake
