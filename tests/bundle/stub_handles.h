// Owners for the handles the stub servers open, so every early return closes them.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <utility>

namespace oapanel::stub {

template <typename Traits>
class Unique {
public:
    using Raw = typename Traits::Raw;

    Unique() = default;
    explicit Unique(Raw raw) : raw_(raw) {}
    Unique(Unique&& other) noexcept : raw_(std::exchange(other.raw_, Traits::invalid())) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) {
            reset();
            raw_ = std::exchange(other.raw_, Traits::invalid());
        }
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    Raw get() const { return raw_; }
    explicit operator bool() const { return raw_ != Traits::invalid(); }
    void reset() {
        if (*this) Traits::close(raw_);
        raw_ = Traits::invalid();
    }

private:
    Raw raw_ = Traits::invalid();
};

struct ScHandleTraits {
    using Raw = SC_HANDLE;
    static Raw invalid() { return nullptr; }
    static void close(Raw h) { CloseServiceHandle(h); }
};

// For handles whose failure value is NULL (events, threads), not INVALID_HANDLE_VALUE.
struct KernelHandleTraits {
    using Raw = HANDLE;
    static Raw invalid() { return nullptr; }
    static void close(Raw h) { CloseHandle(h); }
};

struct SocketTraits {
    using Raw = SOCKET;
    static Raw invalid() { return INVALID_SOCKET; }
    static void close(Raw s) { closesocket(s); }
};

using ScHandle = Unique<ScHandleTraits>;
using KernelHandle = Unique<KernelHandleTraits>;
using Socket = Unique<SocketTraits>;

// Winsock must be started before the first socket call and stopped after the last one.
class WsaSession {
public:
    WsaSession() {
        WSADATA data{};
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    WsaSession(const WsaSession&) = delete;
    WsaSession& operator=(const WsaSession&) = delete;
    ~WsaSession() {
        if (ok_) WSACleanup();
    }
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

}  // namespace oapanel::stub
