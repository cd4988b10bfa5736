// The main window: it shows the state of the OA system (the labels, the buttons, the tray
// picture, the activity log) and routes clicks, menu commands and timers to the engine. One
// file per concern: start-up and routing (main_window.cpp), layout and closing, the tray, the
// links, the server buttons, the maintenance buttons, the start-up checks.
#pragma once

#include <functional>
#include <string>

#include "base/owner.h"
#include "panel/activity_log.h"
#include "panel/command_runner.h"
#include "panel/form.h"
#include "panel/tray_icon.h"
#include "platform/platform.h"
#include "system/oa_system.h"

namespace oapanel {

class MainWindow : public platform::FormEvents, SystemView {
public:
    explicit MainWindow(platform::Platform& os);

    // Creates the window; its load event runs the start-up sequence.
    void Show();
    // Sets every label, caption, button state and the tray picture from the servers' flags.
    void ShowState() override;
    // Writes a system environment variable through the Registry class and announces it.
    void AddSystemVariable(const std::string& name, const std::string& value);

    // platform::FormEvents. When the outermost event is handled, no operation is under way
    // and every line of the log reads as it will stay: that is when they go to the file.
    void onLoad() override {
        Event([&] { OnLoad(); });
    }
    void onResize() override { OnResize(); }
    bool onQueryUnload(int reason) override { return OnClosing(reason); }
    void onUnload() override {
        Event([&] { OnUnload(); });
    }
    void onClick(int controlId) override {
        Event([&] { OnClick(controlId); });
    }
    void onTimer(int timerId) override {
        Event([&] { OnTimer(timerId); });
    }
    void onListSelect(int, int) override {}
    bool onMouseMove(int controlId, int x, int y) override;
    void onTrayMessage(std::uint32_t mouseMessage) override {
        Event([&] { OnTrayMessage(mouseMessage); });
    }
    void onTaskbarCreated() override;
    void onServiceNotified() override {
        Event([&] { system_.ServiceNotified(); });
    }

private:
    template <typename F>
    void Event(F&& handler) {
        struct Depth {
            MainWindow& w;
            ~Depth() {
                if (--w.eventDepth_ == 0) w.log_.Flush();
            }
        } depth{*this};
        ++eventDepth_;
        handler();
    }
    void OnClick(int controlId);
    void OnTimer(int timerId);
    // Ends the program at once, the log file first.
    void End(std::uint32_t exitCode);
    bool Quitting() { return os_.windows().quitting(); }
    // A balloon on the tray icon while the window is hidden: in the window the log says it all.
    void ShowBalloon(const std::string& title, const std::string& text, std::uint32_t icon);
    void ShowContactLine();

    // SystemView: what the engine reports (server_buttons.cpp).
    void Failed(const Server& server, bool starting, const Outcome& outcome) override;
    void Answered(const Server& server, const ProbeResult& result,
                  const std::optional<std::string>& serverLine) override;
    void Hung(const Server& server, const ProbeResult& last) override;
    void Recovered(const Server& server, const ProbeResult& result) override;
    void Changed(const Server& server, WatchChange change, const std::string& reason,
                 const std::optional<std::string>& serverLine) override;
    void Removing(const Server& server, bool deleting) override;
    void TickIn(int ms) override;
    // A line and, while the window is hidden, a balloon: the line's title and the rest.
    void Report(const std::string& line, const std::string& more, std::uint32_t icon);

    // Start-up (main_window.cpp).
    void OnLoad();
    void RefuseSecondInstance();
    void SetWindowIcon();
    // What the service manager recorded while the panel was not running.
    void ShowHistory(const std::optional<platform::LocalTime>& since);

    // Layout, the advanced panel and closing (window_layout.cpp).
    void OnResize();
    void ToggleAdvancedPanel();
    bool OnClosing(int reason);
    void OnUnload();
    void ExitClicked();

    // The tray icon's mouse messages and menu (tray_menu.cpp).
    void OnTrayMessage(std::uint32_t mouseMessage);
    void ShowWindowNormal();

    // The address links (links.cpp).
    void ShowLocalAddress();
    void LinkClicked(int controlId);
    void OpenAddress(const std::string& address);
    void SetLinkLook(int x, int y);

    // The server buttons (server_buttons.cpp).
    void ToggleClicked(const Server& server, int button);
    void SystemClicked();

    // The maintenance buttons of the advanced panel (maintenance.cpp).
    void CheckPorts();
    void CheckServicePaths();
    void RemoveServicesAndEnd();
    void AutoRunClicked();

    // The application folder and JRE_BK_HOME, checked once at start (startup_checks.cpp).
    void CheckRunEnvironment();
    // Shows why the program cannot go on, then ends it.
    void RefuseToRun(const std::string& reason);
    // Sets JRE_BK_HOME, or ends the program when the machine refuses it.
    void StoreRuntimeHome(const std::string& runtime);

    platform::Platform& os_;
    Form form_;
    ActivityLog log_;
    CommandRunner runner_;
    OaSystem system_;
    TrayIcon tray_;
    // The window keeps using its icon: it lives as long as the window does.
    Owner<platform::WindowSystem, &platform::WindowSystem::destroyIcon> windowIcon_;

    std::string appPath_;
    bool advanced_ = false;
    int eventDepth_ = 0;
};

// "oapanel - V1.6.9": major, minor and the revision (the fourth number of the version block).
std::string WindowTitle(const platform::VersionInfo& v);

// The program: closes the DLL search path before anything else can load a DLL, then makes the
// machine, shows the main window and runs the message loop; returns the exit code.
int RunPanel(platform::Libraries& libraries, const std::function<platform::Platform&()>& machine);

}  // namespace oapanel
