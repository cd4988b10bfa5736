// gethostbyname is the Winsock 1.1 call the program relies on; newer headers warn about it.
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#include "platform/win32/network.h"

#include <cstring>

#include "platform/win32/record_size.h"
#include "platform/win32/text.h"

namespace win32 {

static_assert(sizeof(WSADATA) == recordSize(400, 408));  // the 64-bit one orders its fields anew
static_assert(sizeof(sockaddr_in) == 16);

namespace {

SOCKET toSocket(platform::Socket s) {
    return s == platform::kInvalidSocket ? INVALID_SOCKET : static_cast<SOCKET>(s);
}

}  // namespace

int Sockets::wsaStartup(std::uint16_t version, platform::WsaData& data) {
    WSADATA wsa{};
    const int result = ::WSAStartup(version, &wsa);
    if (result == 0) {
        data.wVersion = wsa.wVersion;
        data.iMaxSockets = static_cast<std::int16_t>(wsa.iMaxSockets);
    }
    return result;
}

int Sockets::wsaCleanup() { return ::WSACleanup(); }

bool Sockets::gethostbyname(const std::string& name, platform::HostEntry& entry) {
    // The entry lives in the library's per-thread memory until the next call: copy it out now.
    const hostent* host = ::gethostbyname(toAnsi(name).c_str());
    if (!host) return false;
    entry.h_length = host->h_length;
    entry.h_addr_list.clear();
    const std::size_t length = host->h_length > 0 ? static_cast<std::size_t>(host->h_length) : 0;
    for (char** address = host->h_addr_list; address && *address; ++address) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(*address);
        entry.h_addr_list.emplace_back(bytes, bytes + length);
    }
    return true;
}

platform::Socket Sockets::socket(int af, int type, int protocol) {
    const SOCKET s = ::socket(af, type, protocol);
    return s == INVALID_SOCKET ? platform::kInvalidSocket : static_cast<platform::Socket>(s);
}

int Sockets::bind(platform::Socket s, const platform::SockAddrIn& address) {
    sockaddr_in record{};
    record.sin_family = AF_INET;
    record.sin_port = ::htons(address.port);
    std::memcpy(&record.sin_addr, address.addr.data(), address.addr.size());
    return ::bind(toSocket(s), reinterpret_cast<const sockaddr*>(&record), sizeof record);
}

int Sockets::closesocket(platform::Socket s) { return ::closesocket(toSocket(s)); }

}  // namespace win32
