#include "system/oa_system.h"

#include <algorithm>

#include "services/port_check.h"
#include "services/process_detection.h"

namespace oapanel {

namespace {
constexpr std::uint32_t kWaitSliceMs = 100;
constexpr int kFirstStepMs = 100;
// A change is noticed within this where Windows does not say when a service changes. Where it
// does, a look now and then only makes sure it still says: a look costs the service manager a
// call, which under Wine is far from free.
constexpr double kLookEvery = 2.0, kLookWhenTold = 30.0;
// How often a server that answered is asked again, and after how many misses in a row it is
// said to answer no more.
constexpr double kTryEvery = 30.0;
constexpr int kMissesToHang = 3;
}  // namespace

struct OaSystem::State {
    bool running = false;
    std::unique_ptr<ReadinessProbe> check;  // whether it answers after a start
    std::unique_ptr<ServerLogWatch> log;    // what its logs gained since it last started
    // The watch: its service, held while the panel runs, and what was seen of it.
    std::unique_ptr<ServiceWatch> service;
    int busy = 0;  // the panel's own operations under way on it
    bool seenRunning = false;
    bool told = false;  // Windows says when it leaves that state
    bool deaf = false;  // a change came that Windows did not tell: looked at instead
    double nextLook = 0;
    // The tries after it answered: due when, missed how often in a row, said to hang.
    bool answered = false;
    double nextTry = 0;
    int misses = 0;
    bool hung = false;
    std::unique_ptr<ReadinessProbe> attempt;
};

// While the panel's own operation runs on a service, its changes belong to the operation, and
// its tries pause; the watch goes on from where the operation left it.
class OaSystem::Busy {
public:
    Busy(OaSystem& system, const Server& server) : system_(system), server_(server) {
        State& s = system_.state(server_);
        ++s.busy;
        s.attempt.reset();
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
    ~Busy() {
        if (--system_.state(server_).busy == 0) system_.Rebase(server_);
    }

private:
    OaSystem& system_;
    const Server& server_;
};

OaSystem::OaSystem(platform::Platform& os, ServiceHost& host, SystemView& view)
    : os_(os), host_(host), view_(view) {
    for (auto& s : states_) s = std::make_unique<State>();
}

OaSystem::~OaSystem() = default;

OaSystem::State& OaSystem::state(const Server& server) {
    return *states_[static_cast<std::size_t>(&server - TheServers().data())];
}

const OaSystem::State& OaSystem::state(const Server& server) const {
    return *states_[static_cast<std::size_t>(&server - TheServers().data())];
}

AnsiDecoder OaSystem::Decoder() {
    return [this](const std::string& bytes) { return os_.codec().fromAnsi(bytes); };
}

void OaSystem::Load(const std::string& appPath) {
    appPath_ = appPath;
    for (const Server& server : TheServers()) {
        State& s = state(server);
        s.service = std::make_unique<ServiceWatch>(os_.services(), server.service);
        platform::ServiceStatus status;
        s.seenRunning =
            s.service->Status(status) && status.currentState != platform::kServiceStopped;
        // A server that runs already: its logs count from now.
        if (s.seenRunning)
            s.log = std::make_unique<ServerLogWatch>(os_.files(), server.kind, appPath_, Decoder());
        // The web container counts as running from its service, the database from its process.
        s.running =
            server.process ? CheckApplicationIsRun(os_.processes(), server.process) : s.seenRunning;
    }
    watching_ = true;
    for (const Server& server : TheServers()) Ask(server);
    ScheduleTick();
}

std::vector<Crashes> OaSystem::History(const std::optional<platform::LocalTime>& since) {
    constexpr std::int64_t kDay = 24 * 60 * 60;
    std::vector<std::string> names;
    for (const Server& server : TheServers())
        names.push_back(ServiceDisplayName(os_.services(), server.service));
    auto& clock = os_.clock();
    const std::int64_t now = clock.epochSeconds();
    return CountCrashes(os_.eventLog(), names, [&](std::int64_t time) {
        if (time < now - 7 * kDay) return false;
        return since ? clock.localTimeOf(time) >= *since : time >= now - kDay;
    });
}

bool OaSystem::Running(const Server& server) const { return state(server).running; }

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
    const Busy busy(*this, server);
    auto log = std::make_unique<ServerLogWatch>(os_.files(), server.kind, appPath_, Decoder());
    Outcome outcome = StartNTService(os_, host_, server.name, server.service,
                                     server.InstallCommand(appPath_), server.port);
    if (!outcome.ok && !outcome.interrupted)
        outcome.serverLine = log->ErrorLine(LogPick::Cause, Decoder()).value_or("");
    Settle(server, true, outcome);
    if (!outcome.ok || !outcome.changed) return;
    state(server).answered = false;  // asked again once it has answered
    state(server).log = std::move(log);
    StartCheck(server, outcome.startedAt);
}

void OaSystem::Stop(const Server& server) {
    if (Ending()) return;
    const Busy busy(*this, server);
    state(server).check.reset();  // a server on its way down has nothing more to say
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
        // meanwhile; the engine's own timer moves the checks on.
        for (const Server& before : TheServers()) {
            if (&before == &server) break;
            while (state(before).check && !Ending()) os_.windows().waitForEvents(kWaitSliceMs);
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
    // The panel ends after this: a service it deletes is no news.
    watching_ = false;
    for (auto server = TheServers().rbegin(); server != TheServers().rend(); ++server) {
        view_.Removing(*server, false);
        Stop(*server);
    }
    for (auto server = TheServers().rbegin(); server != TheServers().rend(); ++server) {
        view_.Removing(*server, true);
        DeleteService(host_, server->service);
    }
}

std::unique_ptr<ReadinessProbe> OaSystem::Probe(const Server& server, double startedAt, bool once) {
    StrangerCheck stranger;
    if (server.kind == ServerKind::WebContainer)
        stranger = [this, &server] { return Stranger(server); };
    return std::make_unique<ReadinessProbe>(os_.sockets(), server.kind, server.port, startedAt,
                                            Now(), stranger, once);
}

void OaSystem::StartCheck(const Server& server, double startedAt) {
    if (Ending()) return;
    state(server).check = Probe(server, startedAt, false);
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

void OaSystem::StepCheck(const Server& server, double now) {
    State& s = state(server);
    if (!s.check) return;
    const auto result = s.check->Step(now, Decoder());
    if (s.check->Over()) s.check.reset();
    if (!result) return;
    std::optional<std::string> serverLine;
    // Something else on the server's port: what the server wrote says why.
    if (result->kind == ProbeResult::Kind::NotTheServer && s.log)
        serverLine = s.log->ErrorLine(LogPick::Cause, Decoder());
    view_.Answered(server, *result, serverLine);
    if (result->kind != ProbeResult::Kind::Ready) return;
    s.answered = true, s.nextTry = now + kTryEvery, s.misses = 0, s.hung = false;
}

// A server that answered is asked again now and then: a hung JVM or a database out of
// connections keeps its service running, and only its answers tell.
void OaSystem::StepTry(const Server& server, double now) {
    State& s = state(server);
    if (!s.answered || s.busy || (!s.attempt && now < s.nextTry)) return;
    if (!s.attempt) s.attempt = Probe(server, now, true);
    const auto result = s.attempt->Step(now, Decoder());
    if (s.attempt->Over()) s.attempt.reset();
    if (!result) return;
    s.nextTry = now + kTryEvery;
    if (result->kind == ProbeResult::Kind::Ready) {
        s.misses = 0;
        if (std::exchange(s.hung, false)) view_.Recovered(server, *result);
    } else if (++s.misses >= kMissesToHang && !s.hung) {
        s.hung = true;
        view_.Hung(server, *result);
    }
}

// What the service is now. A change the panel did not make is news: a stop (clean, or a death
// with its reason and the server's last words), or a start, which is then asked whether it
// answers, as after the panel's own start. What a notification saw comes first: a service that
// Windows restarts at once after a crash (its recovery settings) runs again by now, and only
// the notification still knows that it died, and why.
void OaSystem::Look(const Server& server, bool notified) {
    State& s = state(server);
    if (!watching_ || s.busy || Ending()) return;
    if (platform::ServiceStatus notice; s.service->Notified(notice)) See(server, notice, notified);
    See(server, Status(server), notified);
    Ask(server);
}

void OaSystem::See(const Server& server, const platform::ServiceStatus& status, bool notified) {
    State& s = state(server);
    const bool running = status.currentState && status.currentState != platform::kServiceStopped;
    if (running != s.seenRunning) {
        // Windows was asked and did not tell: from now on this service is looked at.
        if (s.told && !notified) s.deaf = true;
        s.seenRunning = s.running = running;
        if (running) {
            s.log = std::make_unique<ServerLogWatch>(os_.files(), server.kind, appPath_, Decoder());
            view_.Changed(server, WatchChange::StartedByOther, {}, std::nullopt);
            view_.ShowState();
            StartCheck(server, Now());
        } else {
            s.check.reset(), s.attempt.reset(), s.answered = false;
            const std::string reason = status.currentState ? ExitReason(os_, status) : "";
            std::optional<std::string> serverLine;
            if (!reason.empty() && s.log) serverLine = s.log->ErrorLine(LogPick::Final, Decoder());
            view_.Changed(server, reason.empty() ? WatchChange::StoppedByOther : WatchChange::Died,
                          reason, serverLine);
            view_.ShowState();
        }
    }
}

// After the panel's own operation: what it left is where the watch goes on from.
void OaSystem::Rebase(const Server& server) {
    State& s = state(server);
    if (!watching_ || Ending()) return;
    const platform::ServiceStatus status = Status(server);
    s.seenRunning = status.currentState && status.currentState != platform::kServiceStopped;
    // Asked again once it has answered after a start, or a full interval after the operation.
    if (!s.seenRunning) s.answered = false;
    s.nextTry = std::max(s.nextTry, Now() + kTryEvery);
    Ask(server);
}

// The service's status through the handle held for it; its state 0 when it is not there.
platform::ServiceStatus OaSystem::Status(const Server& server) {
    State& s = state(server);
    platform::ServiceStatus status;
    if (s.service->Status(status)) return status;
    // Not there before, deleted, or made anew by someone else: a handle of its own tells.
    s.service = std::make_unique<ServiceWatch>(os_.services(), server.service);
    return s.service->Status(status) ? status : platform::ServiceStatus{};
}

// Where Windows can, it says when the service leaves the state it was seen in.
void OaSystem::Ask(const Server& server) {
    State& s = state(server);
    s.told =
        s.service->Notify(s.seenRunning ? platform::kNotifyStopped : platform::kNotifyRunning) &&
        !s.deaf;
    s.nextLook = Now() + (s.told ? kLookWhenTold : kLookEvery);
}

void OaSystem::ServiceNotified() {
    for (const Server& server : TheServers()) Look(server, true);
}

void OaSystem::Tick() {
    if (Ending()) return End();
    const double now = Now();
    for (const Server& server : TheServers()) StepCheck(server, now);
    for (const Server& server : TheServers())
        if (watching_ && now >= state(server).nextLook) Look(server, false);
    for (const Server& server : TheServers()) StepTry(server, Now());
    ScheduleTick();
}

// The timer sleeps until the next thing is due: a step of a try under way, the next try, the
// next look at the services.
void OaSystem::ScheduleTick() {
    const double now = Now();
    double due = -1;
    const auto sooner = [&](double at) { due = due < 0 ? at : std::min(due, at); };
    for (const auto& s : states_) {
        // A service the panel works on is looked at again once the operation is over.
        if (watching_ && !s->busy) sooner(s->nextLook);
        if (s->check) sooner(now + s->check->IdleFor(now));
        if (s->attempt) sooner(now + s->attempt->IdleFor(now));
        if (s->answered && !s->attempt && !s->busy) sooner(s->nextTry);
    }
    view_.TickIn(due < 0 ? 0 : std::clamp(static_cast<int>((due - now) * 1000), 50, 30000));
}

void OaSystem::End() {
    watching_ = false;
    for (auto& s : states_) s->check.reset(), s->attempt.reset(), s->service.reset();
    view_.TickIn(0);
}

}  // namespace oapanel
