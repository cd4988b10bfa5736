// Installing, starting, stopping and removing the services, from the automatic start, the
// toggles, the whole-system button and the tray, on services that take scripted times.
#include "panel/command_runner.h"
#include "services/basService.h"
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using platform::kServiceRunning;
using platform::kServiceStartPending;
using platform::kServiceStopped;
using platform::kServiceStopPending;

const char kTomcatInstall[] =
    "cmd /c D:\\OA\\tomcat6\\bin\\service.bat install D:\\OA\\tomcat6\\bin";
const char kMysqlInstall[] =
    "cmd /c D:\\OA\\mysql5\\bin\\mysqld2.exe --install MySQL5Brackwen --basedir=D:\\OA\\mysql5";

TEST_F(PanelTest, TheAutomaticStartInstallsAndStartsTheDatabaseFirstOnce) {
    os.commands.registerDelay[kTomcat] = 5.01;  // two dots while installing
    os.commands.installedAs.startDelay = 3.01;  // one more while starting
    ASSERT_FALSE(load());
    bool oaDisabledDuring = false;
    os.ui.after(3.0, [&] { oaDisabledDuring = !ctl(IDC_cmdOA).enabled; });
    os.ui.advance(60);
    EXPECT_EQ(lines(1), (std::vector<std::string>{"启动 MySQL....成功", "启动 Tomcat......成功"}));
    EXPECT_EQ(launched(),
              (std::vector<std::string>{kMysqlInstall, "cmd /c net start MySQL5Brackwen",
                                        kTomcatInstall, "cmd /c net start Tomcat6Brackwen"}));
    EXPECT_EQ(os.procs.launches[0].showMode, platform::kSwHide);
    EXPECT_TRUE(oaDisabledDuring);
    EXPECT_TRUE(ctl(IDC_cmdOA).enabled);
    EXPECT_FALSE(ctl(IDC_tmStart).enabled);
    EXPECT_EQ(ctl(IDC_cmdOA).caption, "停止 &OA");
    EXPECT_EQ(os.scm.find(kTomcat)->state, kServiceRunning);
}

TEST_F(PanelTest, TheAutomaticStartWaitsForTheEndOfTheStartUp) {
    // A start-up message box stays open for three seconds; its own loop delivers timers.
    os.net.resolvable = false;
    os.application.whileOpen = [&](const auto&) { os.ui.advance(3); };
    ASSERT_FALSE(load());
    EXPECT_EQ(boxes(), std::vector<std::string>{"Can't resolve name."});
    os.ui.advance(0.9);
    EXPECT_TRUE(os.procs.launches.empty());
    os.ui.advance(0.2);
    EXPECT_EQ(lines(1).at(0), "启动 MySQL...成功");

    Machine ending;  // a socket library that fails ends the program before anything starts
    ending.os.fail("WSAStartup", 10091);
    ending.os.application.whileOpen = [&](const auto&) { ending.os.ui.advance(3); };
    EXPECT_TRUE(ending.load());
    EXPECT_TRUE(ending.os.procs.launches.empty());
}

TEST_F(PanelTest, TheSessionEndingDuringAWaitEndsItAtOnceAndStartsNothingMore) {
    os.commands.registerService(kMysql, "D:\\OA\\m.exe").startDelay = -1;
    ASSERT_FALSE(load());
    os.ui.after(3.0, [&] { os.ui.endSession(); });
    const double start = os.clockImpl.monotonic;
    os.ui.advance(1.0);
    EXPECT_LT(os.clockImpl.monotonic - start, 3.2);
    EXPECT_EQ(launched(), std::vector<std::string>{"cmd /c net start MySQL5Brackwen"})
        << "no installer, no start, no stop after the session ended";
    EXPECT_EQ(os.scm.find(kMysql)->state, kServiceStartPending) << "left as it is";
}

