// Whether the OA system really answers: the probes that follow a start, the whole system's
// wait for its database, and the server's own words after a failed start.
#include <algorithm>

#include "panel/frmMain.h"
#include "services/basService.h"

namespace oapanel {

namespace {
constexpr std::uint32_t kNiifInfo = 1, kNiifWarning = 2;
constexpr std::uint32_t kWaitSliceMs = 100;
constexpr int kFirstStepMs = 100;
}  // namespace

void frmMain::StartProbe(std::unique_ptr<ReadinessProbe>& probe, ProbeKind kind, double startedAt) {
    if (Ending()) return;
    probe = std::make_unique<ReadinessProbe>(os_.sockets(), kind, startedAt,
                                             os_.clock().monotonicSeconds());
    form_.setInterval(IDC_tmProbe, kFirstStepMs);
    form_.setEnabled(IDC_tmProbe, true);
}

void frmMain::EndProbes() {
    databaseProbe_.reset();
    oaProbe_.reset();
    form_.setEnabled(IDC_tmProbe, false);
}

void frmMain::tmProbe_Timer() {
    if (Ending()) return EndProbes();
    const double now = os_.clock().monotonicSeconds();
    const AnsiDecoder fromAnsi = [this](const std::string& bytes) { return FromAnsi(bytes); };
    if (databaseProbe_) {
        if (const auto line = databaseProbe_->Step(now, fromAnsi)) log_.AddLineUnselected(*line);
        if (databaseProbe_->Over()) databaseProbe_.reset();
    }
    // A web container that stopped by itself has nothing more to say: looked at once a second.
    if (oaProbe_ && now - webServiceCheckedAt_ >= 1.0) {
        webServiceCheckedAt_ = now;
        std::int32_t state = 0, startType = 0;
        std::string binPath;
        const bool ok = QueryServiceInfo(os_.services(), kTomcatService, state, startType, binPath);
        if (ok && !CountsAsRunning(ok, state)) oaProbe_.reset();
    }
    if (oaProbe_) {
        if (const auto line = oaProbe_->Step(now, fromAnsi)) {
            log_.AddLineUnselected(*line);
            // "OA 已就绪（…）" or "OA 未就绪：…": the title, then the rest.
            const std::string title = oaProbe_->Ready() ? "OA 已就绪" : "OA 未就绪";
            std::string text = line->substr(title.size());
            if (text.rfind("：", 0) == 0) text.erase(0, std::string("：").size());
            ShowBalloon(title, text, oaProbe_->Ready() ? kNiifInfo : kNiifWarning);
        }
        if (oaProbe_->Over()) oaProbe_.reset();
    }
    if (!databaseProbe_ && !oaProbe_) return form_.setEnabled(IDC_tmProbe, false);
    // Between tries there is nothing to do: the timer sleeps until the next one is due.
    double idle = 1.0;
    for (const auto* probe : {databaseProbe_.get(), oaProbe_.get()})
        if (probe) idle = std::min(idle, probe->IdleFor(now));
    form_.setInterval(IDC_tmProbe, std::clamp(static_cast<int>(idle * 1000), 50, 1000));
}

// The OA application needs its database when it deploys: the whole system's start goes on to
// the web container once the database has answered, or been given up on (at most 60 s). The
// window stays live meanwhile; the probe's own timer moves it on.
void frmMain::WaitForDatabase() {
    while (databaseProbe_ && !Ending()) os_.windows().waitForEvents(kWaitSliceMs);
}

void frmMain::QuoteServerLog(Outcome& outcome, ServerLogWatch& serverLog,
                             const std::string& strPrefix) {
    if (outcome.ok || outcome.interrupted) return;
    const auto line = serverLog.ErrorLine([this](const std::string& b) { return FromAnsi(b); });
    if (!line) return;
    log_.AddLineUnselected(strPrefix + *line);
    outcome.reason += "\n" + strPrefix + *line;
}

}  // namespace oapanel
