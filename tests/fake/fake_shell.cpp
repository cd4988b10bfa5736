#include "tests/fake/fake_shell.h"

namespace fake {

long FakeShell::notifyIcon(std::uint32_t message, const platform::NotifyIconData& data) {
    calls_.push_back("Shell_NotifyIconA " + std::to_string(message));
    notifications.push_back({message, data});
    if (shellRefuses) return 0;
    if (message == platform::kNimDelete) {
        shown_ = false;
        return 1;
    }
    if (message == platform::kNimModify && !shown_) return 0;
    shown_ = true;
    picture_ = data.hIcon;
    return 1;
}

platform::Handle FakeShell::loadIconFile(const std::string& path, int cx, int cy,
                                         std::uint32_t flags) {
    calls_.push_back("LoadImageA " + path + " " + std::to_string(cx) + "x" + std::to_string(cy) +
                     " " + std::to_string(flags));
    if (!iconFiles.count(path)) return 0;
    const platform::Handle h = nextIcon_++;
    liveIcons.insert(h);
    loadedFrom[h] = path;
    return h;
}

void FakeShell::destroyIcon(platform::Handle icon) {
    calls_.push_back("DestroyIcon");
    liveIcons.erase(icon);
}

int FakeShell::popupMenu(const std::vector<platform::MenuItem>& items) {
    calls_.push_back("TrackPopupMenu");
    menus.push_back(items);
    return pick(items);
}

bool FakeShell::shellExecuteOpen(const std::string& url) {
    calls_.push_back("ShellExecuteW open " + url);
    if (shellExecuteFails) return false;
    opened.push_back(url);
    return true;
}

void FakeShell::setHandCursor() {
    calls_.push_back("SetCursor IDC_HAND");
    ++handCursors;
}

}  // namespace fake
