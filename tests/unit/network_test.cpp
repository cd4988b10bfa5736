// The LAN address shown at start-up and the port check.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "net/basIPAddress.h"
#include "panel/frmMain.h"
#include "services/port_check.h"
#include "tests/fake/fake_platform.h"

namespace {

using Machine = std::function<void(fake::FakePlatform&)>;

struct Loaded {
    fake::FakePlatform os;
    oapanel::frmMain frm{os};
    bool ended = false;

    explicit Loaded(const Machine& shape) {
        shape(os);
        try {
            os.ui.createForm(frm.form().model(), frm);
        } catch (const fake::ProcessEnded&) {
            ended = true;
        }
    }
    std::string ip() { return frm.form().control(IDC_lblIP).caption; }
};

TEST(LocalAddress, IsTheFirstListedAddressInDottedDecimal) {
    struct Case {
        std::vector<std::vector<std::uint8_t>> listed;
        const char* shown;
    } cases[] = {
        {{{192, 168, 1, 5}}, "http://192.168.1.5:8080/oa"},
        {{{10, 0, 0, 5}}, "http://10.0.0.5:8080/oa"},
        {{{255, 255, 255, 0}}, "http://255.255.255.0:8080/oa"},
        // No preference of its own: a loopback or virtual adapter listed first is shown.
        {{{127, 0, 0, 1}, {192, 168, 1, 5}}, "http://127.0.0.1:8080/oa"},
        {{{172, 16, 0, 1}, {10, 0, 0, 5}}, "http://172.16.0.1:8080/oa"},
    };
    for (const auto& c : cases) {
        Loaded m([&](fake::FakePlatform& os) { os.net.hostAddresses = c.listed; });
        EXPECT_EQ(m.ip(), c.shown);
        EXPECT_TRUE(m.os.application.boxes.empty());
        EXPECT_EQ(m.os.net.startups(), 0) << "the library is stopped again";
        EXPECT_EQ(m.os.count("WSAStartup 0x101"), 1) << "version 1.1";
        EXPECT_EQ(m.os.count("gethostbyname "), 1) << "of the empty name";
    }
}

TEST(LocalAddress, EachLibraryFailureHasItsMessageAndEndsOnlyWhereItMust) {
    struct Case {
        const char* what;
        Machine shape;
        const char* message;
        bool ends;
    } cases[] = {
        {"start-up fails", [](auto& os) { os.faults.fail("WSAStartup", 10091); },
         "Winsock.dll is not responding.", true},
        {"version 1.0", [](auto& os) { os.net.versionInUse = 0x0001; },
         "Windows Sockets version 1.0 is not supported by winsock.dll ", true},
        {"version 0.1", [](auto& os) { os.net.versionInUse = 0x0100; },
         "Windows Sockets version 0.1 is not supported by winsock.dll ", true},
        {"no sockets", [](auto& os) { os.net.maxSockets = 0; },
         "This application requires a minimum of 1 supported sockets.", true},
        {"a negative socket count", [](auto& os) { os.net.maxSockets = -1; },
         "This application requires a minimum of 1 supported sockets.", true},
        {"clean-up fails", [](auto& os) { os.faults.fail("WSACleanup", 0); },
         "Socket error -1 occurred in Cleanup ", true},
        {"name not resolved", [](auto& os) { os.net.resolvable = false; }, "Can't resolve name.",
         false},
        {"version 1.2", [](auto& os) { os.net.versionInUse = 0x0201; }, nullptr, false},
        {"version 2.0", [](auto& os) { os.net.versionInUse = 0x0002; }, nullptr, false},
        {"a single socket", [](auto& os) { os.net.maxSockets = 1; }, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded m(c.shape);
        EXPECT_EQ(m.ended, c.ends);
        if (!c.message) {
            EXPECT_TRUE(m.os.application.boxes.empty());
            continue;
        }
        ASSERT_EQ(m.os.application.boxes.size(), 1u);
        EXPECT_EQ(m.os.application.boxes[0].text, c.message);
        EXPECT_EQ(m.os.application.boxes[0].style, platform::kMbOk);
        EXPECT_EQ(m.os.application.boxes[0].title, "oapanel");
        // Ending stops the start-up where it is: the services are never asked.
        EXPECT_EQ(m.os.count("OpenSCManagerA"), c.ends ? 0 : 1);
        EXPECT_EQ(m.os.tray.iconShown(), !c.ends) << "an exit takes the tray icon along";
    }
}

TEST(LocalAddress, AnUnresolvedNameLeavesTheAddressEmptyAndStartUpGoesOn) {
    Loaded m([](auto& os) { os.net.resolvable = false; });
    EXPECT_EQ(m.ip(), "http://:8080/oa");
    EXPECT_TRUE(m.frm.bAdvanced) << "the last start-up step ran";
    EXPECT_EQ(m.os.count("WSACleanup"), 1);
    EXPECT_EQ(m.os.net.startups(), 0);
}

TEST(LocalAddress, AnEntryWithoutUsableBytesGivesTheEmptyText) {
    fake::FakePlatform os;
    platform::WsaData data;
    os.net.wsaStartup(platform::kWinsockVersion11, data);
    os.net.hostAddresses = {};
    EXPECT_EQ(oapanel::GetLocalIPAddress(os.net, os.application), "");
    os.net.hostAddresses = {{10, 0}};  // fewer bytes than h_length says
    EXPECT_EQ(oapanel::GetLocalIPAddress(os.net, os.application), "10.0");
    EXPECT_TRUE(os.application.boxes.empty());
}

// --- the port check ------------------------------------------------------------------

struct PortCheckTest : ::testing::Test {
    fake::FakePlatform os;
    oapanel::frmMain frm{os};

    void SetUp() override {
        os.ui.createForm(frm.form().model(), frm);
        frm.form().setEnabled(IDC_tmStart, false);
    }
};

TEST(PortCheck, CodesAndLinesFollowWhatHoldsThePorts) {
    const fake::FakeSockets::Address lan{192, 168, 1, 5};
    struct Case {
        const char* what;
        Machine shape;
        int code;
        const char* database;
        const char* tomcat;
    } cases[] = {
        {"both free", [](auto&) {}, 0, "数据库端口 3307 空闲", "TOMCAT端口 8080 空闲"},
        {"database on loopback", [](auto& os) { os.net.holdLoopback(3307); }, 1,
         "数据库端口 3307 正在使用", "TOMCAT端口 8080 空闲"},
        {"web container on loopback", [](auto& os) { os.net.holdLoopback(8080); }, 10,
         "数据库端口 3307 空闲", "TOMCAT端口 8080 正在使用"},
        {"both on loopback",
         [](auto& os) {
             os.net.holdLoopback(3307);
             os.net.holdLoopback(8080);
         },
         11, "数据库端口 3307 正在使用", "TOMCAT端口 8080 正在使用"},
        // A server on all addresses lets a loopback bind through; it is still a server.
        {"web container on all addresses", [](auto& os) { os.net.holdWildcard(8080); }, 10,
         "数据库端口 3307 空闲", "TOMCAT端口 8080 正在使用"},
        {"database on all addresses, exclusively",
         [](auto& os) { os.net.holdWildcard(3307, true); }, 1, "数据库端口 3307 正在使用",
         "TOMCAT端口 8080 空闲"},
        {"web container on the LAN address only", [&](auto& os) { os.net.hold(lan, 8080); }, 10,
         "数据库端口 3307 空闲", "TOMCAT端口 8080 正在使用"},
        {"other ports taken", [](auto& os) { os.net.holdWildcard(3306); }, 0,
         "数据库端口 3307 空闲", "TOMCAT端口 8080 空闲"},
        {"the library cannot start",
         [](auto& os) {
             os.net.holdLoopback(3307);
             os.faults.fail("WSAStartup", 10091);
         },
         0, "数据库端口 3307 空闲", "TOMCAT端口 8080 空闲"},
        {"no socket can be made", [](auto& os) { os.faults.fail("socket", 10024); }, 11,
         "数据库端口 3307 正在使用", "TOMCAT端口 8080 正在使用"},
        {"every bind refused", [](auto& os) { os.faults.fail("bind", 10013); }, 11,
         "数据库端口 3307 正在使用", "TOMCAT端口 8080 正在使用"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        oapanel::frmMain frm{os};
        os.ui.createForm(frm.form().model(), frm);
        c.shape(os);
        const int cleanupsBefore = os.count("WSACleanup");
        EXPECT_EQ(oapanel::CheckPorts(os.net, 3307, 8080), c.code);
        EXPECT_EQ(os.count("WSACleanup") - cleanupsBefore, 1) << "always, once";
        EXPECT_EQ(os.net.openSockets(), 0u);
        EXPECT_EQ(os.net.startups(), 0);

        // The same machine seen through the button: nothing of the first check stays behind.
        frm.cmdCheckPort_Click();
        auto& f = frm.form();
        const int n = f.listCount(IDC_lstView);
        EXPECT_EQ(f.listItem(IDC_lstView, n - 2),
                  std::string("2012-01-09 05:32:50 - ") + c.database);
        EXPECT_EQ(f.listItem(IDC_lstView, n - 1), std::string("2012-01-09 05:32:50 - ") + c.tomcat);
        EXPECT_TRUE(os.application.boxes.empty());
    }
}

TEST_F(PortCheckTest, TheButtonAddsTwoLinesSelectsOnceAndRestoresTheContactLine) {
    frm.form().setCaption(IDC_lblBrackwen, "elsewhere");
    frm.form().listSelect(IDC_lstView, 0);
    const std::size_t from = os.calls.size();
    os.ui.userClicks(IDC_cmdCheckPort);
    const int lines = frm.form().listCount(IDC_lstView);
    EXPECT_EQ(lines, 3);
    EXPECT_EQ(frm.form().listSelected(IDC_lstView), lines - 1);
    const std::string selection = "Mirror " + std::to_string(IDC_lstView) + " " +
                                  std::to_string(static_cast<int>(platform::Change::Selection));
    EXPECT_EQ(std::count(os.calls.begin() + static_cast<long>(from), os.calls.end(), selection), 1);
    EXPECT_EQ(frm.form().control(IDC_lblBrackwen).caption, "contact line");
}

TEST(PortCheck, BindsLoopbackThenAllAddressesOneSocketAtATime) {
    fake::FakePlatform os;
    EXPECT_EQ(oapanel::CheckPorts(os.net, 40001, 40002), 0);
    EXPECT_EQ(os.net.binds, (std::vector<std::string>{"127.0.0.1:40001", "0.0.0.0:40001",
                                                      "127.0.0.1:40002", "0.0.0.0:40002"}));
    EXPECT_EQ(os.count("socket 2 1 0"), 4);
    EXPECT_EQ(os.count("closesocket"), 4);
}

}  // namespace
