// The stub servers' listener: accepts on 127.0.0.1 on a thread of its own, until destroyed.
#pragma once

#include "stub_handles.h"
#include "stub_logic.h"

#include <atomic>
#include <optional>
#include <string>

namespace oapanel::stub {

class Server {
public:
    // With `http` set, each connection gets an answer from http_reply(); without it,
    // connections are accepted and closed, which is all a port probe needs.
    Server(Socket listener, bool http)
        : listener_(std::move(listener)),
          http_(http),
          thread_(CreateThread(nullptr, 0, &Server::run, this, 0, nullptr)) {}
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    // Asks serve() to stop and waits for its thread (no std::jthread in the win32-threads
    // runtime).
    ~Server() {
        stop_ = true;
        if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
    }

    static std::optional<Socket> listen_on_loopback(u_short port, int& error) {
        Socket s{socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)};
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const BOOL exclusive = TRUE;  // a second server on the port must fail, not share it
        if (s) {
            setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                       reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
        }
        if (!s || bind(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(s.get(), SOMAXCONN) != 0) {
            error = WSAGetLastError();
            return std::nullopt;
        }
        return s;
    }

private:
    // Waits up to 100 ms for `s` to become readable, so the loops below notice a stop
    // request promptly whatever the clients do.
    static bool readable_soon(const Socket& s) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(s.get(), &ready);
        timeval timeout{0, 100 * 1000};
        const int n = select(0, &ready, nullptr, nullptr, &timeout);
        if (n == SOCKET_ERROR) Sleep(100);
        return n > 0;
    }

    static DWORD WINAPI run(void* self) {
        static_cast<Server*>(self)->serve();
        return 0;
    }

    void serve() {
        while (!stop_) {
            if (!readable_soon(listener_)) continue;
            Socket client{accept(listener_.get(), nullptr, nullptr)};
            if (client && http_) answer_http(client, stop_);
        }
    }

    static void answer_http(const Socket& client, const std::atomic<bool>& stop) {
        // A silent client gets two seconds, so it cannot hold up the accept loop for long.
        const auto deadline = GetTickCount64() + 2000;
        std::string request;
        char buf[1024];
        while (request.size() < 8192 && request.find("\r\n\r\n") == std::string::npos) {
            if (stop || GetTickCount64() >= deadline) return;
            if (!readable_soon(client)) continue;
            const int got = recv(client.get(), buf, sizeof buf, 0);
            if (got <= 0) break;
            request.append(buf, std::size_t(got));
        }
        if (request.empty()) return;
        const std::string reply = http_reply(request);
        for (std::size_t sent = 0; sent < reply.size();) {
            const int n = send(client.get(), reply.data() + sent, int(reply.size() - sent), 0);
            if (n <= 0) break;
            sent += std::size_t(n);
        }
        shutdown(client.get(), SD_SEND);
    }

    Socket listener_;
    bool http_;
    std::atomic<bool> stop_{false};
    KernelHandle thread_;  // last: the thread starts once everything it reads exists
};

}  // namespace oapanel::stub
