// gethostbyname is the Winsock 1.1 call the program relies on; newer headers warn about it.
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#include "platform/win32/network.h"

#include <iphlpapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/record_size.h"
#include "platform/win32/text.h"

namespace win32 {

static_assert(sizeof(WSADATA) == recordSize(400, 408));  // the 64-bit one orders its fields anew
static_assert(sizeof(sockaddr_in) == 16);
static_assert(sizeof(MIB_TCPROW_OWNER_PID) == 24);

namespace {

constexpr int kNotInitialised = 10093;  // WSANOTINITIALISED
constexpr int kSystemNotReady = 10091;  // WSASYSNOTREADY

SOCKET toSocket(platform::Socket s) {
    return s == platform::kInvalidSocket ? INVALID_SOCKET : static_cast<SOCKET>(s);
}

sockaddr_in record(const platform::SockAddrIn& address) {
    sockaddr_in r{};
    r.sin_family = AF_INET;
    // Network byte order by hand: htons would be one more call into the library.
    const std::uint16_t port = address.port;
    std::memcpy(
        &r.sin_port,
        std::array<std::uint8_t, 2>{std::uint8_t(port >> 8), std::uint8_t(port & 0xFF)}.data(), 2);
    std::memcpy(&r.sin_addr, address.addr.data(), address.addr.size());
    return r;
}

}  // namespace

const Sockets::Functions* Sockets::call() {
    // What an earlier call left is not this call's news: a refusal nobody read would else
    // pass for the reason of the next try.
    lastError_ = 0;
    return functions();
}

const Sockets::Functions* Sockets::functions() {
    if (looked_) return functions_ ? &*functions_ : nullptr;
    looked_ = true;
    // ws2_32 loads iphlpapi by name when it first needs it (Wine delays the load, and a
    // delayed load there searches the exe's folder first): loaded from the system folder
    // before, the name finds it already there.
    libraries_.loadSystemLibrary("iphlpapi.dll");
    Functions f{};
    const char dll[] = "ws2_32.dll";
    f.startup = libraries_.function<decltype(f.startup)>(dll, "WSAStartup");
    f.cleanup = libraries_.function<decltype(f.cleanup)>(dll, "WSACleanup");
    f.hostByName = libraries_.function<decltype(f.hostByName)>(dll, "gethostbyname");
    f.open = libraries_.function<decltype(f.open)>(dll, "socket");
    f.bind = libraries_.function<decltype(f.bind)>(dll, "bind");
    f.close = libraries_.function<decltype(f.close)>(dll, "closesocket");
    f.ioctl = libraries_.function<decltype(f.ioctl)>(dll, "ioctlsocket");
    f.connect = libraries_.function<decltype(f.connect)>(dll, "connect");
    f.select = libraries_.function<decltype(f.select)>(dll, "select");
    f.send = libraries_.function<decltype(f.send)>(dll, "send");
    f.recv = libraries_.function<decltype(f.recv)>(dll, "recv");
    f.lastError = libraries_.function<decltype(f.lastError)>(dll, "WSAGetLastError");
    f.option = libraries_.function<decltype(f.option)>(dll, "getsockopt");
    if (f.startup && f.cleanup && f.hostByName && f.open && f.bind && f.close && f.ioctl &&
        f.connect && f.select && f.send && f.recv && f.lastError && f.option)
        functions_ = f;
    return functions_ ? &*functions_ : nullptr;
}

int Sockets::wsaStartup(std::uint16_t version, platform::WsaData& data) {
    const Functions* f = call();
    if (!f) return kSystemNotReady;
    WSADATA wsa{};
    const int result = f->startup(version, &wsa);
    if (result == 0) {
        data.wVersion = wsa.wVersion;
        data.iMaxSockets = static_cast<std::int16_t>(wsa.iMaxSockets);
    }
    return result;
}

int Sockets::wsaCleanup() {
    const Functions* f = call();
    return f ? f->cleanup() : platform::kSocketError;
}

bool Sockets::gethostbyname(const std::string& name, platform::HostEntry& entry) {
    const Functions* f = call();
    // The entry lives in the library's per-thread memory until the next call: copy it out now.
    const hostent* host = f ? f->hostByName(toAnsi(name).c_str()) : nullptr;
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
    const Functions* f = call();
    const SOCKET s = f ? f->open(af, type, protocol) : INVALID_SOCKET;
    return s == INVALID_SOCKET ? platform::kInvalidSocket : static_cast<platform::Socket>(s);
}

int Sockets::bind(platform::Socket s, const platform::SockAddrIn& address) {
    const Functions* f = call();
    const sockaddr_in r = record(address);
    return f ? f->bind(toSocket(s), reinterpret_cast<const sockaddr*>(&r), sizeof r)
             : platform::kSocketError;
}

int Sockets::closesocket(platform::Socket s) {
    const Functions* f = call();
    return f ? f->close(toSocket(s)) : platform::kSocketError;
}

int Sockets::setNonBlocking(platform::Socket s) {
    const Functions* f = call();
    u_long on = 1;
    return f ? f->ioctl(toSocket(s), static_cast<long>(FIONBIO), &on) : platform::kSocketError;
}

int Sockets::connect(platform::Socket s, const platform::SockAddrIn& address) {
    const Functions* f = call();
    const sockaddr_in r = record(address);
    return f ? f->connect(toSocket(s), reinterpret_cast<const sockaddr*>(&r), sizeof r)
             : platform::kSocketError;
}

int Sockets::select(platform::Socket s, bool forWriting, std::uint32_t timeoutMs) {
    const Functions* f = call();
    if (!f) return platform::kSocketError;
    // One socket per set: a set that still holds it after the call is the one that is ready.
    fd_set ready{}, failed{};
    ready.fd_count = failed.fd_count = 1;
    ready.fd_array[0] = failed.fd_array[0] = toSocket(s);
    timeval wait{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
    const int n = f->select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr,
                            forWriting ? &failed : nullptr, &wait);
    if (n <= 0) return n < 0 ? platform::kSocketError : 0;
    if (forWriting && failed.fd_count == 1) {
        // A connect that failed: its reason is kept by the socket, not by WSAGetLastError.
        int reason = 0, size = sizeof reason;
        f->option(toSocket(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&reason), &size);
        lastError_ = reason ? reason : WSAECONNREFUSED;
        return platform::kSocketError;
    }
    return ready.fd_count == 1 ? 1 : 0;
}

int Sockets::send(platform::Socket s, const std::string& bytes) {
    const Functions* f = call();
    const int length = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
    return f ? f->send(toSocket(s), bytes.data(), length, 0) : platform::kSocketError;
}

int Sockets::recv(platform::Socket s, std::string& bytes, std::size_t max) {
    const Functions* f = call();
    if (!f) return platform::kSocketError;
    const std::size_t was = bytes.size();
    bytes.resize(was + std::min<std::size_t>(max, 1 << 20));
    const int n = f->recv(toSocket(s), bytes.data() + was, static_cast<int>(bytes.size() - was), 0);
    bytes.resize(was + static_cast<std::size_t>(std::max(n, 0)));
    return n;
}

int Sockets::lastError() {
    if (lastError_) return lastError_;
    const Functions* f = functions();
    return f ? f->lastError() : kNotInitialised;
}

bool Sockets::listeningProcess(std::uint16_t port, std::uint32_t& processId) {
    lastError_ = 0;
    using TableFunction = decltype(&::GetExtendedTcpTable);
    const auto table = libraries_.function<TableFunction>("iphlpapi.dll", "GetExtendedTcpTable");
    if (!table) return false;
    // The table may grow between the size query and the read: ask again with the new size.
    std::vector<std::uint8_t> buffer(sizeof(MIB_TCPTABLE_OWNER_PID));
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    for (int round = 0; round < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++round) {
        DWORD size = static_cast<DWORD>(buffer.size());
        result = table(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0);
        if (result == ERROR_INSUFFICIENT_BUFFER) buffer.resize(size);
    }
    if (result != NO_ERROR) return false;
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = rows->table[i];
        // The port is in network byte order in the low 16 bits.
        const auto local = static_cast<std::uint16_t>(((row.dwLocalPort & 0xFF) << 8) |
                                                      ((row.dwLocalPort >> 8) & 0xFF));
        if (local != port) continue;
        processId = row.dwOwningPid;
        return true;
    }
    return false;
}

}  // namespace win32
