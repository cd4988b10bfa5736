// gethostbyname is the Winsock 1.1 call the program relies on; newer headers warn about it.
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#include "platform/win32/network.h"

#include <iphlpapi.h>

#include <cstring>
#include <vector>

#include "platform/win32/record_size.h"
#include "platform/win32/text.h"

namespace win32 {

static_assert(sizeof(WSADATA) == recordSize(400, 408));  // the 64-bit one orders its fields anew
static_assert(sizeof(sockaddr_in) == 16);
static_assert(sizeof(MIB_TCPROW_OWNER_PID) == 24);

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

bool Sockets::listeningProcess(std::uint16_t port, std::uint32_t& processId) {
    // The table may grow between the size query and the read: ask again with the new size.
    std::vector<std::uint8_t> buffer(sizeof(MIB_TCPTABLE_OWNER_PID));
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    for (int round = 0; round < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++round) {
        DWORD size = static_cast<DWORD>(buffer.size());
        result = ::GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET,
                                       TCP_TABLE_OWNER_PID_LISTENER, 0);
        if (result == ERROR_INSUFFICIENT_BUFFER) buffer.resize(size);
    }
    if (result != NO_ERROR) return false;
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = table->table[i];
        if (::ntohs(static_cast<u_short>(row.dwLocalPort)) != port) continue;
        processId = row.dwOwningPid;
        return true;
    }
    return false;
}

}  // namespace win32