TEST_F(PanelTest, StartOutcomesFollowWhatTheServiceDoes) {
    struct Case {
        const char* what;
        int state;            // -1: not registered
        double registration;  // seconds; negative: never
        double start;         // seconds; negative: never
        bool keyUnreadable, managerRefused, machineReadOnly;
        std::string line;
        int launches;
        bool running;
    } cases[] = {
        {"installs and starts", -1, 0.5, 1.0, false, false, false, "启动 Tomcat...成功", 2, true},
        {"never registers", -1, -1, 1.0, false, false, false,
         "启动 Tomcat..." + dots(14) + "安装服务失败", 1, false},
        {"already starting", kServiceStartPending, 0, 1.0, false, false, false,
         "启动 Tomcat...已启动", 0, true},
        {"stopping counts as started", kServiceStopPending, 0, 1.0, false, false, false,
         "启动 Tomcat...已启动", 0, true},
        {"never completes", kServiceStopped, 0, -1, false, false, false,
         "启动 Tomcat..." + dots(14) + "失败", 1, false},
        {"key unreadable", kServiceStopped, 0, 1.0, true, false, false,
         "启动 Tomcat..." + dots(14) + "安装服务失败", 1, false},
        {"service refused", kServiceRunning, 0, 1.0, false, true, false,
         "启动 Tomcat..." + dots(14) + "失败", 1, false},
        {"read-only machine", kServiceStopped, 0, 3.01, false, false, true, "启动 Tomcat....成功",
         1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        m.os.procs.running = {"mysqld2.exe"};  // the database runs: the automatic start skips it
        m.os.scm.install(kMysql, kServiceRunning);
        m.os.commands.registerService(kMysql, "D:\\OA\\mysql5\\bin\\mysqld2.exe", kServiceRunning);
        if (c.state >= 0) {
            auto& s = m.os.commands.registerService(kTomcat, "D:\\OA\\t.exe",
                                                    static_cast<std::uint32_t>(c.state));
            s.startDelay = c.start;
        }
        m.os.commands.registerDelay[kTomcat] = c.registration;
        m.os.commands.installedAs.startDelay = c.start;
        if (c.keyUnreadable)
            m.os.reg.denyAccess(HKLM, "SYSTEM\\CurrentControlSet\\Services\\Tomcat6Brackwen");
        if (c.managerRefused)
            m.os.fail("OpenServiceA Tomcat6Brackwen 0x80000000", platform::kErrorAccessDenied);
        if (c.machineReadOnly) m.os.reg.makeReadOnly(HKLM);
        ASSERT_FALSE(m.load());
        const double started = m.os.clockImpl.monotonic;
        m.os.ui.advance(1.0);
        EXPECT_EQ(m.lines(1), (std::vector<std::string>{"启动 MySQL...已启动", c.line}));
        EXPECT_EQ(static_cast<int>(m.os.procs.launches.size()), c.launches);
        EXPECT_EQ(m.ctl(IDC_lblTomcat).caption, c.running ? "Tomcat:已启动" : "Tomcat:已停止");
        if (c.line.find("..............") != std::string::npos) {
            EXPECT_NEAR(m.os.clockImpl.monotonic - started, 31.0, 0.2) << "30 s, then no more";
        }
        m.expectNothingOpen();
    }
}

TEST_F(PanelTest, StopOutcomesAndTheFlagsFollowTheRealState) {
    struct Case {
        std::uint32_t state;
        double stopDelay;
        std::string line;
        bool runningAfter;
        int netStops;
    } cases[] = {
        {kServiceRunning, 2.51, "停止 Tomcat....成功", false, 1},
        {kServiceStopPending, 1.0, "停止 Tomcat...成功", false, 1},  // asked to stop again
        {kServiceRunning, -1, "停止 Tomcat..." + dots(14) + "失败", true, 1},
        {kServiceStopped, 1.0, "停止 Tomcat...未启动", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Machine m;
        m.os.commands.registerService(kTomcat, "D:\\OA\\t.exe", kServiceRunning);
        m.loadAndAutoStart();
        auto& s = *m.os.scm.find(kTomcat);
        s.state = c.state;
        s.stopDelay = c.stopDelay;
        m.click(IDC_cmdStop);
        EXPECT_EQ(m.last(), c.line);
        EXPECT_EQ(m.ctl(IDC_lblTomcat).caption, c.runningAfter ? "Tomcat:已启动" : "Tomcat:已停止");
        EXPECT_EQ(m.os.count("CreateProcessA cmd /c net stop Tomcat6Brackwen"), c.netStops);
        m.expectNothingOpen();
    }
}

TEST_F(PanelTest, DotsAndTheOutcomeLandOnTheLineTheUserSelected) {
    os.commands.registerService(kMysql, "D:\\OA\\m.exe", kServiceRunning);
    os.commands.registerService(kTomcat, "D:\\OA\\t.exe").startDelay = 6.01;
    ASSERT_FALSE(load());
    os.ui.after(4.0, [&] { os.ui.userSelects(IDC_lstView, 0); });
    os.ui.advance(1.0);
    EXPECT_EQ(lines(), (std::vector<std::string>{"欢迎使用澜栖OA系统，运行路径：D:\\OA.成功",
                                                 "启动 MySQL...已启动", "启动 Tomcat...."}));
}

TEST_F(PanelTest, TogglesDisableTheirButtonsAndAClickInsideAWaitRunsToItsEnd) {
    loadAndAutoStart();
    os.scm.find(kTomcat)->stopDelay = 5.0;
    bool disabled = false, mysqlDoneInside = false;
    os.ui.after(1.0, [&] {
        disabled =
            !ctl(IDC_cmdTomcat).enabled && !ctl(IDC_cmdOA).enabled && ctl(IDC_cmdMysql).enabled;
        click(IDC_cmdMysql);
        mysqlDoneInside = ctl(IDC_lblMysql).caption == "MySQL:已停止" &&
                          os.scm.find(kTomcat)->state == kServiceStopPending;
    });
    click(IDC_cmdTomcat);
    EXPECT_TRUE(disabled);
    EXPECT_TRUE(mysqlDoneInside);
    EXPECT_TRUE(ctl(IDC_cmdTomcat).enabled && ctl(IDC_cmdOA).enabled && ctl(IDC_cmdMysql).enabled);
    // The Tomcat line's dots and outcome go where the selection went: the MySQL line.
    EXPECT_EQ(lines(3), (std::vector<std::string>{"停止 Tomcat...", "停止 MySQL...成功..成功"}));
    EXPECT_EQ(ctl(IDC_cmdTomcat).caption, "启动 &Tomcat");
    EXPECT_EQ(ctl(IDC_cmdMysql).caption, "启动 &MySQL");
    click(IDC_cmdTomcat);  // stopped now: the toggle starts it
    EXPECT_EQ(ctl(IDC_cmdTomcat).caption, "停止 &Tomcat");
    EXPECT_EQ(os.scm.find(kTomcat)->state, kServiceRunning);
    EXPECT_EQ(ctl(IDC_lblOA).caption, "OA:已停止");
    click(IDC_cmdMysql);
    EXPECT_EQ(ctl(IDC_lblOA).caption, "OA:已启动");
}

TEST_F(PanelTest, TheWholeSystemStartsDatabaseFirstAndStopsWebContainerFirst) {
    os.commands.registerService(kTomcat, "D:\\OA\\t.exe", kServiceRunning);
    os.commands.registerDelay[kMysql] = -1;
    loadAndAutoStart();
    click(IDC_cmdOA);  // only the web container runs: the click starts, without asking
    EXPECT_TRUE(os.application.boxes.empty());
    EXPECT_EQ(lines(3), (std::vector<std::string>{"启动 MySQL..." + dots(14) + "安装服务失败",
                                                  "启动 Tomcat...已启动", "启动 澜栖OA...失败"}));
    EXPECT_EQ(ctl(IDC_lstView).selected, 5);

    os.commands.registerDelay[kMysql] = 0.5;
    click(IDC_cmdOA);
    EXPECT_EQ(last(), "启动 澜栖OA...成功");
    EXPECT_EQ(ctl(IDC_cmdOA).caption, "停止 &OA");
    EXPECT_EQ(ctl(IDC_lblBrackwen).caption, "contact line");

    os.procs.launches.clear();
    os.application.answers = {platform::kIdCancel};
    const int before = count();
    click(IDC_cmdOA);
    EXPECT_EQ(boxes(), std::vector<std::string>{"确定停止OA服务吗？"});
    EXPECT_EQ(count(), before);
    EXPECT_TRUE(os.procs.launches.empty());
    for (int id : {IDC_cmdOA, IDC_cmdTomcat, IDC_cmdMysql}) EXPECT_TRUE(ctl(id).enabled);

    os.scm.find(kMysql)->stopDelay = -1;  // the database ignores its stop
    click(IDC_cmdOA);
    EXPECT_EQ(launched(), (std::vector<std::string>{"cmd /c net stop Tomcat6Brackwen",
                                                    "cmd /c net stop MySQL5Brackwen"}));
    EXPECT_EQ(last(), "停止 澜栖OA...失败");
    EXPECT_EQ(ctl(IDC_lblOA).caption, "OA:已停止");
    EXPECT_EQ(ctl(IDC_lblMysql).caption, "MySQL:已启动");
    click(IDC_cmdTomcat);
    os.scm.find(kMysql)->stopDelay = 1;
    os.application.answers = {platform::kIdOk};
    click(IDC_cmdOA);
    EXPECT_EQ(last(), "停止 澜栖OA...成功");
}

TEST_F(PanelTest, WaitsEndWhenDoneAndDelaysLetTimePass) {
    loadAndAutoStart();
    oapanel::Form form{oapanel::frmMainDesign(""), os.ui};
    oapanel::ActivityLog log{form, os.clockImpl};
    oapanel::CommandRunner runner{os, log};
    const double start = os.clockImpl.monotonic;
    EXPECT_TRUE(runner.WaitWithDots(30, [] { return true; }));
    EXPECT_LT(os.clockImpl.monotonic - start, 0.1);
    runner.DelaySecond(3);
    EXPECT_NEAR(os.clockImpl.monotonic - start, 3.0, 0.1);
    EXPECT_TRUE(runner.ExecAndWait("cmd /c x", "D:\\", 10, platform::kSwHide, 0));
    os.fail("CreateProcessA", 2);
    EXPECT_FALSE(runner.ExecAndWait("cmd /c x", "D:\\", 10, platform::kSwHide, 0));
}

// --- the service query -------------------------------------------------------------------

TEST(QueryServiceInfo, AsksWithReadRightsAndTheSizeProtocolAndClosesBothHandles) {
    fake::FakePlatform os;
    os.scm.install(kMysql, kServiceRunning, "  D:\\OA\\mysql5\\bin\\mysqld2.exe  ")
        .config.startType = 2;
    std::int32_t state = 0, startType = 0;
    std::string path;
    EXPECT_TRUE(oapanel::QueryServiceInfo(os.scm, "  MySQL5Brackwen ", state, startType, path));
    EXPECT_EQ(state, 4);
    EXPECT_EQ(startType, 2);
    EXPECT_EQ(path, "D:\\OA\\mysql5\\bin\\mysqld2.exe");
    EXPECT_EQ(os.record.calls,
              (std::vector<std::string>{
                  "OpenSCManagerA 0x1", "OpenServiceA MySQL5Brackwen 0x80000000",
                  "QueryServiceStatus", "QueryServiceConfigA 0", "QueryServiceConfigA 88",
                  "CloseServiceHandle 0x101", "CloseServiceHandle 0x100"}));
    os.scm.find(kMysql)->state = 9;  // a state code Windows does not have is not stored
    state = 0;
    EXPECT_TRUE(oapanel::QueryServiceInfo(os.scm, kMysql, state, startType, path));
    EXPECT_EQ(state, 0);
}

TEST(QueryServiceInfo, FailuresKeepTheCallersValuesAndCloseBothHandles) {
    const struct {
        const char* op;
        std::int32_t state;  // the caller's 0, unless the status was already read
    } cases[] = {{"", 0},
                 {"OpenSCManagerA", 0},
                 {"OpenServiceA", 0},
                 {"QueryServiceStatus", 0},
                 {"QueryServiceConfigA", 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op);
        fake::FakePlatform os;
        if (*c.op) {
            os.scm.install(kTomcat, kServiceRunning);
            os.fail(c.op, platform::kErrorAccessDenied);
        }
        std::int32_t state = 0, startType = 77;
        std::string path = "untouched";
        const bool ok = oapanel::QueryServiceInfo(os.scm, kTomcat, state, startType, path);
        EXPECT_FALSE(ok);
        EXPECT_EQ(state, c.state);
        EXPECT_EQ(startType, 77);
        EXPECT_EQ(path, "untouched");
        EXPECT_FALSE(oapanel::CountsAsRunning(ok, state));
        EXPECT_EQ(os.scm.openHandles(), 0u);
        EXPECT_EQ(os.count("CloseServiceHandle"), 2) << "both, also a 0";
    }
}

}  // namespace
}  // namespace unit
