#pragma once

#include <windows.h>

#include <random>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/window_system.h"

namespace win32 {

// The notification area, icon files and the tray's pop-up menu.
class Shell : public platform::Shell {
public:
    Shell(HINSTANCE instance, WindowSystem& windows);

    long notifyIcon(std::uint32_t message, const platform::NotifyIconData& data) override;
    platform::Handle loadIconFile(const std::string& path, int cx, int cy,
                                  std::uint32_t flags) override;
    void destroyIcon(platform::Handle icon) override;
    platform::Handle storedPicture(platform::TrayPicture picture) override;
    int popupMenu(const std::vector<platform::MenuItem>& items) override;
    double random() override;
    bool shellExecuteOpen(const std::string& url) override;
    bool shellExecuteAsDesktopUser(const std::string& file, const std::string& arguments) override;
    void setHandCursor() override;

private:
    HINSTANCE instance_;
    WindowSystem& windows_;
    Icon stopped_, running_;
    std::mt19937 random_;
};

}  // namespace win32
