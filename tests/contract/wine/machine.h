// The real machine under Wine, as the contract cases see it: the Windows backend, arranged
// through Windows itself.
#pragma once

#include <string>

#include "platform/win32/win32_platform.h"

namespace contract {

struct Machine {
    win32::Libraries libraries;
    win32::Platform os{::GetModuleHandleW(nullptr), libraries};

    ~Machine() {
        if (!thread_) return;
        ::WaitForSingleObject(thread_, 10000);
        ::CloseHandle(thread_);
        ::closesocket(listener_);
        ::WSACleanup();
    }
    // A server on loopback that sends the bytes to the first who connects, then closes.
    std::uint16_t serve(const std::string& bytes) {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        served_ = bytes;
        const std::uint16_t port = bound(listener_);
        ::listen(listener_, 1);
        thread_ = ::CreateThread(nullptr, 0, &Machine::answer, this, 0, nullptr);
        return port;
    }
    // A port nobody listens on any more: one the system just handed out, listened on and took
    // back.
    std::uint16_t unusedPort() {
        SOCKET s;
        const std::uint16_t port = bound(s);
        ::listen(s, 1);
        ::closesocket(s);
        return port;
    }
    std::string systemFolder() {
        char path[MAX_PATH] = {};
        return std::string(path, ::GetSystemDirectoryA(path, MAX_PATH));
    }
    // A fresh folder of the test's own.
    std::string folder() {
        ::CreateDirectoryA("C:\\oapanel-contract", nullptr);
        return "C:\\oapanel-contract";
    }
    void hardLink(const std::string& path, const std::string& target) {
        ::DeleteFileA(path.c_str());
        ::CreateHardLinkA(path.c_str(), target.c_str(), nullptr);
    }
    // The bundle's database server, as a copy of its own: it writes its log beside itself.
    std::string databaseServer() {
        ::CopyFileA(OAPANEL_BUNDLE_DIR "/mysql5/bin/mysqld2.exe", "C:\\mysqld2.exe", FALSE);
        return "C:\\mysqld2.exe";
    }

private:
    // A new socket, bound to a port the system picks on loopback: that port.
    static std::uint16_t bound(SOCKET& s) {
        s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof at;
        ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &size);
        return ntohs(at.sin_port);
    }
    static DWORD WINAPI answer(void* self) {
        auto* m = static_cast<Machine*>(self);
        const SOCKET peer = ::accept(m->listener_, nullptr, nullptr);
        ::send(peer, m->served_.data(), static_cast<int>(m->served_.size()), 0);
        ::shutdown(peer, SD_SEND);
        ::Sleep(200);
        return ::closesocket(peer);
    }
    std::string served_;
    SOCKET listener_ = INVALID_SOCKET;
    HANDLE thread_ = nullptr;
};

}  // namespace contract
