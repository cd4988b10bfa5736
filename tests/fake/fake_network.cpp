#include "tests/fake/fake_network.h"

#include <cstdio>

#include "tests/fake/fake_platform.h"

namespace fake {

namespace {

constexpr std::uint32_t kWsaSysNotReady = 10091;

std::string text(const FakeSockets::Address& a, std::uint16_t port) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]) + ":" + std::to_string(port);
}

bool isWildcard(const FakeSockets::Address& a) { return a == platform::kInAddrAny; }

}  // namespace

void FakeSockets::hold(const Address& address, std::uint16_t port, bool exclusive) {
    held_.push_back({address, port, exclusive});
}

int FakeSockets::wsaStartup(std::uint16_t version, platform::WsaData& data) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", version);
    calls_.push_back(std::string("WSAStartup ") + hex);
    std::uint32_t error = kWsaSysNotReady;
    if (faults_.check("WSAStartup", error)) return static_cast<int>(error);
    ++startups_;
    data.wVersion = versionInUse;
    data.iMaxSockets = maxSockets;
    return 0;
}

int FakeSockets::wsaCleanup() {
    calls_.push_back("WSACleanup");
    std::uint32_t error = 0;
    // Without a start-up to match, the library answers WSANOTINITIALISED.
    if (startups_ == 0 || faults_.check("WSACleanup", error)) return platform::kSocketError;
    --startups_;
    return 0;
}

bool FakeSockets::gethostbyname(const std::string& name, platform::HostEntry& entry) {
    calls_.push_back("gethostbyname " + name);
    std::uint32_t error = 0;
    if (startups_ == 0 || !resolvable || faults_.check("gethostbyname", error)) return false;
    entry.h_length = 4;
    entry.h_addr_list = hostAddresses;
    return true;
}

platform::Socket FakeSockets::socket(int af, int type, int protocol) {
    calls_.push_back("socket " + std::to_string(af) + " " + std::to_string(type) + " " +
                     std::to_string(protocol));
    std::uint32_t error = 0;
    if (startups_ == 0 || af != platform::kAfInet || type != platform::kSockStream ||
        faults_.check("socket", error))
        return platform::kInvalidSocket;
    const platform::Socket s = next_++;
    open_[s] = std::nullopt;
    return s;
}

bool FakeSockets::conflicts(const Binding& wanted) const {
    auto clash = [&](const Binding& b) {
        if (b.port != wanted.port) return false;
        if (b.address == wanted.address) return true;
        // The wildcard needs the port on every address; a single address is kept off only
        // by an exclusive wildcard holder.
        if (isWildcard(wanted.address)) return true;
        return isWildcard(b.address) && b.exclusive;
    };
    for (const auto& b : held_)
        if (clash(b)) return true;
    for (const auto& [s, b] : open_)
        if (b && clash(*b)) return true;
    return false;
}

int FakeSockets::bind(platform::Socket s, const platform::SockAddrIn& address) {
    calls_.push_back("bind " + text(address.addr, address.port));
    binds.push_back(text(address.addr, address.port));
    auto it = open_.find(s);
    std::uint32_t error = 0;
    if (it == open_.end() || it->second || faults_.check("bind", error))
        return platform::kSocketError;
    const Binding wanted{address.addr, address.port, false};
    if (conflicts(wanted)) return platform::kSocketError;
    it->second = wanted;
    return 0;
}

int FakeSockets::closesocket(platform::Socket s) {
    calls_.push_back("closesocket");
    return open_.erase(s) ? 0 : platform::kSocketError;
}

}  // namespace fake
