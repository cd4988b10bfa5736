// The simulated network: the local host's addresses and the ports other programs hold, with
// the bind rules of Windows, so a port check sees what it would see on a real machine.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/network.h"

namespace fake {

// From fake_platform.h, which includes this header.
using CallLog = std::vector<std::string>;
class Faults;

class FakeSockets : public platform::Sockets {
public:
    using Address = std::array<std::uint8_t, 4>;

    FakeSockets(CallLog& calls, Faults& faults) : calls_(calls), faults_(faults) {}

    // The local host as gethostbyname("") lists it; unresolvable: no entry at all.
    std::vector<std::vector<std::uint8_t>> hostAddresses{{192, 168, 1, 5}};
    bool resolvable = true;
    // What a successful WSAStartup reports.
    std::uint16_t versionInUse = platform::kWinsockVersion11;
    std::int16_t maxSockets = 32767;

    // Another program holds the port on one address. On the wildcard address 0.0.0.0 it
    // keeps others off every address only when it asked for exclusive use
    // (SO_EXCLUSIVEADDRUSE); otherwise Windows still lets a bind to a single address through.
    void hold(const Address& address, std::uint16_t port, bool exclusive = false);
    void holdLoopback(std::uint16_t port) { hold(platform::kInAddrLoopback, port); }
    void holdWildcard(std::uint16_t port, bool exclusive = false) {
        hold(platform::kInAddrAny, port, exclusive);
    }

    // Successful WSAStartup calls not yet matched by a WSACleanup.
    int startups() const { return startups_; }
    // Sockets created and not yet closed.
    std::size_t openSockets() const { return open_.size(); }
    // Every bind attempted, as "127.0.0.1:3307".
    std::vector<std::string> binds;

    // "WSAStartup", "WSACleanup", "gethostbyname", "socket" and "bind" fail when set to in
    // the machine's Faults; WSAStartup then returns the error given there.
    int wsaStartup(std::uint16_t version, platform::WsaData& data) override;
    int wsaCleanup() override;
    bool gethostbyname(const std::string& name, platform::HostEntry& entry) override;
    platform::Socket socket(int af, int type, int protocol) override;
    int bind(platform::Socket s, const platform::SockAddrIn& address) override;
    int closesocket(platform::Socket s) override;

private:
    struct Binding {
        Address address;
        std::uint16_t port;
        bool exclusive;
    };
    bool conflicts(const Binding& wanted) const;

    CallLog& calls_;
    Faults& faults_;
    int startups_ = 0;
    std::vector<Binding> held_;                                // by other programs
    std::map<platform::Socket, std::optional<Binding>> open_;  // ours, bound or not yet
    platform::Socket next_ = 0x200;
};

}  // namespace fake
