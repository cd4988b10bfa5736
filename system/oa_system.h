// The OA system as an engine without a window: the two servers of the table, started, stopped
// and asked whether they answer, singly or together, always the database first. It keeps each
// server's state (its flag, its readiness check, the log watch of its last start) and tells the
// window what happened through SystemView; the window shows it and puts it into words.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "net/readiness.h"
#include "platform/platform.h"
#include "services/server_log_watch.h"
#include "services/service_control.h"
#include "system/servers.h"

namespace oapanel {

class SystemView {
public:
    virtual ~SystemView() = default;
    // A server's flag changed, or may have: the labels, the buttons and the tray picture follow.
    virtual void ShowState() = 0;
    // A start or stop failed; its own lines are written already.
    virtual void Failed(const Server& server, bool starting, const Outcome& outcome) = 0;
    // What a server's readiness check found. When another program answers on its port, the
    // server's own error line since its start, if it wrote one.
    virtual void Answered(const Server& server, const ProbeResult& result,
                          const std::optional<std::string>& serverLine) = 0;
    // The removal of the services: a server's stop, then its deletion, as each begins.
    virtual void Removing(const Server& server, bool deleting) = 0;
    // The engine's timer should tick in ms milliseconds; 0: not at all.
    virtual void TickIn(int ms) = 0;
};

class OaSystem {
public:
    OaSystem(platform::Platform& os, ServiceHost& host, SystemView& view)
        : os_(os), host_(host), view_(view) {}
    OaSystem(const OaSystem&) = delete;
    OaSystem& operator=(const OaSystem&) = delete;

    // The application folder, and the flags as the machine has them at start-up.
    void Load(const std::string& appPath);
    bool Running(const Server& server) const { return state(server).running; }
    bool AllRunning() const;
    bool AnyRunning() const;

    void Start(const Server& server);
    void Stop(const Server& server);
    // Stops a running server and starts a stopped one.
    void Toggle(const Server& server);
    // The database first, then the web container once the database has answered, been given up
    // on, or stopped; a pending automatic start is over. True when both run at the end.
    bool StartAll();
    // The web container first. True when both count as stopped at the end.
    bool StopAll();
    // The start after launch: once, unless the system was started by another route before.
    void AutomaticStart();
    void Restart();
    void RemoveServices();

    // The engine's timer: the readiness checks move on.
    void Tick();
    // The program ends: every check stops.
    void End();

private:
    struct State {
        bool running = false;
        std::unique_ptr<ReadinessProbe> probe;
        std::unique_ptr<ServerLogWatch> log;  // since the server's last start
    };
    State& state(const Server& server) { return states_[&server - TheServers().data()]; }
    const State& state(const Server& server) const {
        return states_[&server - TheServers().data()];
    }
    bool Ending() { return os_.windows().quitting(); }
    std::string FromAnsi(const std::string& bytes) { return os_.codec().fromAnsi(bytes); }
    // Sets the flag from how a start or stop ended, then shows it.
    void Settle(const Server& server, bool runsWhenOk, const Outcome& outcome);
    void StartProbe(const Server& server, double startedAt);
    void StepProbe(const Server& server, double now);
    std::optional<PortStranger> Stranger(const Server& server);
    void ScheduleTick(double now);

    platform::Platform& os_;
    ServiceHost& host_;
    SystemView& view_;
    std::string appPath_;
    std::array<State, kServerCount> states_;
    bool automaticStartOver_ = false;
    double servicesCheckedAt_ = 0;
};

}  // namespace oapanel
