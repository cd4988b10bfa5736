// The simulated notification area, icon files and pop-up menu.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace fake {

using CallLog = std::vector<std::string>;

class FakeShell : public platform::Shell {
public:
    struct Notify {
        std::uint32_t message;
        platform::NotifyIconData data;
    };

    explicit FakeShell(CallLog& calls) : calls_(calls) {}

    std::set<std::string> iconFiles;                     // icon files that load
    bool shellRefuses = false;                           // Shell_NotifyIconA answers 0
    std::vector<Notify> notifications;                   // every Shell_NotifyIconA call
    std::set<platform::Handle> liveIcons;                // loaded from files and not yet destroyed
    std::map<platform::Handle, std::string> loadedFrom;  // the file each icon came from
    // What the user picks from a pop-up menu (0: dismissed), given its items.
    std::function<int(const std::vector<platform::MenuItem>&)> pick = [](const auto&) { return 0; };
    std::vector<std::vector<platform::MenuItem>> menus;  // every menu shown
    double nextRandom = 0.5;
    std::vector<std::string> opened;  // every address given to ShellExecuteW "open"
    bool shellExecuteFails = false;
    int handCursors = 0;  // SetCursor(IDC_HAND) calls

    // Whether the notification area shows an icon now, and which picture.
    bool iconShown() const { return shown_; }
    platform::Handle shownPicture() const { return picture_; }

    long notifyIcon(std::uint32_t message, const platform::NotifyIconData& data) override;
    platform::Handle loadIconFile(const std::string& path, int cx, int cy,
                                  std::uint32_t flags) override;
    void destroyIcon(platform::Handle icon) override;
    platform::Handle storedPicture(int index) override { return index == 1 ? 0x7001 : 0x7002; }
    int popupMenu(const std::vector<platform::MenuItem>& items) override;
    double random() override { return nextRandom; }
    bool shellExecuteOpen(const std::string& url) override;
    void setHandCursor() override;

private:
    CallLog& calls_;
    bool shown_ = false;
    platform::Handle picture_ = 0;
    platform::Handle nextIcon_ = 0x8000;
};

}  // namespace fake
