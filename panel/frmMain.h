// The main window frmMain: its state, its event handlers and its public procedures.
#pragma once

#include <string>
#include <utility>

#include "panel/activity_log.h"
#include "panel/form.h"
#include "platform/platform.h"
#include "services/command_runner.h"

namespace oapanel {

// Owns an icon handle from the window system and destroys it when done.
class IconHandle {
public:
    IconHandle() = default;
    IconHandle(platform::WindowSystem& ws, platform::Handle h) : ws_(&ws), h_(h) {}
    IconHandle(IconHandle&& o) noexcept : ws_(o.ws_), h_(std::exchange(o.h_, 0)) {}
    IconHandle& operator=(IconHandle&& o) noexcept {
        if (this != &o) {
            reset();
            ws_ = o.ws_;
            h_ = std::exchange(o.h_, 0);
        }
        return *this;
    }
    ~IconHandle() { reset(); }
    platform::Handle get() const { return h_; }

private:
    void reset() {
        if (h_ && ws_) ws_->destroyIcon(h_);
        h_ = 0;
    }
    platform::WindowSystem* ws_ = nullptr;
    platform::Handle h_ = 0;
};

inline constexpr char kTomcatService[] = "Tomcat6Brackwen";
inline constexpr char kMysqlService[] = "MySQL5Brackwen";

class frmMain : public platform::FormEvents {
public:
    explicit frmMain(platform::Platform& os);

    Form& form() { return form_; }
    ActivityLog& log() { return log_; }

    // Form-level state.
    std::string strAppPath;
    bool bTomcatRunning = false;
    bool bMysqlRunning = false;
    bool bAdvanced = false;

    // The tray record: the icon's id, flags, picture and tooltip.
    platform::NotifyIconData nidTray;

    // Event handlers (frmMain.cpp, frmMain_window.cpp, frmMain_tray.cpp).
    void Form_Load();
    void Form_Resize();
    void Form_QueryUnload(bool& Cancel, int UnloadMode);
    void Form_Unload();
    void cmdAdvance_Click();
    void cmdExit_Click();
    void tmStart_Timer();
    void cmdOA_Click();
    void picMouseEvent_MouseMove(std::uint32_t mouseMessage);
    void open_Click();
    void restart_Click();
    void exit_Click();

    // The server controls (services/frmMain_servers.cpp).
    void cmdStart_Click();
    void cmdStop_Click();
    void cmdMysqlStart_Click();
    void cmdMysqlStop_Click();
    void cmdTomcat_Click();
    void cmdMysql_Click();

    // The address links (panel/frmMain_links.cpp).
    void lblIP_Click();
    void lblIP_MouseMove();
    void lblBrackwen_Click();
    void lblBrackwen_MouseMove(int X, int Y);
    void cmdConnect_Click();

    // The port check (services/frmMain_ports.cpp) and the hidden start-with-Windows box
    // (environment/autorun.cpp).
    void cmdCheckPort_Click();
    void chkAuto_Click();

    // Service start, stop and removal (services/frmMain_services.cpp). The start gives
    // whether the service runs at the end; the stop whether it counts as stopped at the end.
    bool StartNTService(const std::string& strDisplayName, const std::string& strServiceName,
                        const std::string& strInstallCommand);
    bool StopNTService(const std::string& strDisplayName, const std::string& strServiceName);
    void RemoveServices();

    // The application folder and JRE_BK_HOME, checked once at start.
    void CheckRunEnvironment();
    void cmdCheckService_Click();
    void cmdReinstall_Click();
    CommandRunner& runner() { return runner_; }

    // Public procedures.
    void RefreshStatus();
    bool CheckApplicationIsRun(const std::string& szExeFileName);
    void SetWindowIcon(std::string& FileName, int IconIndex);
    long SetInTaskBar(bool first, int picIndex);
    long DeleteIcon();
    // Writes a system environment variable through the Registry class and announces it.
    void addEnvValue(const std::string& strName, const std::string& strValue);

    // platform::FormEvents
    void onLoad() override { Form_Load(); }
    void onResize() override { Form_Resize(); }
    bool onQueryUnload(int reason) override;
    void onUnload() override { Form_Unload(); }
    void onClick(int controlId) override;
    void onTimer(int timerId) override;
    void onListSelect(int, int) override {}
    bool onMouseMove(int controlId, int x, int y) override;
    void onTrayMessage(std::uint32_t mouseMessage) override {
        picMouseEvent_MouseMove(mouseMessage);
    }
    void onTaskbarCreated() override;

private:
    void RefuseSecondInstance();
    void SetTitle();
    void ShowWebContainerState();
    void ShowDatabaseState();
    void ShowLocalAddress();
    void OpenAddress(const std::string& strAddress);
    std::string ContactLine();
    std::string TomcatInstallCommand() const;
    std::string MysqlInstallCommand() const;
    void SetServerCaptions();
    long TrySetInTaskBar(bool first, int picIndex);
    void ShowWindowNormal();
    // Shows why the folder cannot be used, then ends the program.
    void RefuseFolder(const std::string& strReason);

    // The tray picture loaded from a file, kept until the shell shows a newer one.
    struct TrayIcon {
        platform::Shell* owner = nullptr;
        platform::Handle handle = 0;
        TrayIcon() = default;
        TrayIcon(const TrayIcon&) = delete;
        TrayIcon& operator=(const TrayIcon&) = delete;
        ~TrayIcon() { reset(nullptr, 0); }
        void reset(platform::Shell* shell, platform::Handle icon);
    };

    platform::Platform& os_;
    Form form_;
    ActivityLog log_;
    CommandRunner runner_;
    IconHandle windowIcon_;
    TrayIcon trayIcon_;
    bool bAutoStartDone = false;
};

// "oapanel - V1.6.9": major, minor and the revision (the fourth number of the version block).
std::string WindowTitle(const platform::VersionInfo& v);

}  // namespace oapanel
