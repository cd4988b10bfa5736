// The LAN address shown at start-up and the port check.
#include <functional>

#include "net/basIPAddress.h"
#include "services/port_check.h"
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using Shape = std::function<void(fake::FakePlatform&)>;

TEST_F(PanelTest, TheAddressLinkShowsTheFirstListedAddress) {
    const std::pair<std::vector<std::vector<std::uint8_t>>, std::string> cases[] = {
        {{{192, 168, 1, 5}}, "http://192.168.1.5:8080/oa"},
        {{{255, 255, 255, 0}}, "http://255.255.255.0:8080/oa"},
        {{{127, 0, 0, 1}, {192, 168, 1, 5}}, "http://127.0.0.1:8080/oa"},  // no preference
        {{}, "http://:8080/oa"},                                           // no address at all
        {{{10, 0}}, "http://10.0:8080/oa"},  // fewer bytes than the entry's length says
    };
    for (const auto& [listed, shown] : cases) {
        Machine m;
        m.os.net.hostAddresses = listed;
        ASSERT_FALSE(m.load());
        EXPECT_EQ(m.ctl(IDC_lblIP).caption, shown);
        EXPECT_TRUE(m.os.application.boxes.empty());
        EXPECT_EQ(m.os.count("WSAStartup 0x101") + m.os.count("gethostbyname ") +
                      m.os.count("WSACleanup"),
                  3)
            << "version 1.1, the empty name, stopped again";
        m.expectNothingOpen();
    }
}

TEST_F(PanelTest, EachSocketLibraryFailureHasItsMessageAndEndsOnlyWhereItMust) {
    const struct {
        const char* what;
        Shape shape;
        const char* message;  // none: no message
        bool ends;
    } cases[] = {
        {"start-up fails", [](auto& os) { os.fail("WSAStartup", 10091); },
         "Winsock.dll is not responding.", true},
        {"version 1.0", [](auto& os) { os.net.versionInUse = 0x0001; },
         "Windows Sockets version 1.0 is not supported by winsock.dll ", true},
        {"version 0.1", [](auto& os) { os.net.versionInUse = 0x0100; },
         "Windows Sockets version 0.1 is not supported by winsock.dll ", true},
        {"no sockets", [](auto& os) { os.net.maxSockets = 0; },
         "This application requires a minimum of 1 supported sockets.", true},
        {"clean-up fails", [](auto& os) { os.fail("WSACleanup", 0); },
         "Socket error -1 occurred in Cleanup ", true},
        {"name not resolved", [](auto& os) { os.net.resolvable = false; }, "Can't resolve name.",
         false},
        {"version 1.2", [](auto& os) { os.net.versionInUse = 0x0201; }, nullptr, false},
        {"version 2.0", [](auto& os) { os.net.versionInUse = 0x0002; }, nullptr, false},
        {"a single socket", [](auto& os) { os.net.maxSockets = 1; }, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        c.shape(m.os);
        EXPECT_EQ(m.load(), c.ends);
        EXPECT_EQ(m.boxes(),
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        if (c.message) {
            EXPECT_EQ(m.os.application.boxes[0].style, platform::kMbOk);
            EXPECT_EQ(m.os.application.boxes[0].title, "oapanel");
        }
        // Ending stops the start-up where it is, and takes the tray icon along.
        EXPECT_EQ(m.os.count("OpenSCManagerA"), c.ends ? 0 : 1);
        EXPECT_EQ(m.os.tray.shown, !c.ends);
        if (!c.ends) {
            EXPECT_EQ(m.ctl(IDC_cmdAdvance).caption, "高级(&V) <<") << "the last step ran";
        }
    }
}

TEST_F(PanelTest, ThePortCheckSeesWhatHoldsThePorts) {
    const struct {
        const char* what;
        Shape shape;
        int code;
        const char* database;
        const char* tomcat;
    } cases[] = {
        {"both free", [](auto&) {}, 0, "空闲", "空闲"},
        {"database on loopback", [](auto& os) { os.net.hold(platform::kInAddrLoopback, 3307); }, 1,
         "正在使用", "空闲"},
        {"both on loopback",
         [](auto& os) {
             os.net.hold(platform::kInAddrLoopback, 3307);
             os.net.hold(platform::kInAddrLoopback, 8080);
         },
         11, "正在使用", "正在使用"},
        // A server on all addresses lets a loopback bind through; it is still a server.
        {"web container on all addresses",
         [](auto& os) { os.net.hold(platform::kInAddrAny, 8080); }, 10, "空闲", "正在使用"},
        {"database on all addresses, exclusively",
         [](auto& os) { os.net.hold(platform::kInAddrAny, 3307, true); }, 1, "正在使用", "空闲"},
        {"web container on the LAN address only",
         [](auto& os) {
             os.net.hold({192, 168, 1, 5}, 8080);
         },
         10, "空闲", "正在使用"},
        {"the owner named",
         [](auto& os) {
             os.net.hold(platform::kInAddrAny, 8080);
             os.net.listeners[8080] = 1911;
             os.procs.names[1911] = "java.exe";
         },
         10, "空闲", "正在使用（java.exe，PID 1911）"},
        {"an owner without a name",
         [](auto& os) {
             os.net.hold(platform::kInAddrLoopback, 3307);
             os.net.listeners[3307] = 0;
         },
         1, "正在使用", "空闲"},
        {"other ports taken", [](auto& os) { os.net.hold(platform::kInAddrAny, 3306); }, 0, "空闲",
         "空闲"},
        {"the library cannot start",
         [](auto& os) {
             os.net.hold(platform::kInAddrLoopback, 3307);
             os.fail("WSAStartup", 10091);
         },
         0, "空闲", "空闲"},
        {"no socket can be made", [](auto& os) { os.fail("socket", 10024); }, 11, "正在使用",
         "正在使用"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
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
        EXPECT_EQ(m.ctl(IDC_lstView).selected, 2);
        EXPECT_EQ(m.ctl(IDC_lblBrackwen).caption, "contact line");
        EXPECT_EQ(m.os.count("WSACleanup"), 3) << "start-up, the check, the button: once each";
        m.expectNothingOpen();
    }
}

TEST(PortCheck, BindsLoopbackThenAllAddressesOneSocketAtATime) {
    fake::FakePlatform os;
    EXPECT_EQ(oapanel::CheckPorts(os.net, 40001, 40002), 0);
    std::vector<std::string> calls;
    for (const auto& call : os.record.calls)
        if (call.rfind("WSA", 0) != 0) calls.push_back(call);
    const std::vector<std::string> round = {"socket 2 1 0", "bind 127.0.0.1:40001", "closesocket",
                                            "socket 2 1 0", "bind 0.0.0.0:40001",   "closesocket"};
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 6), round);
    EXPECT_EQ(calls.size(), 12u);
}

}  // namespace
}  // namespace unit
