// The main window frmMain: its state, its event handlers and its public procedures. The
// handlers live in the panel/frmMain_*.cpp files by area; the operations they call live in
// services/, environment/, net/ and registry/.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "panel/activity_log.h"
#include "panel/command_runner.h"
#include "net/readiness.h"
#include "panel/form.h"
#include "platform/platform.h"
#include "services/server_log_watch.h"

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

class frmMain : public platform::FormEvents {
public:
    explicit frmMain(platform::Platform& os);

    // Creates the window; its load event runs the start-up sequence.
    void Show();

    // Public procedures.
    // Sets every label, caption, button state and the tray picture from the two flags.
    void RefreshStatus();
    bool CheckApplicationIsRun(const std::string& szExeFileName);
    void SetWindowIcon(std::string& FileName, int IconIndex);
    long SetInTaskBar(bool first, int picIndex);
    long DeleteIcon();
    // Writes a system environment variable through the Registry class and announces it.
    void addEnvValue(const std::string& strName, const std::string& strValue);

    // platform::FormEvents. When the outermost event is handled, no operation is under way
    // and every line of the log reads as it will stay: that is when they go to the file.
    void onLoad() override {
        Event([&] { Form_Load(); });
    }
    void onResize() override { Form_Resize(); }
    bool onQueryUnload(int reason) override;
    void onUnload() override {
        Event([&] { Form_Unload(); });
    }
    void onClick(int controlId) override {
        Event([&] { Click(controlId); });
    }
    void onTimer(int timerId) override;
    void onListSelect(int, int) override {}
    bool onMouseMove(int controlId, int x, int y) override;
    void onTrayMessage(std::uint32_t mouseMessage) override {
        Event([&] { picMouseEvent_MouseMove(mouseMessage); });
    }
    void onTaskbarCreated() override;

private:
    template <typename F>
    void Event(F&& handler) {
        struct Depth {
            frmMain& f;
            ~Depth() {
                if (--f.eventDepth_ == 0) f.log_.Flush();
            }
        } depth{*this};
        ++eventDepth_;
        handler();
    }
    void Click(int controlId);
    // Ends the program at once, the log file first.
    void End(std::uint32_t exitCode);
    // A failed start or stop while the window is hidden shows a balloon on the tray icon.
    void ReportFailure(const std::string& strTitle, const Outcome& outcome);
    // A balloon on the tray icon while the window is hidden.
    void ShowBalloon(const std::string& strTitle, const std::string& strText, std::uint32_t icon);

    // Start-up (frmMain.cpp).
    void Form_Load();
    void RefuseSecondInstance();
    void SetTitle();
    std::string ContactLine();

    // Layout, the advanced panel and closing (frmMain_window.cpp).
    void Form_Resize();
    void Form_QueryUnload(bool& Cancel, int UnloadMode);
    void Form_Unload();
    void cmdAdvance_Click();
    void cmdExit_Click();

    // The tray icon and its menu (frmMain_tray.cpp).
    void picMouseEvent_MouseMove(std::uint32_t mouseMessage);
    void open_Click();
    void restart_Click();
    void exit_Click();
    long TrySetInTaskBar(bool first, int picIndex);
    long AddTrayIcon();
    void tmTray_Timer();
    void ShowWindowNormal();

    // The address links (frmMain_links.cpp).
    void ShowLocalAddress();
    void OpenAddress(const std::string& strAddress);
    void lblIP_Click();
    void lblIP_MouseMove();
    void lblBrackwen_Click();
    void lblBrackwen_MouseMove(int X, int Y);
    void cmdConnect_Click();

    // The servers (frmMain_servers.cpp).
    void cmdStart_Click();
    void cmdStop_Click();
    void cmdMysqlStart_Click();
    void cmdMysqlStop_Click();
    void cmdTomcat_Click();
    void cmdMysql_Click();
    void Toggle(int idButton, bool bRunning, void (frmMain::*start)(), void (frmMain::*stop)());
    void cmdOA_Click();
    void tmStart_Timer();
    void RemoveServices();
    bool Ending();
    // The database first, then the web container once the database has answered; a pending
    // automatic start is over once the system is started by any route.
    void StartSystem();
    // A server's readiness probe and the log watch of its last start, which the probe's outcome
    // may quote.
    struct Readiness {
        std::unique_ptr<ReadinessProbe> probe;
        std::unique_ptr<ServerLogWatch> log;
    };
    void StartServer(const std::string& strName, const std::string& strService,
                     const std::string& strInstallCommand, std::uint16_t iPort, ServerKind kind,
                     bool& bRunning, Readiness& readiness);
    // Readiness: the probes after a start, the whole system's wait for the database, and the
    // server's own line after a failed start (frmMain_readiness.cpp).
    void StartProbe(Readiness& readiness, ServerKind kind, double startedAt);
    void StepProbe(Readiness& readiness, ServerKind kind, double now);
    std::optional<PortStranger> StrangerOnWebPort();
    void tmProbe_Timer();
    void WaitForDatabase();
    void EndProbes();
    void QuoteServerLog(Outcome& outcome, ServerLogWatch& serverLog, const std::string& strPrefix);
    std::string FromAnsi(const std::string& bytes) { return os_.codec().fromAnsi(bytes); }
    // Sets a server's flag from how its start or stop ended, then shows it.
    void Settle(bool& bRunning, bool bRunsWhenOk, const Outcome& outcome,
                const std::string& strFailure);
    std::string TomcatInstallCommand() const;
    std::string MysqlInstallCommand() const;

    // The maintenance buttons of the advanced panel (frmMain_maintenance.cpp).
    void cmdCheckPort_Click();
    void cmdCheckService_Click();
    void cmdReinstall_Click();
    void chkAuto_Click();

    // The application folder and JRE_BK_HOME, checked once at start (frmMain_environment.cpp).
    void CheckRunEnvironment();
    // Shows why the program cannot go on, then ends it.
    void RefuseToRun(const std::string& strReason);
    // Sets JRE_BK_HOME, or ends the program when the machine refuses it.
    void StoreRuntimeHome(const std::string& strRuntime);

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

    // Form-level state.
    std::string strAppPath;
    bool bTomcatRunning = false;
    bool bMysqlRunning = false;
    bool bAdvanced = false;
    bool bAutoStartDone = false;
    int eventDepth_ = 0;
    // A first add the shell refused is tried again until then (monotonic seconds).
    static constexpr double kTrayRetrySeconds = 60;
    double trayRetryUntil_ = 0;
    bool trayDeleted_ = false;
    Readiness database_, oa_;
    double servicesCheckedAt_ = 0;
    // The tray record: the icon's id, flags, picture and tooltip.
    platform::NotifyIconData nidTray;
};

// "oapanel - V1.6.9": major, minor and the revision (the fourth number of the version block).
std::string WindowTitle(const platform::VersionInfo& v);

// The program: closes the DLL search path before anything else can load a DLL, then makes the
// machine, shows the main window and runs the message loop; returns the exit code.
int RunPanel(platform::Libraries& libraries, const std::function<platform::Platform&()>& machine);

}  // namespace oapanel
