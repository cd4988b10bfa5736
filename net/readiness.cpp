#include "net/readiness.h"

#include <algorithm>
#include <cmath>

#include "net/probe_answers.h"

namespace oapanel {

namespace {

constexpr std::uint16_t kDatabasePort = 3307, kWebPort = 8080;
constexpr double kTryEvery = 1.0;
constexpr std::size_t kMostBytes = 4096;  // every reader decides long before
const char kRequest[] =
    "GET /oa/ HTTP/1.0\r\nHost: 127.0.0.1:8080\r\nUser-Agent: oapanel\r\nConnection: close\r\n\r\n";

}  // namespace

ReadinessProbe::ReadinessProbe(platform::Sockets& sockets, ProbeKind kind, double startedAt,
                               double now)
    : sockets_(sockets),
      kind_(kind),
      startedAt_(startedAt),
      deadline_(now + (kind == ProbeKind::Database ? 60.0 : 300.0)) {
    platform::WsaData data;
    winsock_ = sockets_.wsaStartup(0x0202, data) == 0;
}

ReadinessProbe::~ReadinessProbe() {
    EndTry();
    if (winsock_) sockets_.wsaCleanup();
}

void ReadinessProbe::EndTry() {
    if (socket_ != platform::kInvalidSocket) sockets_.closesocket(socket_);
    socket_ = platform::kInvalidSocket;
    connected_ = false;
    received_.clear();
}

void ReadinessProbe::BeginTry(double now) {
    tryBegan_ = now;
    tryEnds_ = now + (kind_ == ProbeKind::Database ? 2.0 : 3.0);
    socket_ = sockets_.socket(platform::kAfInet, platform::kSockStream, 0);
    if (socket_ == platform::kInvalidSocket) return;
    const platform::SockAddrIn to{kind_ == ProbeKind::Database ? kDatabasePort : kWebPort,
                                  platform::kInAddrLoopback};
    if (sockets_.setNonBlocking(socket_) != 0 ||
        (sockets_.connect(socket_, to) != 0 && sockets_.lastError() != platform::kWsaEWouldBlock))
        EndTry();
}

double ReadinessProbe::IdleFor(double now) const {
    if (socket_ != platform::kInvalidSocket) return 0.1;
    return std::max(0.0, std::min(tryBegan_ + kTryEvery, deadline_) - now);
}

std::optional<std::string> ReadinessProbe::Finish(std::string line, bool ready) {
    EndTry();
    over_ = true;
    ready_ = ready;
    return line;
}

std::optional<std::string> ReadinessProbe::Step(double now, const AnsiDecoder& fromAnsi) {
    if (over_) return std::nullopt;
    if (socket_ != platform::kInvalidSocket && now > tryEnds_) EndTry();  // this try is over
    if (now >= deadline_) {
        if (kind_ == ProbeKind::Database)
            return Finish("MySQL 未就绪：端口 3307 60 秒内未应答", false);
        if (lastStatus_)
            return Finish("OA 未就绪：/oa 仍返回 HTTP " + std::to_string(lastStatus_), false);
        return Finish("OA 未就绪：300 秒内 /oa 未应答", false);
    }
    if (socket_ == platform::kInvalidSocket) {
        if (now - tryBegan_ < kTryEvery || !winsock_) return std::nullopt;
        BeginTry(now);
        if (socket_ == platform::kInvalidSocket) return std::nullopt;
    }
    if (!connected_) {
        const int ready = sockets_.select(socket_, true, 0);
        if (ready == platform::kSocketError) EndTry();  // refused: nobody listens yet
        if (ready != 1) return std::nullopt;
        connected_ = true;
        // The database speaks first; the web container is asked.
        if (kind_ == ProbeKind::WebApplication && sockets_.send(socket_, kRequest) <= 0) {
            EndTry();
            return std::nullopt;
        }
    }
    // Whatever has arrived, without waiting for more.
    while (sockets_.select(socket_, false, 0) == 1) {
        const int n = sockets_.recv(socket_, received_, kMostBytes - received_.size());
        if (n <= 0 || received_.size() >= kMostBytes) return Decide(true, now, fromAnsi);
        if (auto line = Decide(false, now, fromAnsi)) return line;
        if (socket_ == platform::kInvalidSocket) return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> ReadinessProbe::Decide(bool closed, double now,
                                                  const AnsiDecoder& fromAnsi) {
    const std::string took =
        "用时 " + std::to_string(static_cast<long long>(std::floor(now - startedAt_))) + " 秒）";
    if (kind_ == ProbeKind::Database) {
        const MysqlAnswer a = ReadMysqlAnswer(received_);
        switch (a.kind) {
            case MysqlAnswer::Kind::Greeting:
                return Finish("MySQL 已就绪（" + a.version + "，" + took, true);
            case MysqlAnswer::Kind::Error:
                return Finish("MySQL 未就绪：错误 " + std::to_string(a.code) + "：" +
                                  ShownText(a.message, fromAnsi),
                              false);
            case MysqlAnswer::Kind::NotMysql:
                return Finish("MySQL 未就绪：端口 3307 上的程序不是 MySQL", false);
            case MysqlAnswer::Kind::NeedMore:
                break;
        }
    } else {
        const HttpAnswer a = ReadHttpAnswer(received_);
        if (a.kind == HttpAnswer::Kind::Status && a.status >= 200 && a.status <= 399)
            return Finish("OA 已就绪（HTTP " + std::to_string(a.status) + "，" + took, true);
        if (a.kind == HttpAnswer::Kind::Status) lastStatus_ = a.status;
        // Not ready yet, or not an answer at all: the next try asks again.
        if (a.kind != HttpAnswer::Kind::NeedMore) EndTry();
    }
    // A connection closed before the answer was whole: another try.
    if (closed) EndTry();
    return std::nullopt;
}

}  // namespace oapanel
