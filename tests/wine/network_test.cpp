// Windows Sockets 1.1, the port check and the Run entry against Wine's real wsock32 and
// registry. The ports are picked free by the test itself, so nothing else on the machine
// (or another test) can collide with them.

// The test sets up its own listeners with the classic calls.
#define _WINSOCK_DEPRECATED_NO_WARNINGS

#include <gtest/gtest.h>

#include "platform/win32/network.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "environment/autorun.h"
#include "net/basIPAddress.h"
#include "platform/win32/application.h"
#include "platform/win32/registry.h"
#include "services/port_check.h"

namespace {

using namespace oapanel;

// The real application, but message boxes are recorded and ending the program throws, so a
// failure shows in the test instead of blocking it.
class TestApplication : public win32::Application {
public:
    TestApplication() : win32::Application(::GetModuleHandleW(nullptr)) {}
    std::vector<std::string> boxes;
    std::string title = "oapanel-tests-" + std::to_string(::GetCurrentProcessId());

    std::string appTitle() override { return title; }
    int messageBox(const std::string& text, std::uint32_t, const std::string&) override {
        boxes.push_back(text);
        return platform::kIdOk;
    }
    [[noreturn]] void endProcess(std::uint32_t) override {
        throw std::runtime_error("the program would end");
    }
};

std::string dotted(const char* bytes, int length) {
    std::string text;
    for (int i = 0; i < length; ++i) {
        if (i) text += '.';
        text += std::to_string(static_cast<unsigned char>(bytes[i]));
    }
    return text;
}

class RealWinsock : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library_.started()); }

    // A TCP socket that holds a port on the address and listens, as a server would.
    win32::SocketHandle listener(const char* address, u_short port) {
        win32::SocketHandle s(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = ::htons(port);
        at.sin_addr.s_addr = ::inet_addr(address);
        EXPECT_EQ(::bind(s.get(), reinterpret_cast<sockaddr*>(&at), sizeof at), 0) << port;
        EXPECT_EQ(::listen(s.get(), 1), 0);
        return s;
    }
    // A port that nobody holds right now.
    u_short freePort() {
        win32::SocketHandle s(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = ::inet_addr("127.0.0.1");
        ::bind(s.get(), reinterpret_cast<sockaddr*>(&at), sizeof at);
        int size = sizeof at;
        ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&at), &size);
        return ::ntohs(at.sin_port);
    }

    win32::WinsockStartup library_;  // keeps the test's own sockets usable throughout
    win32::Sockets sockets_;
};

TEST_F(RealWinsock, Version11StartsAndTheLocalHostResolves) {
    platform::WsaData data;
    ASSERT_EQ(sockets_.wsaStartup(platform::kWinsockVersion11, data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_GE(data.iMaxSockets, 1) << "else the panel would refuse to start";

    platform::HostEntry entry;
    ASSERT_TRUE(sockets_.gethostbyname("", entry));
    EXPECT_EQ(entry.h_length, 4);
    ASSERT_FALSE(entry.h_addr_list.empty());
    const hostent* raw = ::gethostbyname("");
    ASSERT_NE(raw, nullptr);
    const auto& bytes = entry.h_addr_list.front();
    EXPECT_EQ(dotted(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size())),
              dotted(raw->h_addr_list[0], raw->h_length));
    EXPECT_EQ(sockets_.wsaCleanup(), 0);
}

TEST_F(RealWinsock, TheStartUpStepsGiveTheFirstAddressWithoutAMessage) {
    TestApplication app;
    StartWinsock(sockets_, app);
    const std::string address = GetLocalIPAddress(sockets_, app);
    StopWinsock(sockets_, app);
    EXPECT_TRUE(app.boxes.empty());
    const hostent* raw = ::gethostbyname("");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(address, dotted(raw->h_addr_list[0], raw->h_length));
}

TEST_F(RealWinsock, ASecondBindToATakenLoopbackPortFails) {
    const u_short port = freePort();
    const platform::Socket a = sockets_.socket(platform::kAfInet, platform::kSockStream, 0);
    const platform::Socket b = sockets_.socket(platform::kAfInet, platform::kSockStream, 0);
    ASSERT_NE(a, platform::kInvalidSocket);
    EXPECT_EQ(sockets_.bind(a, {port, platform::kInAddrLoopback}), 0);
    EXPECT_EQ(sockets_.bind(b, {port, platform::kInAddrLoopback}), platform::kSocketError);
    EXPECT_EQ(sockets_.closesocket(a), 0);
    EXPECT_EQ(sockets_.bind(b, {port, platform::kInAddrLoopback}), 0) << "free once closed";
    EXPECT_EQ(sockets_.closesocket(b), 0);
    EXPECT_EQ(sockets_.bind(platform::kInvalidSocket, {port, platform::kInAddrLoopback}),
              platform::kSocketError);
}

TEST_F(RealWinsock, PortsHeldByListenersOnLoopbackOrAllAddressesAreInUse) {
    const u_short first = freePort();
    u_short second = freePort();
    while (second == first) second = freePort();
    EXPECT_EQ(CheckPorts(sockets_, first, second), 0);
    {
        auto onLoopback = listener("127.0.0.1", first);
        EXPECT_EQ(CheckPorts(sockets_, first, second), 1);
        auto onAll = listener("0.0.0.0", second);
        EXPECT_EQ(CheckPorts(sockets_, first, second), 11);
    }
    {
        auto onAll = listener("0.0.0.0", second);
        EXPECT_EQ(CheckPorts(sockets_, first, second), 10);
    }
    EXPECT_EQ(CheckPorts(sockets_, first, second), 0) << "the check itself holds nothing";
}

class RealRunKey : public ::testing::Test {
protected:
    static constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

    void TearDown() override {
        // Never leave an entry behind: Wine would start this test at the prefix's next boot.
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            ::RegDeleteKeyValueA(root, kRun, app_.title.c_str());
    }
    bool read(HKEY root, DWORD& type, std::string& data) {
        char buffer[1024] = {};
        DWORD size = sizeof buffer;
        if (::RegGetValueA(root, kRun, app_.title.c_str(), RRF_RT_ANY, &type, buffer, &size))
            return false;
        data.assign(buffer, size);
        return true;
    }

    TestApplication app_;
    win32::Registry reg_;
    win32::TextCodec codec_;
    RegAccess ra_{reg_, codec_};
};

TEST_F(RealRunKey, TheEntryIsTheUnquotedExecutablePathAndGoesFromBothRoots) {
    SetAutoRun(ra_, app_, "", platform::kHkeyLocalMachine);
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(read(HKEY_LOCAL_MACHINE, type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    EXPECT_STRCASEEQ(data.c_str(), module);
    EXPECT_EQ(data.size(), std::string(module).size() + 1) << "the text and its NUL only";

    ::RegSetKeyValueA(HKEY_CURRENT_USER, kRun, app_.title.c_str(), REG_SZ, "x", 2);
    RemoveAutoRun(ra_, app_, platform::kHkeyLocalMachine);
    RemoveAutoRun(ra_, app_, platform::kHkeyCurrentUser);
    EXPECT_FALSE(read(HKEY_LOCAL_MACHINE, type, data));
    EXPECT_FALSE(read(HKEY_CURRENT_USER, type, data));
}

}  // namespace
