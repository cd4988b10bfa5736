#include "services/port_check.h"

#include <utility>

#include "base/owner.h"

namespace oapanel {

namespace {

using SocketHandle = Owner<platform::Sockets, &platform::Sockets::closesocket, platform::Socket,
                           platform::kInvalidSocket>;

// The library is cleaned up whether its start-up succeeded or not.
class WinsockSession {
public:
    explicit WinsockSession(platform::Sockets& sockets) : sockets_(sockets) {
        platform::WsaData data;
        started_ = sockets_.wsaStartup(platform::kWinsockVersion11, data) == 0;
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    ~WinsockSession() { sockets_.wsaCleanup(); }
    bool started() const { return started_; }

private:
    platform::Sockets& sockets_;
    bool started_ = false;
};

// A socket that cannot be created counts as a failed bind. The socket is closed before the
// next bind, so it never stands in that bind's way.
bool BindFails(platform::Sockets& sockets, const std::array<std::uint8_t, 4>& address,
               std::uint16_t port) {
    SocketHandle s(sockets, sockets.socket(platform::kAfInet, platform::kSockStream, 0));
    return sockets.bind(s.get(), {port, address}) != 0;
}

bool PortInUse(platform::Sockets& sockets, std::uint16_t port) {
    // Windows lets a bind to 127.0.0.1 through while another program holds the port on all
    // addresses (unless it asked for exclusive use), so the wildcard is tried as well.
    return BindFails(sockets, platform::kInAddrLoopback, port) ||
           BindFails(sockets, platform::kInAddrAny, port);
}

}  // namespace

std::optional<PortOwner> FindPortOwner(platform::Platform& os, std::uint16_t port) {
    PortOwner owner;
    if (!os.sockets().listeningProcess(port, owner.processId)) return std::nullopt;
    if (owner.processId != 0) owner.exeName = os.processes().processName(owner.processId);
    return owner;
}

std::int16_t CheckPorts(platform::Sockets& sockets, std::uint16_t iFirstPort,
                        std::uint16_t iSecondPort) {
    std::int16_t code = 0;
    WinsockSession session(sockets);
    if (!session.started()) return code;
    if (PortInUse(sockets, iFirstPort)) code += kFirstPortInUse;
    if (PortInUse(sockets, iSecondPort)) code += kSecondPortInUse;
    return code;
}

}  // namespace oapanel
