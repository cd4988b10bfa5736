// The LAN address shown at start-up and the port check.
#include <functional>

#include "services/port_check.h"
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using Shape = std::function<void(fake::FakePlatform&)>;
constexpr auto& kAny = platform::kInAddrAny;
constexpr auto& kLoopback = platform::kInAddrLoopback;
constexpr std::array<std::uint8_t, 4> kLan{192, 168, 1, 5};

TEST_F(PanelTest, TheAddressLinkAndTheSocketLibrarysFailures) {
    const std::pair<std::vector<std::vector<std::uint8_t>>, std::string> addresses[] = {
        {{{255, 255, 255, 0}}, "http://255.255.255.0:8080/oa"},
        {{{127, 0, 0, 1}, {192, 168, 1, 5}}, "http://127.0.0.1:8080/oa"},  // no preference
        {{}, "http://:8080/oa"},                                           // no address at all
        {{{10, 0}}, "http://10.0:8080/oa"},  // fewer bytes than the entry's length says
    };
    for (const auto& [listed, shown] : addresses) {
        Machine m;
        m.os.net.hostAddresses = listed;
        ASSERT_FALSE(m.load());
        EXPECT_EQ(m.ctl(IDC_lblIP).caption, shown);
        EXPECT_EQ(m.os.count("WSAStartup 0x101") + m.os.count("gethostbyname ") +
                      m.os.count("WSACleanup") + m.boxes().size(),
                  3u)
            << "version 1.1, the empty name, stopped again, nothing said";
        m.expectNothingOpen();
    }
    // how the library fails, what is said (none: nothing), whether the program ends
    const std::tuple<Shape, const char*, bool> failures[] = {
        {[](auto& os) { os.fail("WSAStartup", 10091); }, "Winsock.dll is not responding.", true},
        {[](auto& os) { os.net.versionInUse = 0x0001; },
         "Windows Sockets version 1.0 is not supported by winsock.dll ", true},
        {[](auto& os) { os.net.versionInUse = 0x0100; },
         "Windows Sockets version 0.1 is not supported by winsock.dll ", true},
        {[](auto& os) { os.net.maxSockets = 0; },
         "This application requires a minimum of 1 supported sockets.", true},
        {[](auto& os) { os.fail("WSACleanup", 0); }, "Socket error -1 occurred in Cleanup ", true},
        {[](auto& os) { os.net.resolvable = false; }, "Can't resolve name.", false},
        {[](auto& os) { os.net.versionInUse = 0x0201; }, nullptr, false},
        {[](auto& os) { os.net.versionInUse = 0x0002, os.net.maxSockets = 1; }, nullptr, false},
    };
    for (const auto& [shape, message, ends] : failures) {
        Machine m;
        shape(m.os);
        EXPECT_EQ(m.load(), ends);
        EXPECT_EQ(m.boxes(),
                  message ? std::vector<std::string>{message} : std::vector<std::string>{});
        for (const auto& box : m.os.application.boxes)
            EXPECT_EQ(std::to_string(box.style) + box.title, "0oapanel");
        // Ending stops the start-up where it is, and takes the tray icon along.
        EXPECT_EQ(m.os.count("NotifyServiceStatusChange") > 0 || m.os.tray.shown, !ends);
        EXPECT_EQ(m.ctl(IDC_lstView).width == 8170, !ends) << "the last step opened the panel";
        EXPECT_NE(m.os.filesImpl.content["D:\\OA\\oapanel.log"].find("欢迎使用"),
                  std::string::npos);
    }
}

TEST_F(PanelTest, ThePortCheckSeesWhatHoldsThePorts) {
    const std::string free = "空闲", used = "正在使用";
    // what holds the ports, the code, what is said of the database's and the web container's
    const std::tuple<Shape, int, std::string, std::string> cases[] = {
        {[](auto&) {}, 0, free, free},
        {[](auto& os) { os.net.hold(kLoopback, 3307); }, 1, used, free},
        // A server on all addresses lets a loopback bind through; it is still a server.
        {[](auto& os) { os.net.hold(kAny, 8080), os.net.hold(kLoopback, 3307); }, 11, used, used},
        {[](auto& os) { os.net.hold(kAny, 3307, true); }, 1, used, free},
        {[](auto& os) { os.net.hold(kLan, 8080); }, 10, free, used},
        {[](auto& os) { os.net.hold(kAny, 8080), os.net.listeners[8080] = 1911; }, 10, free,
         used + "（java.exe，PID 1911）"},
        // An owner the table does not name.
        {[](auto& os) { os.net.hold(kLoopback, 3307), os.net.listeners[3307] = 0; }, 1, used, free},
        {[](auto& os) { os.net.hold(kAny, 3306); }, 0, free, free},
        // No socket library: both count as free.
        {[](auto& os) { os.net.hold(kLoopback, 3307), os.fail("WSAStartup", 10091); }, 0, free,
         free},
        {[](auto& os) { os.fail("socket", 10024); }, 11, used, used},
    };
    for (const auto& [shape, code, database, tomcat] : cases) {
        Machine m;
        ASSERT_FALSE(m.load());
        m.os.procs.names[1911] = "java.exe";
        shape(m.os);
        EXPECT_EQ(oapanel::CheckPorts(m.os.net, 3307, 8080), code);
        m.os.ui.model->find(IDC_lblBrackwen)->caption = "elsewhere";
        m.os.ui.userSelects(IDC_lstView, 0);
        m.click(IDC_cmdCheckPort);
        EXPECT_EQ(m.lines(1), (std::vector<std::string>{"数据库端口 3307 " + database,
                                                        "TOMCAT端口 8080 " + tomcat}));
        EXPECT_EQ(std::to_string(m.ctl(IDC_lstView).selected) + m.ctl(IDC_lblBrackwen).caption,
                  "2contact line");
        m.expectNothingOpen();
    }
    fake::FakePlatform os;  // free on loopback and on all addresses, nothing left open
    EXPECT_EQ(oapanel::CheckPorts(os.net, 40001, 40002), 0);
    EXPECT_EQ(os.count("bind 127.0.0.1:40001") + os.count("bind 0.0.0.0:40001"), 2);
    EXPECT_EQ(os.net.openSockets(), 0u);
}

}  // namespace
}  // namespace unit
