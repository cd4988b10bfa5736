// The LAN address shown at start-up and the port check.
#include <functional>

#include "services/port_check.h"
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using Shape = std::function<void(fake::FakePlatform&)>;

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
    const struct {
        Shape shape;
        const char* message;  // none: no message
        bool ends;
    } failures[] = {
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
    for (const auto& c : failures) {
        Machine m;
        c.shape(m.os);
        EXPECT_EQ(m.load(), c.ends);
        EXPECT_EQ(m.boxes(),
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        for (const auto& box : m.os.application.boxes)
            EXPECT_EQ(std::to_string(box.style) + box.title, "0oapanel");
        // Ending stops the start-up where it is, and takes the tray icon along.
        EXPECT_EQ(m.os.count("NotifyServiceStatusChange") > 0 || m.os.tray.shown, !c.ends);
        EXPECT_EQ(m.ctl(IDC_lstView).width == 8170, !c.ends) << "the last step opened the panel";
        EXPECT_NE(m.os.filesImpl.content["D:\\OA\\oapanel.log"].find("欢迎使用"),
                  std::string::npos);
    }
}

TEST_F(PanelTest, ThePortCheckSeesWhatHoldsThePorts) {
    const struct {
        Shape shape;
        int code;
        const char *database, *tomcat;
    } cases[] = {
        {[](auto&) {}, 0, "空闲", "空闲"},
        {[](auto& os) { os.net.hold(platform::kInAddrLoopback, 3307); }, 1, "正在使用", "空闲"},
        // A server on all addresses lets a loopback bind through; it is still a server.
        {[](auto& os) {
             os.net.hold(platform::kInAddrAny, 8080), os.net.hold(platform::kInAddrLoopback, 3307);
         },
         11, "正在使用", "正在使用"},
        {[](auto& os) { os.net.hold(platform::kInAddrAny, 3307, true); }, 1, "正在使用", "空闲"},
        {[](auto& os) {
             os.net.hold({192, 168, 1, 5}, 8080);
         },
         10, "空闲", "正在使用"},
        {[](auto& os) {
             os.net.hold(platform::kInAddrAny, 8080), os.net.listeners[8080] = 1911,
                                                      os.procs.names[1911] = "java.exe";
         },
         10, "空闲", "正在使用（java.exe，PID 1911）"},
        {[](auto& os) { os.net.hold(platform::kInAddrLoopback, 3307), os.net.listeners[3307] = 0; },
         1, "正在使用", "空闲"},  // an owner the table does not name
        {[](auto& os) { os.net.hold(platform::kInAddrAny, 3306); }, 0, "空闲", "空闲"},
        {[](auto& os) {
             os.net.hold(platform::kInAddrLoopback, 3307), os.fail("WSAStartup", 10091);
         },
         0, "空闲", "空闲"},  // no socket library: both count as free
        {[](auto& os) { os.fail("socket", 10024); }, 11, "正在使用", "正在使用"},
    };
    for (const auto& c : cases) {
        Machine m;
        ASSERT_FALSE(m.load());
        c.shape(m.os);
        EXPECT_EQ(oapanel::CheckPorts(m.os.net, 3307, 8080), c.code);
        m.os.ui.model->find(IDC_lblBrackwen)->caption = "elsewhere";
        m.os.ui.userSelects(IDC_lstView, 0);
        m.click(IDC_cmdCheckPort);
        EXPECT_EQ(m.lines(1),
                  (std::vector<std::string>{std::string("数据库端口 3307 ") + c.database,
                                            std::string("TOMCAT端口 8080 ") + c.tomcat}));
        EXPECT_EQ(std::to_string(m.ctl(IDC_lstView).selected) + m.ctl(IDC_lblBrackwen).caption,
                  "2contact line");
        EXPECT_EQ(m.os.count("WSACleanup"), 3) << "start-up, the check, the button: once each";
        m.expectNothingOpen();
    }
    fake::FakePlatform os;  // free on loopback and on all addresses, nothing left open
    EXPECT_EQ(oapanel::CheckPorts(os.net, 40001, 40002), 0);
    EXPECT_EQ(os.count("bind 127.0.0.1:40001") + os.count("bind 0.0.0.0:40001"), 2);
    EXPECT_EQ(os.net.openSockets(), 0u);
}

}  // namespace
}  // namespace unit
