// The notification area, icons loaded from files, pop-up menus and starting programs the
// user sees (shell32, user32).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"

namespace platform {

// Shell_NotifyIconW messages and flags.
inline constexpr std::uint32_t kNimAdd = 0;
inline constexpr std::uint32_t kNimModify = 1;
inline constexpr std::uint32_t kNimDelete = 2;
inline constexpr std::uint32_t kNifMessage = 0x1;
inline constexpr std::uint32_t kNifIcon = 0x2;
inline constexpr std::uint32_t kNifTip = 0x4;
inline constexpr std::uint32_t kNifInfo = 0x10;
inline constexpr std::uint32_t kNiifError = 0x3;

// Mouse messages the tray icon reports.
inline constexpr std::uint32_t kWmMouseMove = 0x200;
inline constexpr std::uint32_t kWmLButtonDown = 0x201;
inline constexpr std::uint32_t kWmLButtonUp = 0x202;
inline constexpr std::uint32_t kWmLButtonDblClk = 0x203;
inline constexpr std::uint32_t kWmRButtonDown = 0x204;
inline constexpr std::uint32_t kWmRButtonUp = 0x205;

// LoadImageA for an icon file.
inline constexpr std::uint32_t kLrLoadFromFile = 0x10;
inline constexpr std::uint32_t kLrLoadMap3dColors = 0x1000;

// The fields of NOTIFYICONDATAW the program sets. The window that receives the icon's mouse
// messages, and the message that carries them, are the backend's: it reports them as
// FormEvents::onTrayMessage.
struct NotifyIconData {
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    Handle hIcon = 0;
    // Each text is converted to UTF-16 for the call and cut to its field (128, 256 and 64
    // characters with the NUL), ending in "…" where it was cut.
    std::string szTip;
    // The balloon, with kNifInfo: its text, title and icon (kNiifError, ...).
    std::string szInfo;
    std::string szInfoTitle;
    std::uint32_t dwInfoFlags = 0;
};

// What the tray icon shows: whether the OA system runs.
enum class TrayPicture { Stopped = 1, Running = 2 };

struct MenuItem {
    int id = 0;  // 0 for a separator
    std::string caption;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Shell_NotifyIconW; nonzero when the shell accepted the call.
    virtual long notifyIcon(std::uint32_t message, const NotifyIconData& data) = 0;
    // LoadImageA(instance, path, IMAGE_ICON, cx, cy, flags); 0 when it cannot be loaded.
    // Release with destroyIcon.
    virtual Handle loadIconFile(const std::string& path, int cx, int cy, std::uint32_t flags) = 0;
    virtual void destroyIcon(Handle icon) = 0;
    // The 16 x 16 picture of that state stored with the program; owned by the backend.
    virtual Handle storedPicture(TrayPicture picture) = 0;
    // Brings the window to the foreground and shows the menu at the mouse position; returns
    // the id of the item chosen, or 0 when the menu was dismissed.
    virtual int popupMenu(const std::vector<MenuItem>& items) = 0;
    // A uniform random number in [0, 1).
    virtual double random() = 0;
    // ShellExecuteW(NULL, "open", url, ...) with a normal window: the user's default browser
    // for a web address. False when the shell could not open it.
    virtual bool shellExecuteOpen(const std::string& url) = 0;
    // Has the desktop's own shell start the program, so that it runs with the rights of the
    // logged-on user rather than the panel's: the shell's window list, the desktop's folder
    // view, then IShellDispatch2::ShellExecute with a normal window. False where there is no
    // such shell (no Explorer) or any step fails.
    virtual bool shellExecuteAsDesktopUser(const std::string& file,
                                           const std::string& arguments) = 0;
    // SetCursor with the system's hand pointer (IDC_HAND).
    virtual void setHandCursor() = 0;
};

}  // namespace platform
