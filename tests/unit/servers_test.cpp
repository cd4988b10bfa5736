// Installing, starting, stopping and removing the services, from the automatic start, the
// toggles, the whole-system button and the tray, on services that take scripted times.
#include <algorithm>
#include <functional>

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
std::size_t LogFileFull() { return oapanel::LogFile::kLimit - 10; }
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

TEST_F(PanelTest, AStartSaysHowItEndedAndAFailureWhy) {
    using Shape = std::function<void(fake::FakePlatform&, fake::FakeServiceManager::Service&)>;
    const std::string failed = "启动 Tomcat..." + dots(14) + "失败";
    const struct {
        const char* what;
        Shape shape;
        std::string line, reason;  // no reason: no reason line
    } cases[] = {
        {"installs and starts",
         [](auto& os, auto&) {
             os.scm.installed.erase("TOMCAT6BRACKWEN");
             os.reg.removeKey(HKLM, "SYSTEM\\CurrentControlSet\\Services\\Tomcat6Brackwen");
         },
         "启动 Tomcat...成功", ""},
        {"never registers",
         [](auto& os, auto&) {
             os.reg.denyAccess(HKLM, "SYSTEM\\CurrentControlSet\\Services\\Tomcat6Brackwen");
         },
         "启动 Tomcat..." + dots(14) + "安装服务失败", "30 秒后服务仍为未安装状态"},
        {"installer cannot run",
         [](auto& os, auto&) {
             os.scm.installed.erase("TOMCAT6BRACKWEN");
             os.reg.removeKey(HKLM, "SYSTEM\\CurrentControlSet\\Services\\Tomcat6Brackwen");
             os.fail(std::string("CreateProcessA ") + kTomcatInstall, 2);
         },
         "启动 Tomcat...安装服务失败",
         std::string("无法运行命令：") + kTomcatInstall + "（错误 2：message 2）"},
        {"already starting", [](auto&, auto& s) { s.state = kServiceStartPending; },
         "启动 Tomcat...已启动", ""},
        {"stopping counts as started", [](auto&, auto& s) { s.state = kServiceStopPending; },
         "启动 Tomcat...已启动", ""},
        {"read-only machine, one dot",
         [](auto& os, auto& s) {
             os.reg.makeReadOnly(HKLM);
             s.startDelay = 3.01;
         },
         "启动 Tomcat....成功", ""},
        {"net cannot run",
         [](auto& os, auto&) { os.fail("CreateProcessA cmd /c net start Tomcat6Brackwen", 5); },
         "启动 Tomcat...失败",
         "无法运行命令：cmd /c net start Tomcat6Brackwen（错误 5：message 5）"},
        {"never completes", [](auto&, auto& s) { s.startDelay = -1; }, failed,
         "30 秒后服务仍为正在启动状态"},
        {"service refused",
         [](auto& os, auto&) {
             os.fail("OpenServiceA Tomcat6Brackwen 0x80000000", platform::kErrorAccessDenied);
         },
         failed, "30 秒后服务仍为未知状态"},
        {"exits at once", [](auto&, auto& s) { s.failsWith = 1067; }, "启动 Tomcat...失败",
         "服务已停止（错误 1067：message 1067）"},
        {"service-specific code",
         [](auto&, auto& s) {
             s.failsWith = platform::kErrorServiceSpecificError;
             s.specificCode = 20042;
         },
         "启动 Tomcat...失败", "服务已停止（错误 20042）"},
        {"port held by a named program",
         [](auto& os, auto& s) {
             s.failsWith = 1067;
             os.net.listeners[8080] = 1911;
             os.procs.names[1911] = "java.exe";
         },
         "启动 Tomcat...失败", "端口 8080 已被 java.exe（PID 1911）占用"},
        {"port held, owner unknown",
         [](auto& os, auto& s) {
             s.failsWith = 1067;
             os.net.listeners[8080] = 0;
         },
         "启动 Tomcat...失败", "端口 8080 已被其他程序占用"},
        {"port held, no table",
         [](auto& os, auto& s) {
             s.failsWith = 1067;
             os.net.tableReadable = false;
             os.net.hold(platform::kInAddrAny, 8080);
         },
         "启动 Tomcat...失败", "端口 8080 已被其他程序占用"},
        {"port held by the service itself",
         [](auto& os, auto& s) {
             s.startDelay = -1;
             s.processId = 1911;
             os.net.listeners[8080] = 1911;
         },
         failed, "30 秒后服务仍为正在启动状态"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        m.os.commands.registerService(kMysql, "D:\\OA\\m.exe", kServiceRunning);
        c.shape(m.os, m.os.commands.registerService(kTomcat, "D:\\OA\\t.exe"));
        ASSERT_FALSE(m.load());
        const double started = m.os.clockImpl.monotonic;
        m.os.ui.advance(1.0);
        std::vector<std::string> expected{"启动 MySQL...已启动", c.line};
        if (!c.reason.empty()) expected.push_back("原因：" + c.reason);
        EXPECT_EQ(m.lines(1), expected);
        EXPECT_EQ(m.ctl(IDC_lstView).selected, 2) << "the reason line is not selected";
        EXPECT_EQ(m.ctl(IDC_lblTomcat).caption,
                  c.reason.empty() ? "Tomcat:已启动" : "Tomcat:已停止");
        // Only a wait that saw no end runs its 30 seconds; a start that failed ends at once.
        const double waited = m.os.clockImpl.monotonic - started;
        if (c.line.find(dots(14)) != std::string::npos)
            EXPECT_NEAR(waited, 31.0, 0.2);
        else
            EXPECT_LT(waited, 5.0);
        EXPECT_EQ(m.os.procs.openProcesses(), 0u);
        m.expectNothingOpen();
    }
}

TEST_F(PanelTest, ASlowStartStillSucceedsAndANotifyingSystemIsAskedSeldom) {
    for (bool notifying : {false, true}) {
        SCOPED_TRACE(notifying);
        Machine m;
        m.os.scm.notifications = notifying;
        m.os.commands.registerService(kMysql, "D:\\OA\\m.exe", kServiceRunning);
        m.os.commands.registerService(kTomcat, "D:\\OA\\t.exe").startDelay = 20.0;
        ASSERT_FALSE(m.load());
        const double start = m.os.clockImpl.monotonic;
        m.os.ui.advance(1.0);
        EXPECT_EQ(m.last(), "启动 Tomcat..." + dots(9) + "成功");
        // Seen when it runs, not a poll later: the start came at 1 s, RUNNING 20 s after it.
        EXPECT_NEAR(m.os.clockImpl.monotonic - start, 21.0, notifying ? 0.01 : 0.06);
        const int looks = m.os.count("QueryServiceStatus");
        EXPECT_TRUE(notifying ? looks < 60 : looks > 300) << looks;
        m.expectNothingOpen();
    }
}

TEST_F(PanelTest, AStopSaysHowItEndedAndAFailureWhy) {
    const struct {
        std::uint32_t state;
        double stopDelay;
        bool netFails;
        std::string line, reason;
    } cases[] = {
        {kServiceRunning, 2.51, false, "停止 Tomcat....成功", ""},
        {kServiceStopPending, 1.0, false, "停止 Tomcat...成功", ""},  // asked to stop again
        {kServiceStopped, 1.0, false, "停止 Tomcat...未启动", ""},
        {kServiceRunning, -1, false, "停止 Tomcat..." + dots(14) + "失败",
         "30 秒后服务仍为已启动状态"},
        {kServiceRunning, 1.0, true, "停止 Tomcat...失败",
         "无法运行命令：cmd /c net stop Tomcat6Brackwen（错误 5：message 5）"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Machine m;
        m.os.commands.registerService(kTomcat, "D:\\OA\\t.exe", kServiceRunning);
        m.loadAndAutoStart();
        auto& s = *m.os.scm.find(kTomcat);
        s.state = c.state;
        s.stopDelay = c.stopDelay;
        if (c.netFails) m.os.fail("CreateProcessA cmd /c net stop Tomcat6Brackwen", 5);
        const int before = m.count();
        m.click(IDC_cmdStop);
        std::vector<std::string> expected{c.line};
        if (!c.reason.empty()) expected.push_back("原因：" + c.reason);
        EXPECT_EQ(m.lines(before), expected);
        EXPECT_EQ(m.ctl(IDC_lblTomcat).caption,
                  c.reason.empty() ? "Tomcat:已停止" : "Tomcat:已启动");
        m.expectNothingOpen();
    }
}

TEST_F(PanelTest, AFailureWhileTheWindowIsHiddenShowsABalloon) {
    loadAndAutoStart();
    os.scm.find(kTomcat)->failsWith = 1067;
    click(IDC_cmdTomcat);
    click(IDC_cmdTomcat);  // shown: the reason line is enough
    const auto balloons = [&] {
        return std::count_if(os.tray.notifications.begin(), os.tray.notifications.end(),
                             [](const auto& n) { return !n.data.szInfoTitle.empty(); });
    };
    EXPECT_EQ(balloons(), 0);

    os.ui.close(0);                                                // the close box hides the window
    os.tray.pick = [](const auto& items) { return items[1].id; };  // 重新启动
    frm->onTrayMessage(platform::kWmRButtonUp);
    EXPECT_EQ(balloons(), 1);
    const auto shown = std::find_if(os.tray.notifications.begin(), os.tray.notifications.end(),
                                    [](const auto& n) { return !n.data.szInfoTitle.empty(); });
    const auto& balloon = shown->data;
    EXPECT_EQ(shown->message, platform::kNimModify);
    EXPECT_EQ(balloon.uFlags, platform::kNifInfo);
    EXPECT_EQ(balloon.szInfoTitle, "Tomcat 启动失败");
    EXPECT_EQ(balloon.szInfo, "原因：服务已停止（错误 1067：message 1067）");
    EXPECT_EQ(balloon.dwInfoFlags, platform::kNiifError);
    EXPECT_EQ(balloon.uID, os.tray.notifications.front().data.uID);
}

TEST_F(PanelTest, TheLogIsKeptInTheApplicationFolderToo) {
    const std::string path = "D:\\OA\\oapanel.log";
    os.filesImpl.content[path] = std::string(LogFileFull(), 'x');  // just under 1 MB
    loadAndAutoStart();
    const auto file = [&](const std::string& p) {
        std::string expected = "\xEF\xBB\xBF";
        for (const auto& line : ctl(IDC_lstView).items) expected += line + "\r\n";
        EXPECT_EQ(os.filesImpl.content[p], expected);
    };
    file(path);
    EXPECT_EQ(os.filesImpl.content[path + ".1"].size(), LogFileFull()) << "the full one moved";

    os.filesImpl.locked = {path};  // another program holds it: said once, nothing lost
    click(IDC_cmdTomcat);
    click(IDC_cmdCheckPort);
    EXPECT_EQ(std::count(ctl(IDC_lstView).items.begin(), ctl(IDC_lstView).items.end(),
                         "2012-01-09 05:32:50 - 无法写入日志文件：" + path),
              1);
    os.filesImpl.locked.clear();
    os.filesImpl.content.erase(path);  // renamed away meanwhile: a new file starts
    click(IDC_cmdTomcat);
    EXPECT_EQ(os.filesImpl.content[path].substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(os.filesImpl.content[path].find("停止 Tomcat...成功\r\n"), std::string::npos);
    EXPECT_NE(os.filesImpl.content[path].find("TOMCAT端口 8080"), std::string::npos);

    Machine deep;  // a line longer than any buffer: the welcome line of a very long folder
    deep.os.application.path = "D:\\" + std::string(100000, 'a');
    deep.os.reg.putText(HKLM, fake::FakePlatform::kSystemEnvironment, "JRE_BK_HOME",
                        deep.os.application.path + "\\jre16bk");
    deep.loadAndAutoStart();
    EXPECT_NE(deep.os.filesImpl.content[deep.os.application.path + "\\oapanel.log"].find(
                  "运行路径：" + deep.os.application.path + "\r\n"),
              std::string::npos);
}

TEST_F(PanelTest, DotsAndTheOutcomeLandOnTheLineTheUserSelected) {
    os.commands.registerService(kMysql, "D:\\OA\\m.exe", kServiceRunning);
    os.commands.registerService(kTomcat, "D:\\OA\\t.exe").startDelay = 6.01;
    ASSERT_FALSE(load());
    os.ui.after(4.0, [&] { os.ui.userSelects(IDC_lstView, 0); });
    os.ui.advance(1.0);
    EXPECT_EQ(lines(), (std::vector<std::string>{"欢迎使用澜栖OA系统，运行路径：D:\\OA..成功",
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
    EXPECT_EQ(lines(4), (std::vector<std::string>{"启动 MySQL..." + dots(14) + "安装服务失败",
                                                  "原因：30 秒后服务仍为未安装状态",
                                                  "启动 Tomcat...已启动", "启动 澜栖OA...失败"}));
    EXPECT_EQ(ctl(IDC_lstView).selected, 7);

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
