#include "system/oa_system.h"

#include <algorithm>

#include "services/port_check.h"
#include "services/process_detection.h"
#include "services/service_query.h"

namespace oapanel {

namespace {
constexpr std::uint32_t kWaitSliceMs = 100;
constexpr int kFirstStepMs = 100;
}  // namespace

void OaSystem::Load(const std::string& appPath) {
    appPath_ = appPath;
    for (const Server& server : TheServers()) {
        if (server.process) {
            state(server).running = CheckApplicationIsRun(os_.processes(), server.process);
            continue;
        }
        std::int32_t serviceState = 0, startType = 0;
        std::string binPath;
        const bool ok =
            QueryServiceInfo(os_.services(), server.service, serviceState, startType, binPath);
        state(server).running = CountsAsRunning(ok, serviceState);
    }
}

bool OaSystem::AllRunning() const {
    return std::all_of(TheServers().begin(), TheServers().end(),
                       [this](const Server& s) { return Running(s); });
}

bool OaSystem::AnyRunning() const {
    return std::any_of(TheServers().begin(), TheServers().end(),
                       [this](const Server& s) { return Running(s); });
}

// Each flag follows what really happened: a start that failed, or a stop that timed out, leaves
// the display showing the server's true state.
void OaSystem::Settle(const Server& server, bool runsWhenOk, const Outcome& outcome) {
    if (outcome.interrupted) return;  // the session ended: the server is where it was
    state(server).running = outcome.ok == runsWhenOk;
    view_.ShowState();
    if (!outcome.ok) view_.Failed(server, runsWhenOk, outcome);
}

// A start watches the server's own logs meanwhile, quotes its error line after a failure and
// asks whether the server answers after 成功. A start that found the server running leaves the
// check under way alone: its answer is still to come.
void OaSystem::Start(const Server& server) {
    if (Ending()) return;
    const AnsiDecoder fromAnsi = [this](const std::string& b) { return FromAnsi(b); };
    auto log = std::make_unique<ServerLogWatch>(os_.files(), server.kind, appPath_, fromAnsi);
    Outcome outcome = StartNTService(os_, host_, server.name, server.service,
                                     server.InstallCommand(appPath_), server.port);
    if (!outcome.ok && !outcome.interrupted)
        outcome.serverLine = log->ErrorLine(LogPick::Cause, fromAnsi).value_or("");
    Settle(server, true, outcome);
    if (!outcome.ok || !outcome.changed) return;
    state(server).log = std::move(log);
    StartProbe(server, outcome.startedAt);
}

void OaSystem::Stop(const Server& server) {
    if (Ending()) return;
    state(server).probe.reset();  // a server on its way down has nothing more to say
    Settle(server, false, StopNTService(os_, host_, server.name, server.service));
}

void OaSystem::Toggle(const Server& server) {
    if (Running(server))
        Stop(server);
    else
        Start(server);
}

bool OaSystem::StartAll() {
    // The starts below wait with the window live, and a timer ticks meanwhile: the automatic
    // start is over first, so that it never runs inside.
    automaticStartOver_ = true;
    for (const Server& server : TheServers()) {
        // The OA application needs its database as it deploys: each server starts once those
        // before it have answered, been given up on, or stopped. The window stays live
        // meanwhile; the checks' own timer moves them on.
        for (const Server& before : TheServers()) {
            if (&before == &server) break;
            while (state(before).probe && !Ending()) os_.windows().waitForEvents(kWaitSliceMs);
        }
        Start(server);
    }
    return AllRunning();
}

bool OaSystem::StopAll() {
    for (auto server = TheServers().rbegin(); server != TheServers().rend(); ++server)
        Stop(*server);
    return !AnyRunning();
}

void OaSystem::AutomaticStart() {
    if (automaticStartOver_) return;
    StartAll();
}

void OaSystem::Restart() {
    StopAll();
    StartAll();
}

void OaSystem::RemoveServices() {
    for (auto server = TheServers().rbegin(); server != TheServers().rend(); ++server) {
        view_.Removing(*server, false);
        Stop(*server);
    }
    for (auto server = TheServers().rbegin(); server != TheServers().rend(); ++server) {
        view_.Removing(*server, true);
        DeleteService(host_, server->service);
    }
}

void OaSystem::StartProbe(const Server& server, double startedAt) {
    if (Ending()) return;
    StrangerCheck stranger;
    if (server.kind == ServerKind::WebContainer)
        stranger = [this, &server] { return Stranger(server); };
    state(server).probe =
        std::make_unique<ReadinessProbe>(os_.sockets(), server.kind, server.port, startedAt,
                                         os_.clock().monotonicSeconds(), stranger);
    view_.TickIn(kFirstStepMs);
}

// The listener of the server's port when the system names it and it is not the server's own
// service process.
std::optional<PortStranger> OaSystem::Stranger(const Server& server) {
    const auto owner = FindPortOwner(os_, server.port);
    if (!owner || owner->processId == 0) return std::nullopt;  // nobody can tell
    ServiceWatch service(os_.services(), server.service);
    platform::ServiceStatus status;
    if (!service.Status(status) || status.processId == owner->processId) return std::nullopt;
    return PortStranger{owner->processId, owner->exeName};
}

void OaSystem::StepProbe(const Server& server, double now) {
    State& s = state(server);
    if (!s.probe) return;
    const AnsiDecoder fromAnsi = [this](const std::string& b) { return FromAnsi(b); };
    const auto result = s.probe->Step(now, fromAnsi);
    if (s.probe->Over()) s.probe.reset();
    if (!result) return;
    std::optional<std::string> serverLine;
    // Something else on the server's port: what the server wrote says why.
    if (result->kind == ProbeResult::Kind::NotTheServer && s.log)
        serverLine = s.log->ErrorLine(LogPick::Cause, fromAnsi);
    view_.Answered(server, *result, serverLine);
}

void OaSystem::Tick() {
    if (Ending()) return End();
    const double now = os_.clock().monotonicSeconds();
    // A server that stopped (by itself, or stopped by someone else) has nothing more to say:
    // each service is looked at once a second while its check runs.
    if (now - servicesCheckedAt_ >= 1.0) {
        servicesCheckedAt_ = now;
        for (const Server& server : TheServers()) {
            State& s = state(server);
            if (!s.probe) continue;
            std::int32_t serviceState = 0, startType = 0;
            std::string binPath;
            const bool ok =
                QueryServiceInfo(os_.services(), server.service, serviceState, startType, binPath);
            if (!ok || CountsAsRunning(ok, serviceState)) continue;
            s.probe.reset();
            s.running = false;
            view_.ShowState();
        }
    }
    for (const Server& server : TheServers()) StepProbe(server, now);
    ScheduleTick(now);
}

void OaSystem::ScheduleTick(double now) {
    // Between tries there is nothing to do: the timer sleeps until the next one is due.
    double idle = -1;
    for (const State& s : states_)
        if (s.probe) idle = idle < 0 ? s.probe->IdleFor(now) : std::min(idle, s.probe->IdleFor(now));
    view_.TickIn(idle < 0 ? 0 : std::clamp(static_cast<int>(idle * 1000), 50, 1000));
}

void OaSystem::End() {
    for (State& s : states_) s.probe.reset();
    view_.TickIn(0);
}

}  // namespace oapanel
