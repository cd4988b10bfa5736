#pragma once

// With WIN32_LEAN_AND_MEAN, <windows.h> leaves the old winsock.h out, so this may come after it.
#include <winsock2.h>
#include <windows.h>

#include <optional>

#include "platform/network.h"
#include "platform/win32/libraries.h"

namespace win32 {

// Windows Sockets from ws2_32, and the table of listeners from iphlpapi, both loaded from the
// system folder on first use. Without them every call fails as the library's own calls fail.
class Sockets : public platform::Sockets {
public:
    explicit Sockets(Libraries& libraries) : libraries_(libraries) {}

    int wsaStartup(std::uint16_t version, platform::WsaData& data) override;
    int wsaCleanup() override;
    bool gethostbyname(const std::string& name, platform::HostEntry& entry) override;
    platform::Socket socket(int af, int type, int protocol) override;
    int bind(platform::Socket s, const platform::SockAddrIn& address) override;
    int closesocket(platform::Socket s) override;
    int setNonBlocking(platform::Socket s) override;
    int connect(platform::Socket s, const platform::SockAddrIn& address) override;
    int select(platform::Socket s, bool forWriting, std::uint32_t timeoutMs) override;
    int send(platform::Socket s, const std::string& bytes) override;
    int recv(platform::Socket s, std::string& bytes, std::size_t max) override;
    int lastError() override;
    bool listeningProcess(std::uint16_t port, std::uint32_t& processId) override;

    // Every function the program calls, all found or none used.
    struct Functions {
        decltype(&::WSAStartup) startup;
        decltype(&::WSACleanup) cleanup;
        decltype(&::gethostbyname) hostByName;
        decltype(&::socket) open;
        decltype(&::bind) bind;
        decltype(&::closesocket) close;
        decltype(&::ioctlsocket) ioctl;
        decltype(&::connect) connect;
        decltype(&::select) select;
        decltype(&::send) send;
        decltype(&::recv) recv;
        decltype(&::WSAGetLastError) lastError;
        decltype(&::getsockopt) option;
    };

private:
    const Functions* functions();
    // functions(), for an operation: it forgets the error an earlier one kept.
    const Functions* call();

    Libraries& libraries_;
    std::optional<Functions> functions_;
    bool looked_ = false;
    int lastError_ = 0;  // a failed connect's reason, which WSAGetLastError does not give
};

}  // namespace win32
