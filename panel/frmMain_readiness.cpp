// Whether the OA system really answers: the probes that follow a start, the whole system's
// wait for its database, and the server's own words after a failed start.
#include <algorithm>

#include "panel/frmMain.h"
#include "services/basService.h"
#include "services/port_check.h"

namespace oapanel {

namespace {
constexpr std::uint32_t kNiifInfo = 1, kNiifWarning = 2;
constexpr std::uint32_t kWaitSliceMs = 100;
constexpr int kFirstStepMs = 100;

// "MySQL 已就绪（5.0.96，用时 1 秒）", "OA 未就绪：/oa 仍返回 HTTP 404": the title of what a
// probe found, up to the "：" of its reason.
std::string ProbeTitle(ServerKind kind, const ProbeResult& r) {
    const bool ready = r.kind == ProbeResult::Kind::Ready;
    return std::string(kind == ServerKind::Database ? "MySQL" : "OA") +
           (ready ? " 已就绪" : " 未就绪");
}

std::string ProbeReason(ServerKind kind, const ProbeResult& r) {
    const bool database = kind == ServerKind::Database;
    switch (r.kind) {
        case ProbeResult::Kind::Ready:
            return "（" + (database ? r.version : "HTTP " + std::to_string(r.status)) + "，用时 " +
                   std::to_string(r.seconds) + " 秒）";
        case ProbeResult::Kind::ErrorPacket:
            return "错误 " + std::to_string(r.code) + "：" + r.message;
        case ProbeResult::Kind::NotTheServer:
            if (database) return "端口 3307 上的程序不是 MySQL";
            return "端口 8080 上的程序不是 Tomcat（" +
                   (r.ownerExe.empty() ? "" : r.ownerExe + "，") + "进程 " +
                   std::to_string(r.ownerId) + "）";
        case ProbeResult::Kind::NoAnswer:
            if (database) return "端口 3307 60 秒内未应答";
            if (r.status) return "/oa 仍返回 HTTP " + std::to_string(r.status);
            return "300 秒内 /oa 未应答";
    }
    return {};
}

}  // namespace

void frmMain::StartProbe(Readiness& readiness, ServerKind kind, double startedAt) {
    if (Ending()) return;
    StrangerCheck stranger;
    if (kind == ServerKind::WebContainer) stranger = [this] { return StrangerOnWebPort(); };
    readiness.probe = std::make_unique<ReadinessProbe>(os_.sockets(), kind, startedAt,
                                                       os_.clock().monotonicSeconds(), stranger);
    form_.setInterval(IDC_tmProbe, kFirstStepMs);
    form_.setEnabled(IDC_tmProbe, true);
}

// The listener of 8080 when the system names it and it is not the web container's own process.
std::optional<PortStranger> frmMain::StrangerOnWebPort() {
    const auto owner = FindPortOwner(os_, kTomcatPort);
    if (!owner || owner->processId == 0) return std::nullopt;  // nobody can tell
    ServiceWatch service(os_.services(), kTomcatService);
    platform::ServiceStatus status;
    if (!service.Status(status) || status.processId == owner->processId) return std::nullopt;
    return PortStranger{owner->processId, owner->exeName};
}

void frmMain::EndProbes() {
    database_.probe.reset();
    oa_.probe.reset();
    form_.setEnabled(IDC_tmProbe, false);
}

void frmMain::StepProbe(Readiness& readiness, ServerKind kind, double now) {
    if (!readiness.probe) return;
    const auto result = readiness.probe->Step(now, [this](const auto& b) { return FromAnsi(b); });
    if (readiness.probe->Over()) readiness.probe.reset();
    if (!result) return;
    const std::string title = ProbeTitle(kind, *result), reason = ProbeReason(kind, *result);
    const bool ready = result->kind == ProbeResult::Kind::Ready;
    log_.AddLineUnselected(title + (ready ? "" : "：") + reason);
    std::string text = reason;
    // Something else on the web container's port: what the web container wrote says why.
    if (result->kind == ProbeResult::Kind::NotTheServer && readiness.log) {
        if (const auto line = readiness.log->ErrorLine(
                LogPick::Cause, [this](const auto& b) { return FromAnsi(b); })) {
            log_.AddLineUnselected("Tomcat 日志：" + *line);
            text += "\nTomcat 日志：" + *line;
        }
    }
    if (kind == ServerKind::WebContainer)
        ShowBalloon(title, text, ready ? kNiifInfo : kNiifWarning);
}

void frmMain::tmProbe_Timer() {
    if (Ending()) return EndProbes();
    const double now = os_.clock().monotonicSeconds();
    // A server that stopped (stopped by itself, or by someone else) has nothing more to say:
    // each service is looked at once a second while its probe runs.
    if (now - servicesCheckedAt_ >= 1.0) {
        servicesCheckedAt_ = now;
        const struct {
            Readiness& readiness;
            const char* service;
            bool& bRunning;
        } servers[] = {{database_, kMysqlService, bMysqlRunning},
                       {oa_, kTomcatService, bTomcatRunning}};
        for (const auto& s : servers) {
            if (!s.readiness.probe) continue;
            std::int32_t state = 0, startType = 0;
            std::string binPath;
            const bool ok = QueryServiceInfo(os_.services(), s.service, state, startType, binPath);
            if (!ok || CountsAsRunning(ok, state)) continue;
            s.readiness.probe.reset();
            s.bRunning = false;
            RefreshStatus();
        }
    }
    StepProbe(database_, ServerKind::Database, now);
    StepProbe(oa_, ServerKind::WebContainer, now);
    if (!database_.probe && !oa_.probe) return form_.setEnabled(IDC_tmProbe, false);
    // Between tries there is nothing to do: the timer sleeps until the next one is due.
    double idle = 1.0;
    for (const auto* probe : {database_.probe.get(), oa_.probe.get()})
        if (probe) idle = std::min(idle, probe->IdleFor(now));
    form_.setInterval(IDC_tmProbe, std::clamp(static_cast<int>(idle * 1000), 50, 1000));
}

// The OA application needs its database when it deploys: the whole system's start goes on to
// the web container once the database has answered, or been given up on (at most 60 s), or
// stopped. The window stays live meanwhile; the probe's own timer moves it on.
void frmMain::WaitForDatabase() {
    while (database_.probe && !Ending()) os_.windows().waitForEvents(kWaitSliceMs);
}

void frmMain::QuoteServerLog(Outcome& outcome, ServerLogWatch& serverLog,
                             const std::string& strPrefix) {
    if (outcome.ok || outcome.interrupted) return;
    const auto line =
        serverLog.ErrorLine(LogPick::Cause, [this](const std::string& b) { return FromAnsi(b); });
    if (!line) return;
    log_.AddLineUnselected(strPrefix + *line);
    outcome.reason += "\n" + strPrefix + *line;
}

}  // namespace oapanel
