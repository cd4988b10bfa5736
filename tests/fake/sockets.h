// Winsock: start-up, name lookup, the table of listeners, and connections to servers on
// loopback ports that answer in virtual time.
#pragma once

#include <array>
#include <cmath>

#include "tests/fake/application.h"

namespace fake {

// Sockets with Windows' bind rules: a program holding a port on one address keeps others off
// that address; one on the wildcard address keeps them off all only with exclusive use. Servers
// on loopback ports answer connections in virtual time; a call that would block moves the clock
// on without pumping, and the longest such block is kept (the window is frozen meanwhile).
class FakeSockets : public Recording<P::Sockets> {
public:
    using Address = std::array<std::uint8_t, 4>;
    // What a server does with a connection: `delay` seconds after it, it sends what `answer`
    // makes of the bytes received by then (all at once, or `rate` bytes a second), then closes
    // unless told to stay.
    struct Server {
        std::function<std::string(const std::string& request)> answer;
        double delay = 0, rate = 0;
        bool staysOpen = false;
    };
    FakeSockets(Record& r, FakeClock& clock) : Recording(r), clock_(clock) {}
    std::map<std::uint16_t, Server> servers;  // by loopback port
    double longestBlock = 0;                  // seconds a call held the window up

    std::vector<std::vector<std::uint8_t>> hostAddresses{{192, 168, 1, 5}};
    bool resolvable = true, tableReadable = true;
    std::uint16_t versionInUse = P::kWinsockVersion11;
    std::int16_t maxSockets = 32767;
    std::map<std::uint16_t, std::uint32_t> listeners;  // port -> owner, as the table says
    int startups = 0;  // successful WSAStartup calls not yet matched by a WSACleanup
    void hold(const Address& address, std::uint16_t port, bool exclusive = false) {
        held_.push_back({address, port, exclusive, 0});
    }
    std::size_t openSockets() const { return open_.size(); }

