// Windows Sockets (ws2_32): starting and stopping the library, the local host's addresses,
// binding a socket to find out whether a port is taken, and asking the servers on the
// loopback address whether they answer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A socket as the library hands it out; kInvalidSocket when none could be made.
using Socket = std::uintptr_t;
inline constexpr Socket kInvalidSocket = ~Socket{0};

inline constexpr std::uint16_t kWinsockVersion11 = 0x0101;  // major in the low byte
inline constexpr int kSocketError = -1;
inline constexpr int kAfInet = 2;
inline constexpr int kSockStream = 1;
inline constexpr int kWsaEWouldBlock = 10035;
inline constexpr int kWsaEConnRefused = 10061;

// The fields of WSADATA the program reads.
struct WsaData {
    std::uint16_t wVersion = 0;  // low byte the major, high byte the minor version in use
    std::int16_t iMaxSockets = 0;
};

// HOSTENT copied out of the library's memory: h_length bytes of each address, network order.
struct HostEntry {
    std::int16_t h_length = 0;
    std::vector<std::vector<std::uint8_t>> h_addr_list;
};

// sockaddr_in for AF_INET. The port is given in host order (the backend applies htons); the
// address bytes are in network order, as inet_addr gives them.
struct SockAddrIn {
    std::uint16_t port = 0;
    std::array<std::uint8_t, 4> addr{};
};

inline constexpr std::array<std::uint8_t, 4> kInAddrLoopback{127, 0, 0, 1};
inline constexpr std::array<std::uint8_t, 4> kInAddrAny{0, 0, 0, 0};

class Sockets {
public:
    virtual ~Sockets() = default;
    // WSAStartup: 0 on success, the error code otherwise. Each success needs a wsaCleanup.
    virtual int wsaStartup(std::uint16_t version, WsaData& data) = 0;
    // WSACleanup: 0, or kSocketError.
    virtual int wsaCleanup() = 0;
    // gethostbyname; false when the library gives no entry.
    virtual bool gethostbyname(const std::string& name, HostEntry& entry) = 0;
    virtual Socket socket(int af, int type, int protocol) = 0;
    // bind with an AF_INET record of 16 bytes: 0 when the address could be taken, else
    // kSocketError.
    virtual int bind(Socket s, const SockAddrIn& address) = 0;
    virtual int closesocket(Socket s) = 0;
    // ioctlsocket FIONBIO: connect, send and recv return at once from then on.
    virtual int setNonBlocking(Socket s) = 0;
    // connect to an AF_INET address: 0, or kSocketError with the reason in lastError()
    // (kWsaEWouldBlock while a non-blocking connect goes on).
    virtual int connect(Socket s, const SockAddrIn& address) = 0;
    // select on this one socket for at most timeoutMs: for writing (a connect has completed)
    // or for reading (bytes, or the peer's close, are there). 1 ready, 0 not yet, kSocketError
    // on an error; a connect that failed is one (the except set), its reason in lastError().
    virtual int select(Socket s, bool forWriting, std::uint32_t timeoutMs) = 0;
    // send: the bytes sent, or kSocketError.
    virtual int send(Socket s, const std::string& bytes) = 0;
    // recv of at most `max` bytes, appended to `bytes`: their count, 0 once the peer has
    // closed, or kSocketError.
    virtual int recv(Socket s, std::string& bytes, std::size_t max) = 0;
    // WSAGetLastError.
    virtual int lastError() = 0;
    // From the table of listening TCP endpoints with their owning process
    // (GetExtendedTcpTable, TCP_TABLE_OWNER_PID_LISTENER): the process listening on the port,
    // on any local address. False when the table cannot be read or nothing listens there.
    virtual bool listeningProcess(std::uint16_t port, std::uint32_t& processId) = 0;
};

}  // namespace platform
