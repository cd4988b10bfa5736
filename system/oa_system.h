// The OA system as an engine without a window: the two servers of the table, started, stopped
// and asked whether they answer, singly or together, always the database first. It keeps each
// server's state (its flag, its readiness check, the log watch of its last start) and, for as
// long as the panel runs, watches both services and asks the servers that answered whether they
// still do. It tells the window what happened through SystemView; the window shows it and puts
// it into words.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/readiness.h"
#include "platform/platform.h"
#include "services/server_log_watch.h"
#include "services/service_history.h"
#include "services/service_control.h"
#include "services/service_query.h"
#include "system/servers.h"

namespace oapanel {

// What the watch saw happen to a service that the panel did not do.
enum class WatchChange { StoppedByOther, Died, StartedByOther };

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
    // A server that had answered stopped answering (the last try's result), or answers again.
    virtual void Hung(const Server& server, const ProbeResult& last) = 0;
    virtual void Recovered(const Server& server, const ProbeResult& result) = 0;
    // Its service changed without the panel: a died one with the reason and its own last words.
    virtual void Changed(const Server& server, WatchChange change, const std::string& reason,
                         const std::optional<std::string>& serverLine) = 0;
    // The removal of the services: a server's stop, then its deletion, as each begins.
    virtual void Removing(const Server& server, bool deleting) = 0;
    // The engine's timer should tick in ms milliseconds; 0: not at all.
    virtual void TickIn(int ms) = 0;
};

class OaSystem {
public:
    OaSystem(platform::Platform& os, ServiceHost& host, SystemView& view);
    ~OaSystem();
    OaSystem(const OaSystem&) = delete;
    OaSystem& operator=(const OaSystem&) = delete;

    // The application folder, and the flags as the machine has them at start-up; the watch
    // begins.
    void Load(const std::string& appPath);
    bool Running(const Server& server) const;
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

    // How often each server ended unexpectedly while the panel was not running, as the service
    // manager recorded it: since that local time, else in the last 24 hours; never more than a
    // week back.
    std::vector<Crashes> History(const std::optional<platform::LocalTime>& since);

    // The engine's timer: the checks move on, the services are looked at.
    void Tick();
    // A service notification arrived: the services are looked at now.
    void ServiceNotified();
    // The program ends: every check and the watch stop.
    void End();

private:
    struct State;
    class Busy;
    State& state(const Server& server);
    const State& state(const Server& server) const;
    bool Ending() { return os_.windows().quitting(); }
    double Now() { return os_.clock().monotonicSeconds(); }
    AnsiDecoder Decoder();
    // Sets the flag from how a start or stop ended, then shows it.
    void Settle(const Server& server, bool runsWhenOk, const Outcome& outcome);
    std::unique_ptr<ReadinessProbe> Probe(const Server& server, double startedAt, bool once);
    void StartCheck(const Server& server, double startedAt);
    void StepCheck(const Server& server, double now);
    void StepTry(const Server& server, double now);
    std::optional<PortStranger> Stranger(const Server& server);
    // The watch: what the service is now, news or not.
    void Look(const Server& server, bool notified);
    void See(const Server& server, const platform::ServiceStatus& status, bool notified);
    void Rebase(const Server& server);
    platform::ServiceStatus Status(const Server& server);
    void Ask(const Server& server);
    void ScheduleTick();

    platform::Platform& os_;
    ServiceHost& host_;
    SystemView& view_;
    std::string appPath_;
    std::array<std::unique_ptr<State>, kServerCount> states_;
    bool automaticStartOver_ = false, watching_ = false;
};

}  // namespace oapanel