    int wsaStartup(std::uint16_t version, P::WsaData& data) override {
        std::uint32_t error = 0;
        if (r_.call("WSAStartup " + Hex(version), &error)) return int(error);
        data = {versionInUse, maxSockets};
        return ++startups, 0;
    }
    int wsaCleanup() override {  // without a start-up to match: WSANOTINITIALISED
        return r_.call("WSACleanup") || startups == 0 ? P::kSocketError : (--startups, 0);
    }
    bool gethostbyname(const std::string& name, P::HostEntry& entry) override {
        return !r_.call("gethostbyname " + name) && startups && resolvable &&
               (entry = {4, hostAddresses}, true);
    }
    P::Socket socket(int af, int type, int protocol) override {
        const std::string call = "socket " + std::to_string(af) + " " + std::to_string(type) + " " +
                                 std::to_string(protocol);
        if (r_.call(call) || !startups || af != P::kAfInet || type != P::kSockStream)
            return P::kInvalidSocket;
        open_.try_emplace(next_);
        return next_++;
    }
    int bind(P::Socket s, const P::SockAddrIn& a) override {
        const std::string at = std::to_string(a.addr[0]) + "." + std::to_string(a.addr[1]) + "." +
                               std::to_string(a.addr[2]) + "." + std::to_string(a.addr[3]) + ":" +
                               std::to_string(a.port);
        const auto clash = [&](const Binding& b) {  // a socket binds once
            return b.owner == s ||
                   (b.port == a.port && (b.address == a.addr || a.addr == P::kInAddrAny ||
                                         (b.address == P::kInAddrAny && b.exclusive)));
        };
        if (r_.call("bind " + at) || !open_.count(s) || std::ranges::any_of(held_, clash))
            return P::kSocketError;
        held_.push_back({a.addr, a.port, false, s});
        return 0;
    }
    int closesocket(P::Socket s) override {
        r_.call("closesocket");
        std::erase_if(held_, [&](const Binding& b) { return b.owner == s; });
        return open_.erase(s) ? 0 : P::kSocketError;
    }
    int setNonBlocking(P::Socket s) override {
        return open_.count(s) ? (open_[s].nonBlocking = true, 0) : P::kSocketError;
    }
    int connect(P::Socket s, const P::SockAddrIn& a) override {
        if (r_.call("connect " + std::to_string(a.port)) || !open_.count(s))
            return lastError_ = 10038, P::kSocketError;  // WSAENOTSOCK
        Link& l = open_[s];
        const auto it = servers.find(a.port);
        l.server = a.addr == P::kInAddrLoopback && it != servers.end() ? &it->second : nullptr;
        l.since = clock_.monotonic;
        if (l.nonBlocking) return lastError_ = P::kWsaEWouldBlock, P::kSocketError;
        return l.server ? 0 : (lastError_ = P::kWsaEConnRefused, P::kSocketError);
    }
    int select(P::Socket s, bool forWriting, std::uint32_t timeoutMs) override {
        if (r_.call(std::string("select ") + (forWriting ? "write" : "read")) || !open_.count(s))
            return lastError_ = 10038, P::kSocketError;
        Link& l = open_[s];
        if (forWriting && !l.server) return lastError_ = P::kWsaEConnRefused, P::kSocketError;
        return Block(l, forWriting, timeoutMs / 1000.0);
    }
    int send(P::Socket s, const std::string& bytes) override {
        if (r_.call("send") || !open_.count(s) || !open_[s].server)
            return lastError_ = 10057, P::kSocketError;  // WSAENOTCONN
        open_[s].request += bytes;
        return int(bytes.size());
    }
    int recv(P::Socket s, std::string& bytes, std::size_t max) override {
        if (r_.call("recv") || !open_.count(s) || !open_[s].server)
            return lastError_ = 10057, P::kSocketError;
        Link& l = open_[s];
        if (!Block(l, false, l.nonBlocking ? 0 : 3600))
            return lastError_ = P::kWsaEWouldBlock, P::kSocketError;
        const std::size_t n = std::min(max, Available(l) - l.taken);
        bytes.append(l.answer, l.taken, n);
        l.taken += n;
        return int(n);
    }
    int lastError() override { return lastError_; }
    bool listeningProcess(std::uint16_t port, std::uint32_t& pid) override {
        return !r_.call("GetExtendedTcpTable") && tableReadable && listeners.count(port) &&
               (pid = listeners[port], true);
    }

private:
    struct Binding {  // a port taken on an address, by one of our sockets or another program
        Address address;
        std::uint16_t port;
        bool exclusive;
        P::Socket owner;  // 0: another program
    };
    struct Link {  // an open socket, and its connection to one of the servers
        bool nonBlocking = false;
        const Server* server = nullptr;  // none: refused
        double since = 0;
        std::string request, answer;
        bool answered = false;
        std::size_t taken = 0;  // bytes received
    };
    std::size_t Available(Link& l) {  // bytes the server has sent by now
        const double elapsed = clock_.monotonic - l.since - l.server->delay;
        if (elapsed < 0) return 0;
        if (!std::exchange(l.answered, true))
            l.answer = l.server->answer ? l.server->answer(l.request) : "";
        if (l.server->rate <= 0) return l.answer.size();
        return std::min(l.answer.size(), static_cast<std::size_t>(elapsed * l.server->rate));
    }
    // When the socket is ready for the call: now, later, or never (infinity).
    double ReadyAt(Link& l, bool forWriting) {
        const double now = clock_.monotonic;
        if (forWriting || !l.server) return now;
        const double first = l.since + l.server->delay;
        if (now < first) return first;
        if (l.taken < Available(l)) return now;
        if (l.taken < l.answer.size()) return first + (l.taken + 1) / l.server->rate;
        return l.server->staysOpen ? HUGE_VAL : now;  // the close is news too
    }
    // The window's thread sits in the call: time passes, and no event is handled meanwhile.
    int Block(Link& l, bool forWriting, double seconds) {
        const double wait = std::min(ReadyAt(l, forWriting) - clock_.monotonic, seconds);
        if (wait > 0) clock_.monotonic += wait + 1e-9;
        longestBlock = std::max(longestBlock, wait);
        return ReadyAt(l, forWriting) <= clock_.monotonic ? 1 : 0;
    }
    FakeClock& clock_;
    int lastError_ = 0;
    std::vector<Binding> held_;
    std::map<P::Socket, Link> open_;
    P::Socket next_ = 0x200;
};

// The first packet a MySQL server sends: protocol 10, its version, then fields nobody reads.
inline std::string MysqlGreeting(const std::string& version) {
    std::string payload = "\x0A" + version + std::string(1, '\0') + std::string(44, '\x01');
    const auto n = payload.size();
    return std::string{char(n & 0xFF), char(n >> 8), char(0), char(0)} + payload;
}

}  // namespace fake
