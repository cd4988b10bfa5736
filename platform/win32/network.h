#pragma once

// With WIN32_LEAN_AND_MEAN, <windows.h> leaves the old winsock.h out, so this may come after it.
#include <winsock2.h>
#include <windows.h>

#include <utility>

#include "platform/network.h"
#include "platform/win32/handles.h"

namespace win32 {

// Windows Sockets 1.1 as wsock32 exports it.
class Sockets : public platform::Sockets {
public:
    int wsaStartup(std::uint16_t version, platform::WsaData& data) override;
    int wsaCleanup() override;
    bool gethostbyname(const std::string& name, platform::HostEntry& entry) override;
    platform::Socket socket(int af, int type, int protocol) override;
    int bind(platform::Socket s, const platform::SockAddrIn& address) override;
    int closesocket(platform::Socket s) override;
    bool listeningProcess(std::uint16_t port, std::uint32_t& processId) override;
};

struct CloseSocketHandle {
    void operator()(SOCKET s) const { ::closesocket(s); }
};

// Owns a socket. Owned treats 0 as "none"; INVALID_SOCKET is not stored.
using SocketHandle = Owned<SOCKET, CloseSocketHandle>;

// Holds the socket library started for as long as it lives.
class WinsockStartup {
public:
    explicit WinsockStartup(WORD version = MAKEWORD(1, 1)) {
        started_ = ::WSAStartup(version, &data_) == 0;
    }
    WinsockStartup(const WinsockStartup&) = delete;
    WinsockStartup& operator=(const WinsockStartup&) = delete;
    ~WinsockStartup() {
        if (started_) ::WSACleanup();
    }
    bool started() const { return started_; }
    const WSADATA& data() const { return data_; }

private:
    WSADATA data_{};
    bool started_ = false;
};

}  // namespace win32
