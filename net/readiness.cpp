#include "net/readiness.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "net/probe_answers.h"

namespace oapanel {

namespace {

constexpr double kTryEvery = 1.0;
constexpr std::size_t kMostBytes = 4096;  // every reader decides long before
// A server on this machine answers within a few milliseconds: a step waits that long for the
// connection and for the answer, so that a try is mostly over in one step (each step costs
// calls into the socket library, and under Wine they are dear). Never more than the window can
// be held up unnoticed.
constexpr std::uint32_t kStepWaitMs = 40;

std::string Request(std::uint16_t port) {
    return "GET /oa/ HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUser-Agent: oapanel\r\nConnection: close\r\n\r\n";
}

}  // namespace

ReadinessProbe::ReadinessProbe(platform::Sockets& sockets, ServerKind kind, std::uint16_t port,
                               double startedAt, double now, StrangerCheck stranger, bool once)
    : sockets_(sockets),
      kind_(kind),
      port_(port),
      stranger_(std::move(stranger)),
      once_(once),
      startedAt_(startedAt),
      deadline_(now + (kind == ServerKind::Database ? 60.0 : 300.0)) {
    platform::WsaData data;
    winsock_ = sockets_.wsaStartup(0x0202, data) == 0;
}

ReadinessProbe::~ReadinessProbe() {
    EndTry();
    if (winsock_) sockets_.wsaCleanup();
}

void ReadinessProbe::EndTry() {
    socket_.reset();
    connected_ = false;
    received_.clear();
}

void ReadinessProbe::BeginTry(double now) {
    tryBegan_ = now;
    tryEnds_ = now + (kind_ == ServerKind::Database ? 2.0 : 3.0);
    socket_ = {sockets_, sockets_.socket(platform::kAfInet, platform::kSockStream, 0)};
    if (!socket_) return;
    // Always the loopback address, never the machine's LAN address: MySQL 5 counts handshakes cut
    // short per client host, and after max_connect_errors of them (10 by default) blocks that
    // host until FLUSH HOSTS. Only the loopback address is never counted, while a probe from the
    // LAN address would soon lock out the OA application itself.
    const platform::SockAddrIn to{port_, platform::kInAddrLoopback};
    if (sockets_.setNonBlocking(socket_.get()) != 0 ||
        (sockets_.connect(socket_.get(), to) != 0 &&
         sockets_.lastError() != platform::kWsaEWouldBlock))
        EndTry();
}

double ReadinessProbe::IdleFor(double now) const {
    if (socket_) return 0.1;
    if (once_ && tried_) return 0;
    return std::max(0.0, std::min(tryBegan_ + kTryEvery, deadline_) - now);
}

std::optional<ProbeResult> ReadinessProbe::Finish(ProbeResult result) {
    EndTry();
    over_ = true;
    return result;
}

std::optional<ProbeResult> ReadinessProbe::Step(double now, const AnsiDecoder& fromAnsi) {
    if (over_) return std::nullopt;
    if (socket_ && now > tryEnds_) EndTry();  // this try is over
    if (now >= deadline_ || (once_ && tried_ && !socket_)) {
        ProbeResult silent;
        silent.status = lastStatus_;
        return Finish(silent);
    }
    if (!socket_) {
        if (now - tryBegan_ < kTryEvery || !winsock_) return std::nullopt;
        BeginTry(now);
        tried_ = true;
        if (!socket_) return std::nullopt;
    }
    if (!connected_) {
        const int ready = sockets_.select(socket_.get(), true, kStepWaitMs);
        if (ready == platform::kSocketError) EndTry();  // refused: nobody listens yet
        if (ready != 1) return std::nullopt;
        connected_ = true;
        // The database speaks first; the web container is asked.
        if (kind_ == ServerKind::WebContainer &&
            sockets_.send(socket_.get(), Request(port_)) <= 0) {
            EndTry();
            return std::nullopt;
        }
    }
    // Whatever has arrived: the first look waits a little for the answer, the next ones not.
    for (std::uint32_t wait = kStepWaitMs; sockets_.select(socket_.get(), false, wait) == 1;
         wait = 0) {
        const int n = sockets_.recv(socket_.get(), received_, kMostBytes - received_.size());
        if (n <= 0 || received_.size() >= kMostBytes) return Decide(true, now, fromAnsi);
        if (auto line = Decide(false, now, fromAnsi)) return line;
        if (!socket_) return std::nullopt;
    }
    return std::nullopt;
}

std::optional<ProbeResult> ReadinessProbe::Decide(bool closed, double now,
                                                  const AnsiDecoder& fromAnsi) {
    ProbeResult result;
    result.seconds = static_cast<int>(std::floor(now - startedAt_));
    using Kind = ProbeResult::Kind;
    if (kind_ == ServerKind::Database) {
        const MysqlAnswer a = ReadMysqlAnswer(received_);
        switch (a.kind) {
            case MysqlAnswer::Kind::Greeting:
                result.kind = Kind::Ready, result.version = a.version;
                return Finish(result);
            case MysqlAnswer::Kind::Error:
                result.kind = Kind::ErrorPacket, result.code = a.code;
                result.message = ShownText(a.message, fromAnsi);
                return Finish(result);
            case MysqlAnswer::Kind::NotMysql:
                result.kind = Kind::NotTheServer;
                return Finish(result);
            case MysqlAnswer::Kind::NeedMore:
                break;
        }
    } else {
        const HttpAnswer a = ReadHttpAnswer(received_);
        const bool ready = a.kind == HttpAnswer::Kind::Status && a.status >= 200 && a.status <= 399;
        // Whatever answers must be the web container itself: another program on its port (a web
        // server of the machine's own, a proxy) would pass for OA, or hide why OA never comes.
        // Asked at the first answer and at the one that would make OA ready: reading the table
        // of listeners costs, and whoever holds the port keeps it meanwhile.
        if (a.kind == HttpAnswer::Kind::Status && stranger_ && (ready || !strangerAsked_)) {
            strangerAsked_ = true;
            if (const auto other = stranger_()) {
                result.kind = Kind::NotTheServer;
                result.ownerId = other->processId, result.ownerExe = other->exeName;
                return Finish(result);
            }
        }
        if (ready) {
            result.kind = Kind::Ready, result.status = a.status;
            return Finish(result);
        }
        if (a.kind == HttpAnswer::Kind::Status) lastStatus_ = a.status;
        // Not ready yet, or not an answer at all: the next try asks again.
        if (a.kind != HttpAnswer::Kind::NeedMore) EndTry();
    }
    // A connection closed before the answer was whole: another try.
    if (closed) EndTry();
    return std::nullopt;
}

}  // namespace oapanel
