// Installing, starting, stopping and removing the services, from the automatic start, the
// toggles, the whole-system button and the tray, on services that take scripted times.
#include <functional>

#include "panel/command_runner.h"
#include "services/service_query.h"
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using platform::kServiceRunning;
using platform::kServiceStartPending;
using platform::kServiceStopped;
using Service = fake::FakeServiceManager::Service;
const char kTomcatKey[] = "SYSTEM\\CurrentControlSet\\Services\\Tomcat6Brackwen";
const char kTomcatInstall[] =
    "cmd /c D:\\OA\\tomcat6\\bin\\service.bat install D:\\OA\\tomcat6\\bin";

TEST_F(PanelTest, TheAutomaticStartRunsOnceAfterTheStartUpDatabaseFirst) {
    os.commands.registerDelay[kTomcat] = 5.01;  // two dots while installing
    os.commands.installedAs.startDelay = 3.01;  // one more while starting
    os.net.resolvable = false;  // a start-up message box stays open for 3 s, its loop ticking
    os.application.whileOpen = [&](const auto&) { os.ui.advance(3); };
    ASSERT_FALSE(load());
    EXPECT_EQ(boxes(), std::vector<std::string>{"Can't resolve name."});
    os.ui.advance(0.9);
    EXPECT_TRUE(os.procs.launches.empty()) << "not before a second after the start-up";
    bool oaDisabledDuring = false;
    os.ui.after(3.0, [&] { oaDisabledDuring = !ctl(IDC_cmdOA).enabled; });
    os.ui.advance(60);
    // The web container starts once the database greets; then /oa answers.
    EXPECT_EQ(lines(1), (std::vector<std::string>{
                            "启动 MySQL....成功", "MySQL 已就绪（5.0.96-fake，用时 3 秒）",
                            "启动 Tomcat......成功", "OA 已就绪（HTTP 200，用时 8 秒）"}));
    EXPECT_EQ(launched(), (std::vector<std::string>{
                              "cmd /c D:\\OA\\mysql5\\bin\\mysqld2.exe --install MySQL5Brackwen "
                              "--basedir=D:\\OA\\mysql5",
                              "cmd /c net start MySQL5Brackwen", kTomcatInstall,
                              "cmd /c net start Tomcat6Brackwen"}));
    EXPECT_EQ(os.procs.launches[0].showMode, platform::kSwHide);
    EXPECT_TRUE(oaDisabledDuring && ctl(IDC_cmdOA).enabled && !ctl(IDC_tmStart).enabled);
}

TEST_F(PanelTest, AStartSaysHowItEndedAndAFailureWhy) {
    const std::string failed = "启动 Tomcat..." + dots(14) + "失败", quick = "启动 Tomcat...失败";
    // The start fails, and during "net start" the server adds to its log, or makes it anew.
    const auto writesLog = [](std::string added, bool anew = false) {
        return [added, anew](fake::FakePlatform& os, Service& s) {
            s.failsWith = 1067;
            os.filesImpl.existing.insert("D:\\OA\\tomcat6\\logs");
            const std::string log = "D:\\OA\\tomcat6\\logs\\catalina.2012-01-09.log";
            os.filesImpl.content[log] = "SEVERE: an old one\r\n";
            os.record.onCall = [&os, log, added, anew](const std::string& call) {
                if (call.find("net start Tomcat6Brackwen") == std::string::npos) return;
                if (anew) os.filesImpl.content.erase(log), os.filesImpl.ids.erase(log);
                os.filesImpl.content[log] += added;
            };
        };
    };
    const struct {
        std::function<void(fake::FakePlatform&, Service&)> shape;
        std::string line, reason = "";  // no reason: no reason line
        std::string serverLog = "";     // the server's own line, after the reason
    } cases[] = {
        {[](auto& os, auto&) { os.reg.denyAccess(HKLM, kTomcatKey); },
         "启动 Tomcat..." + dots(14) + "安装服务失败", "30 秒后服务仍为未安装状态"},
        {[](auto& os, auto&) {
             os.reg.removeKey(HKLM, kTomcatKey),
                 os.fail("CreateProcessA " + std::string(kTomcatInstall), 2);
         },
         "启动 Tomcat...安装服务失败",
         std::string("无法运行命令：") + kTomcatInstall + "（错误 2：message 2）"},
        {[](auto&, auto& s) { s.state = platform::kServiceStopPending; }, "启动 Tomcat...已启动"},
        {[](auto& os, auto&) {
             os.commands.netDelay = 1, os.procs.commandSeconds = 3;
         },  // slow net
         "启动 Tomcat...成功"},
        {[](auto& os, auto&) { os.fail("CreateProcessA cmd /c net start Tomcat6Brackwen", 5); },
         quick, "无法运行命令：cmd /c net start Tomcat6Brackwen（错误 5：message 5）"},
        {[](auto&, auto& s) { s.startDelay = -1; }, failed, "30 秒后服务仍为正在启动状态"},
        {[](auto& os, auto&) { os.fail("OpenServiceA Tomcat6Brackwen 0x80000000", 5); }, failed,
         "30 秒后服务仍为未知状态"},
        {[](auto& os, auto&) { os.scm.installed.erase("TOMCAT6BRACKWEN"); }, failed,
         "30 秒后服务仍为未安装状态"},  // its key is there, the service is not
        {[](auto&, auto& s) { s.failsWith = 1067; }, quick,
         "服务已停止（错误 1067：message 1067）"},
        {// what the server wrote during this start, not before
         writesLog("\xD1\xCF\xD6\xD8: Catalina.start: \r\n"
                   "java.net.BindException: Address already in use: JVM_Bind\r\nlater\r\n"),
         quick, "服务已停止（错误 1067：message 1067）",
         "Tomcat 日志：严重: Catalina.start:；java.net.BindException: Address already in use: "
         "JVM_Bind"},
        {// a new file, longer than the old one: read from its head, not from the old size
         writesLog("SEVERE: Catalina.start: [error] port taken\r\n", true), quick,
         "服务已停止（错误 1067：message 1067）",
         "Tomcat 日志：SEVERE: Catalina.start: [error] port taken"},
        {[](auto&, auto& s) {
             s.failsWith = platform::kErrorServiceSpecificError, s.specificCode = 20042;
         },
         quick, "服务已停止（服务自身的错误代码 20042）"},
        // Never run: the exit code is that of its last run, so the cause is looked for.
        {[](auto&, auto& s) { s.config.startType = platform::kServiceDisabled, s.exitCode = 1067; },
         quick, "服务已被禁用"},
        {[](auto& os, auto& s) {
             s.refusesStart = true, os.filesImpl.existing.erase("D:\\OA\\t.exe");
         },
         quick, "服务程序不存在：D:\\OA\\t.exe"},
        {[](auto& os, auto& s) {
             s.refusesStart = true, s.config.binaryPathName = "D:\\OA\\my app\\t --service";
             os.filesImpl.existing.insert("D:\\OA\\my app\\t.exe");
             os.procs.exitCodes["cmd /c net start Tomcat6Brackwen"] = 2;
         },
         quick, "服务未能启动（net start 退出代码 2）"},
        {[](auto& os, auto&) {  // it starts just as the command ends: the command is read first
             os.commands.netDelay = 100, os.procs.commandSeconds = 0;
             os.record.onCall = [&os](const std::string& call) {
                 if (call == "WaitForSingleObject cmd /c net start Tomcat6Brackwen")
                     os.scm.find(kTomcat)->state = platform::kServiceRunning;
             };
         },
         "启动 Tomcat...成功"},
        // The session ends while the panel waits for the installer, or for net start: the line
        // keeps its dots, and nothing more is said or launched.
        {[](auto& os, auto&) {
             os.scm.installed.erase("TOMCAT6BRACKWEN"), os.reg.removeKey(HKLM, kTomcatKey);
             os.commands.registerDelay[kTomcat] = 5;
             os.ui.after(4, [&os] { os.ui.endSession(); });
         },
         "启动 Tomcat...."},
        {[](auto& os, auto& s) {
             s.startDelay = -1;
             os.ui.after(4, [&os] { os.ui.endSession(); });
         },
         "启动 Tomcat...."},
        {[](auto& os, auto& s) {
             s.failsWith = 1067, os.net.listeners[8080] = 1911, os.procs.names[1911] = "java.exe";
         },
         quick, "端口 8080 已被 java.exe（PID 1911）占用"},
        {[](auto& os, auto& s) {
             s.failsWith = 1067, os.net.listeners[8080] = 0, os.procs.names[0] = "Idle";
         },
         quick, "端口 8080 已被其他程序占用"},
        {[](auto& os, auto& s) {
             s.failsWith = 1067, os.net.tableReadable = false, os.net.hold({0, 0, 0, 0}, 8080);
         },
         quick, "端口 8080 已被其他程序占用"},
        {[](auto& os, auto& s) {
             s.startDelay = -1, s.processId = 1911, os.net.listeners[8080] = 1911;
         },
         failed, "30 秒后服务仍为正在启动状态"},  // the port is the service's own
        {[](auto& os, auto& s) {
             s.startDelay = -1, s.processId = 1911, os.net.tableReadable = false,
             os.net.hold({0, 0, 0, 0}, 8080);
         },
         failed, "30 秒后服务仍为正在启动状态"},  // the same, as far as a bind can tell
    };
    for (const auto& c : cases) {
        Machine m;
        m.os.commands.registerService(kMysql, "D:\\OA\\m.exe", kServiceRunning);
        c.shape(m.os, m.os.commands.registerService(kTomcat, "D:\\OA\\t.exe"));
        ASSERT_FALSE(m.load());
        const double started = m.os.clockImpl.monotonic;
        m.os.ui.advance(1.0);
        std::vector<std::string> expected{"启动 MySQL...已启动", c.line};
        if (!c.reason.empty()) expected.push_back("原因：" + c.reason);
        if (!c.serverLog.empty()) expected.push_back(c.serverLog);
        EXPECT_EQ(m.lines(1), expected);
        EXPECT_EQ(m.ctl(IDC_lstView).selected, 2) << "the reason line is not selected";
        const bool runs = c.line.ends_with("成功") || c.line.ends_with("已启动");
        EXPECT_EQ(m.ctl(IDC_lblTomcat).caption, runs ? "Tomcat:已启动" : "Tomcat:已停止");
        // Only a wait that saw no end runs its 30 seconds; a start that failed ends at once.
        EXPECT_NEAR(m.os.clockImpl.monotonic - started, c.line.find(dots(14)) + 1 ? 31 : 2.5, 2.5);
        EXPECT_EQ(m.os.procs.openProcesses(), 0u);
        m.os.ui.advance(0.5);  // the readiness probe after a start ends
        m.expectNothingOpen();
    }
}

TEST_F(PanelTest, ASlowStartStillSucceedsAndANotifyingSystemIsAskedSeldom) {
    for (const int run : {0, 1, 2}) {  // polled; notified; notified of a failure
        const bool notifying = run > 0;
        Machine m;
        m.os.scm.notifications = notifying;
        m.os.commands.registerService(kMysql, "D:\\OA\\m.exe", kServiceRunning);
        Service& s = m.os.commands.registerService(kTomcat, "D:\\OA\\t.exe");
        s.startDelay = 19.5, s.failsWith = run == 2 ? 1067 : 0;  // between two dots
        ASSERT_FALSE(m.load());
        const double start = m.os.clockImpl.monotonic;
        m.os.ui.advance(1.0);
        EXPECT_EQ(m.lines(2).at(0), "启动 Tomcat..." + dots(9) + (run == 2 ? "失败" : "成功"));
        // Seen when it runs or stops, not a poll later: the start came at 1 s, its end 19.5 s on.
        EXPECT_NEAR(m.os.clockImpl.monotonic - start, 20.5, notifying ? 0.01 : 0.06);
        const int looks = m.os.count("QueryServiceStatus");
        EXPECT_TRUE(notifying ? looks < 60 : looks > 300) << looks;
        EXPECT_LT(m.os.count("Mirror " + std::to_string(IDC_tmProbe)), 40) << "the engine sleeps";
    }
}

TEST_F(PanelTest, AStopSaysHowItEndedAndAFailureWhy) {
    const struct {
        std::uint32_t state;
        double stopDelay;
        bool netFails;
        std::string lines;
    } cases[] = {
        {kServiceRunning, 2.51, false, "停止 Tomcat....成功|"},
        {platform::kServiceStopPending, 1.0, false, "停止 Tomcat...成功|"},  // asked again
        {kServiceStopped, 1.0, false, "停止 Tomcat...未启动|"},
        {platform::kServicePaused, -1, false,
         "停止 Tomcat..." + dots(14) + "失败|原因：30 秒后服务仍为已暂停状态|"},
        {kServiceRunning, -1, false,
         "停止 Tomcat..." + dots(14) + "失败|原因：30 秒后服务仍为已启动状态|"},
        {kServiceRunning, 1.0, true,
         "停止 Tomcat...失败|原因：无法运行命令：cmd /c net stop Tomcat6Brackwen（错误 5：message "
         "5）|"},
    };
    for (const auto& c : cases) {
        Machine m;
        m.os.commands.registerService(kTomcat, "D:\\OA\\t.exe", kServiceRunning);
        m.loadAndAutoStart();
        Service& s = *m.os.scm.find(kTomcat);
        s.state = c.state, s.stopDelay = c.stopDelay;
        if (c.netFails) m.os.fail("CreateProcessA cmd /c net stop Tomcat6Brackwen", 5);
        const int before = m.count();
        m.click(IDC_cmdStop);
        std::string shown;
        for (const auto& line : m.lines(before)) shown += line + "|";
        EXPECT_EQ(shown, c.lines);
        EXPECT_EQ(m.ctl(IDC_lblTomcat).caption,
                  c.lines.find("原因") + 1 ? "Tomcat:已启动" : "Tomcat:已停止");
        m.expectNothingOpen();
    }
}

TEST_F(PanelTest, AFailureWhileTheWindowIsHiddenShowsABalloonAndTheLogGoesToTheFile) {
    const std::string path = "D:\\OA\\oapanel.log";
    os.filesImpl.content[path] = std::string(oapanel::LogFile::kLimit - 10, 'x');  // nearly full
    loadAndAutoStart();
    const auto file = [&] {
        std::string expected = "\xEF\xBB\xBF";
        for (const auto& line : ctl(IDC_lstView).items) expected += line + "\r\n";
        return expected;
    };
    const auto said = [&](const std::string& text) {  // how often the log says it
        const auto& items = ctl(IDC_lstView).items;
        return std::count(items.begin(), items.end(), "2012-01-09 05:32:50 - " + text);
    };
    EXPECT_EQ(os.filesImpl.content[path], file());
    EXPECT_EQ(os.filesImpl.content[path + ".1"].size(), oapanel::LogFile::kLimit - 10) << "moved";
    os.scm.find(kTomcat)->failsWith = 1067;
    click(IDC_cmdTomcat);
    click(IDC_cmdTomcat);  // shown: the reason line is enough
    EXPECT_TRUE(os.tray.balloons.empty());
    EXPECT_EQ(os.filesImpl.content[path], file());

    os.filesImpl.locked = {path};  // another program holds the file: said once, nothing lost
    os.ui.close(0);                // the close box hides the window
    os.tray.pick = [](const auto& items) { return items[1].id; };  // 重新启动
    frm->onTrayMessage(platform::kWmRButtonUp);
    ASSERT_EQ(os.tray.balloons.size(), 1u);
    const auto& b = os.tray.balloons[0];
    EXPECT_EQ(b.title + "|" + b.text + "|" + std::to_string(b.icon),
              "Tomcat 启动失败|原因：服务已停止（错误 1067：message 1067）|3");
    os.tray.shown = false;
    frm->onTaskbarCreated();  // shown once: Explorer coming back does not bring it back
    EXPECT_EQ(os.tray.balloons.size(), 1u);
    frm->onTrayMessage(platform::kWmRButtonUp);
    EXPECT_EQ(said("无法写入日志文件：" + path), 1);
    os.filesImpl.locked.clear();
    os.filesImpl.content.erase(path);  // renamed away meanwhile: a new file takes the waiting lines
    frm->onTrayMessage(platform::kWmRButtonUp);
    EXPECT_NE(os.filesImpl.content[path].find("\r\n2012-01-09 05:32:50 - 停止 Tomcat...未启动\r\n"),
              std::string::npos);
    // The file made a link to another one: that one is never written, and it is said once.
    const std::string written = os.filesImpl.content[path];
    os.filesImpl.links = {path};
    frm->onTrayMessage(platform::kWmRButtonUp);
    frm->onTrayMessage(platform::kWmRButtonUp);
    EXPECT_EQ(os.filesImpl.content[path], written);
    EXPECT_EQ(said("无法写入日志文件：" + path + "（文件是链接）"), 1);
    // The older file made a link: nothing is renamed onto it, which is said once; the file stops
    // short of 2 MB, and the lines that wait reach a new one once the link is gone.
    const std::string stuck = "无法轮换日志文件：" + path + "（文件是链接）";
    os.filesImpl.links = {path + ".1"};
    os.filesImpl.content[path].resize(oapanel::LogFile::kHardLimit - 100, 'x');
    for (int i = 0; i < 3; ++i) frm->onTrayMessage(platform::kWmRButtonUp);
    EXPECT_EQ(said(stuck), 1);
    EXPECT_LE(os.filesImpl.content[path].size(), oapanel::LogFile::kHardLimit);
    os.filesImpl.links.clear();
    frm->onTrayMessage(platform::kWmRButtonUp);
    EXPECT_NE(os.filesImpl.content[path].find(" - " + stuck + "\r\n"), std::string::npos);

    Machine deep;  // a line longer than any buffer: the welcome line of a very long folder
    const std::string dir = deep.os.application.path = "D:\\" + std::string(100000, 'a');
    deep.os.reg.putText(HKLM, fake::FakePlatform::kSystemEnvironment, "JRE_BK_HOME",
                        dir + "\\jre16bk");
    const std::string& emptied = deep.os.filesImpl.content[dir + "\\oapanel.log"] = "";
    deep.loadAndAutoStart();
    EXPECT_NE(emptied.find("运行路径：" + dir + "\r\n"), std::string::npos);
}

TEST_F(PanelTest, WaitsKeepTheWindowLiveAndEndWhenTheSessionDoes) {
    os.commands.registerService(kMysql, "D:\\OA\\m.exe", kServiceRunning);
    os.commands.registerService(kTomcat, "D:\\OA\\t.exe").startDelay = 6.01;
    ASSERT_FALSE(load());
    os.ui.after(4.0, [&] { os.ui.userSelects(IDC_lstView, 0); });  // the user picks an older line
    os.ui.advance(1.0);
    EXPECT_EQ(lines(), (std::vector<std::string>{"欢迎使用澜栖OA系统，运行路径：D:\\OA",
                                                 "启动 MySQL...已启动", "启动 Tomcat......成功"}));
    EXPECT_EQ(ctl(IDC_lstView).selected, 0) << "the selection stays where the user put it";
    const std::string& file = os.filesImpl.content["D:\\OA\\oapanel.log"];
    EXPECT_TRUE(file.ends_with(" - 启动 Tomcat......成功\r\n")) << "the file has the final line";
    // A click inside a wait runs to its end first; the toggles disable their buttons meanwhile.
    os.scm.find(kTomcat)->stopDelay = 5.0;
    bool inside = false;
    os.ui.after(1.0, [&] {
        inside =
            !ctl(IDC_cmdTomcat).enabled && !ctl(IDC_cmdOA).enabled && ctl(IDC_cmdMysql).enabled;
        click(IDC_cmdMysql);
        inside = inside && ctl(IDC_lblMysql).caption == "MySQL:已停止" &&
                 os.scm.find(kTomcat)->state == platform::kServiceStopPending;
    });
    click(IDC_cmdTomcat);
    EXPECT_TRUE(inside);
    EXPECT_TRUE(ctl(IDC_cmdTomcat).enabled && ctl(IDC_cmdOA).enabled && ctl(IDC_cmdMysql).enabled);
    EXPECT_EQ(lines(3), (std::vector<std::string>{"停止 Tomcat.....成功", "停止 MySQL...成功"}));
    EXPECT_EQ(status(), "Tomcat:已停止|MySQL:已停止|OA:已停止|启动 &Tomcat|启动 &MySQL|启动 &OA|");
    click(IDC_cmdTomcat);
    click(IDC_cmdMysql);
    EXPECT_EQ(status(),
              "Tomcat:已启动|MySQL:已启动|OA:已启动|停止 &Tomcat|停止 &MySQL|停止 &OA|connect");

    os.ui.advance(1.0);  // the readiness probes have said their piece
    // The session ends during a wait, the window hidden: the wait ends at once, its line keeps
    // its dots, nothing more is launched or said, and the file has what the window had.
    os.scm.find(kTomcat)->stopDelay = -1;
    os.ui.close(0);
    os.ui.after(3.0, [&] { os.ui.endSession(); });
    const double start = os.clockImpl.monotonic;
    os.procs.launches.clear();
    os.application.answers = {platform::kIdOk};
    click(IDC_cmdOA);
    EXPECT_LT(os.clockImpl.monotonic - start, 3.2);
    EXPECT_EQ(launched(), std::vector<std::string>{"cmd /c net stop Tomcat6Brackwen"});
    EXPECT_EQ(os.scm.find(kMysql)->state, kServiceRunning) << "left as it is";
    EXPECT_EQ(lines().back(), "停止 Tomcat....");
    EXPECT_TRUE(file.ends_with(" - 停止 Tomcat....\r\n") && os.tray.balloons.empty());
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), count());
    EXPECT_FALSE(os.tray.shown) << "and no icon comes back";

    oapanel::Form form{oapanel::MainWindowDesign(""), os.ui};  // the runner's unused procedures
    oapanel::ActivityLog log{form, os.clockImpl};
    oapanel::CommandRunner runner{os, log};
    os.ui.quit = false;
    runner.DelaySecond(3);
    os.ui.quit = true;  // quitting: a delay ends at once too
    runner.DelaySecond(3);
    EXPECT_NEAR(os.clockImpl.monotonic - start, 6.0, 0.3);
    EXPECT_TRUE(runner.ExecAndWait("cmd /c x", "D:\\", 10, platform::kSwHide, 0));
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
    EXPECT_EQ(last() + ctl(IDC_cmdOA).caption + ctl(IDC_lblBrackwen).caption,
              "启动 澜栖OA...成功停止 &OAcontact line");

    os.procs.launches.clear();
    os.application.answers = {platform::kIdCancel};
    const int before = count();
    click(IDC_cmdOA);
    EXPECT_EQ(boxes(), std::vector<std::string>{"确定停止OA服务吗？"});
    EXPECT_TRUE(count() == before && os.procs.launches.empty() && ctl(IDC_cmdOA).enabled);
    os.scm.find(kMysql)->stopDelay = -1;  // the database ignores its stop
    click(IDC_cmdOA);
    EXPECT_EQ(launched(), (std::vector<std::string>{"cmd /c net stop Tomcat6Brackwen",
                                                    "cmd /c net stop MySQL5Brackwen"}));
    EXPECT_EQ(last() + ctl(IDC_lblOA).caption + ctl(IDC_lblMysql).caption,
              "停止 澜栖OA...失败OA:已停止MySQL:已启动");
    click(IDC_cmdTomcat);
    os.scm.find(kMysql)->stopDelay = 1;
    click(IDC_cmdOA);
    EXPECT_EQ(last(), "停止 澜栖OA...成功");
}

// However the whole system is started, the web container starts once the database has
// answered, or stopped; a start that finds its server running leaves the check under way to
// say its piece, and the automatic start never runs inside the user's.
TEST_F(PanelTest, TheWholeSystemWaitsForTheDatabaseWhateverRanBefore) {
    const struct {
        std::vector<int>
            clicks;  // after the automatic start and a 停止 OA; none: as the window shows
        std::vector<std::string> lines;
        double tomcatAfter;  // Tomcat's net start, seconds after the clicks began; 0: none
    } cases[] = {
        {{},
         {"启动 MySQL...成功", "MySQL 已就绪（5.0.96-fake，用时 5 秒）", "启动 Tomcat...成功",
          "启动 澜栖OA...成功", "OA 已就绪（HTTP 200，用时 1 秒）"},
         6},
        {{IDC_cmdMysql, IDC_cmdOA},
         {"启动 MySQL...成功", "启动 MySQL...已启动", "MySQL 已就绪（5.0.96-fake，用时 5 秒）",
          "启动 Tomcat...成功", "启动 澜栖OA...成功", "OA 已就绪（HTTP 200，用时 1 秒）"},
         6},
        {{IDC_cmdTomcat, IDC_cmdOA},
         {"启动 Tomcat...成功", "启动 MySQL...成功", "OA 已就绪（HTTP 200，用时 5 秒）",
          "MySQL 已就绪（5.0.96-fake，用时 5 秒）", "启动 Tomcat...已启动", "启动 澜栖OA...成功"},
         0},
        {{IDC_cmdOA, 0},  // the database stops during the wait
         {"启动 MySQL...成功", "MySQL 已被其他程序停止", "启动 Tomcat...成功", "启动 澜栖OA...失败",
          "OA 已就绪（HTTP 200，用时 2 秒）"},
         3},  // seen within 2 s
    };
    for (const auto& c : cases) {
        Machine m;
        double readyAt = 1e9, tomcatAt = 0;  // the servers answer from then on
        m.os.net.servers[3307].answer = [&](auto&) {
            return m.os.clockImpl.monotonic < readyAt ? "" : fake::MysqlGreeting("5.0.96-fake");
        };
        m.os.net.servers[8080].answer = [&](auto&) {
            return std::string(m.os.clockImpl.monotonic < readyAt ? "HTTP/1.0 404 x\r\n"
                                                                  : "HTTP/1.0 200 OK\r\n");
        };
        m.os.procs.onLaunch = [&](const std::string& line) {
            if (line == "cmd /c net start Tomcat6Brackwen") tomcatAt = m.os.clockImpl.monotonic;
            m.os.commands.run(line);
        };
        for (const char* name : {kMysql, kTomcat})
            m.os.commands.registerService(name, "D:\\OA\\t.exe");
        ASSERT_FALSE(m.load());
        if (!c.clicks.empty()) {
            m.os.ui.advance(1.5), readyAt = 0, m.os.ui.advance(2);
            m.os.application.answers = {platform::kIdOk};
            m.click(IDC_cmdOA);
            readyAt = 1e9;
        }
        const int before = m.count();
        const double start = m.os.clockImpl.monotonic;
        tomcatAt = 0;
        m.os.ui.after(5.0, [&] { readyAt = 0; });
        if (c.clicks.size() > 1 && !c.clicks[1])
            m.os.ui.after(2.0, [&] { m.os.scm.find(kMysql)->state = kServiceStopped; });
        if (c.clicks.empty()) m.os.ui.after(0.3, [&] { m.click(IDC_cmdOA); });
        for (int id : c.clicks)
            if (id) m.click(id);
        m.os.ui.advance(10);
        EXPECT_EQ(m.lines(before), c.lines);
        EXPECT_NEAR(tomcatAt ? tomcatAt - start : 0, c.tomcatAfter, 1.0);
    }
}

// The database is ready when it greets, OA when /oa answers 200-399; whatever else comes back
// is said once, in time, and the window is never held up by a server (the longest call below
// 0.1 s). The whole system's start waits for the database's answer, at most 60 s.
TEST_F(PanelTest, TheDatabaseAndOaAreReadyWhenTheyAnswer) {
    using Server = fake::FakeSockets::Server;
    const std::string error = std::string("\x11\x00\x00\x01\xFF\x10\x04#08004", 13) + "Too many";
    const struct {
        Server server;
        std::string line;
        double after;  // seconds from the start's end to the line, about
    } database[] = {
        {{}, "MySQL 已就绪（5.0.96-fake，用时 1 秒）", 0.1},
        {{[&](auto&) { return error; }}, "MySQL 未就绪：错误 1040：Too many", 0.1},
        {{[](auto&) { return std::string(1 << 20, 'x'); }},
         "MySQL 未就绪：端口 3307 上的程序不是 MySQL",
         0.1},
        {{[](auto&) { return std::string(); }, 0, 0, true},
         "MySQL 未就绪：端口 3307 60 秒内未应答",
         60},
        {{[](auto&) { return fake::MysqlGreeting("5.0.96-fake"); }, 0, 1.0},  // a byte a second
         "MySQL 未就绪：端口 3307 60 秒内未应答",
         60},
        // A slow server: 2 s a try, and the connection stays open after the greeting.
        {{[](auto&) { return fake::MysqlGreeting("5.0.96-fake"); }, 1.5, 0, true},
         "MySQL 已就绪（5.0.96-fake，用时 2 秒）",
         1.6},
        {{[](auto&) { return fake::MysqlGreeting("5.0.96-fake"); }, 2.5, 0, true},
         "MySQL 未就绪：端口 3307 60 秒内未应答",
         60},
    };
    for (const auto& c : database) {
        Machine m;
        m.os.commands.registerService(kTomcat, "D:\\OA\\t.exe");
        m.os.commands.registerService(kMysql, "D:\\OA\\m.exe");
        if (c.server.answer) m.os.net.servers[3307] = c.server;
        double tomcatAt = 0;  // the whole system's start: the web container waits for the database
        m.os.procs.onLaunch = [&](const std::string& line) {
            if (line == "cmd /c net start Tomcat6Brackwen") tomcatAt = m.os.clockImpl.monotonic;
            m.os.commands.run(line);
        };
        m.loadAndAutoStart();
        m.os.ui.advance(70);
        const auto& lines = m.lines(1);
        EXPECT_EQ(lines.at(1), c.line);
        EXPECT_EQ(lines.at(2), "启动 Tomcat...成功");
        EXPECT_NEAR(tomcatAt - 1000, 1 + 1 + c.after, 0.6) << c.line;
        EXPECT_LT(m.os.net.longestBlock, 0.1);
        m.os.ui.advance(0.5);
        m.expectNothingOpen();
    }

    // /oa in the background after the web container's start, by how long since its click.
    const auto status = [](const char* line) {
        return [line](double) { return std::string("HTTP/1.1 ") + line + "\r\n\r\n"; };
    };
    const struct {
        std::function<std::string(double)> answer;
        std::string line;                         // none: the probe ends silently
        std::function<void(Machine&)> meanwhile;  // 10 s after the start's end
        double delay = 0;                         // before each answer
        bool before = false;                      // meanwhile: as the start ends instead
    } web[] = {
        {[](double t) {
             return std::string(t < 20 ? "HTTP/1.1 404 x\r\n" : "HTTP/1.0 200 OK\r\n");
         },
         "OA 已就绪（HTTP 200，用时 20 秒）",
         [](Machine& m) { m.os.net.listeners[8080] = 0x600; }},  // the service's own process
        {status("404 x"),
         "OA 未就绪：端口 8080 上的程序不是 Tomcat（java.exe，进程 1911）\nTomcat 日志：SEVERE: "
         "Error initializing endpoint；java.net.BindException: x",
         [](Machine& m) {
             m.os.net.listeners[8080] = 1911, m.os.procs.names[1911] = "java.exe";
             m.os.filesImpl.existing.insert("D:\\OA\\tomcat6\\logs");
             m.os.filesImpl.content["D:\\OA\\tomcat6\\logs\\catalina.2012-01-09.log"] =
                 "SEVERE: Error initializing endpoint\njava.net.BindException: x\n";
         },
         0, true},
        {status("200 OK"), "OA 已就绪（HTTP 200，用时 3 秒）", nullptr, 2.5},  // 3 s a try
        {status("302 Found"), "OA 已就绪（HTTP 302，用时 1 秒）", nullptr},
        {[](double) { return "HTTP/1.1 200 " + std::string(10240, 'x'); },
         "OA 已就绪（HTTP 200，用时 1 秒）", nullptr},
        {status("404 Not Found"), "OA 未就绪：/oa 仍返回 HTTP 404", nullptr},
        {[](double) { return std::string("SSH-2.0-OpenSSH\r\n"); },
         "OA 未就绪：300 秒内 /oa 未应答", nullptr},
        {[](double) { return std::string(); }, "OA 未就绪：300 秒内 /oa 未应答", nullptr},
        {status("404 x"), "", [](Machine& m) { m.click(IDC_cmdTomcat); }},  // stopped
        {status("404 x"), "", [](Machine& m) { m.os.scm.find(kTomcat)->state = kServiceStopped; }},
        {status("404 x"), "", [](Machine& m) { m.os.ui.endSession(); }},
    };
    for (const auto& c : web) {
        Machine m;
        m.os.commands.registerService(kTomcat, "D:\\OA\\t.exe");
        m.os.commands.registerService(kMysql, "D:\\OA\\m.exe", kServiceRunning);
        const double clicked = m.os.clockImpl.monotonic;
        m.os.net.servers[8080] = {
            [&m, &c, clicked](auto&) { return c.answer(m.os.clockImpl.monotonic - clicked); },
            c.delay};
        ASSERT_FALSE(m.load());
        m.os.ui.close(0);  // hidden in the tray: the outcome is a balloon too
        m.click(IDC_cmdTomcat);
        if (c.meanwhile) m.os.ui.after(c.before ? 0 : 10, [&] { c.meanwhile(m); });
        const int before = m.count();
        m.os.ui.advance(310);
        const auto added = m.lines(before);
        std::string said;
        for (const auto& line : added)
            if (line.starts_with("OA ") || line.starts_with("Tomcat 日志"))
                said += (said.empty() ? "" : "\n") + line;
        EXPECT_EQ(said, c.line);
        int balloons = 0;
        for (const auto& b : m.os.tray.balloons) {
            if (!b.title.starts_with("OA ")) continue;
            ++balloons;
            EXPECT_TRUE(c.line == b.title + b.text || c.line == b.title + "：" + b.text);
        }
        EXPECT_EQ(balloons, c.line.empty() ? 0 : 1) << c.line;
        EXPECT_LT(m.os.net.longestBlock, 0.1);
        m.expectNothingOpen();
    }
}

TEST(QueryServiceInfo, ReadsStateStartTypeAndPathAndClosesBothHandles) {
    fake::FakePlatform os;
    os.scm.install(kMysql, kServiceRunning, "  D:\\mysqld2.exe  ").config.startType = 2;
    std::int32_t state = 0, startType = 0;
    std::string path;
    EXPECT_TRUE(oapanel::QueryServiceInfo(os.scm, "  MySQL5Brackwen ", state, startType, path));
    EXPECT_EQ(std::to_string(state) + std::to_string(startType) + path, "42D:\\mysqld2.exe");
    EXPECT_EQ(os.scm.openHandles(), 0u);
    for (auto [code, stored] : {std::pair{7, 7}, {9, 0}}) {  // 9: no state Windows has
        os.scm.find(kMysql)->state = code;
        state = 0;
        EXPECT_TRUE(oapanel::QueryServiceInfo(os.scm, kMysql, state, startType, path));
        EXPECT_EQ(state, stored);
    }

    const std::pair<const char*, std::int32_t> failures[] = {
        {"", 0},
        {"OpenSCManagerA", 0},
        {"OpenServiceA", 0},
        {"QueryServiceStatus", 0},
        {"QueryServiceConfigA", 4}};  // the caller's 0, unless the status was read already
    for (const auto& [op, expected] : failures) {
        fake::FakePlatform m;
        if (*op) m.scm.install(kTomcat, kServiceRunning), m.fail(op, platform::kErrorAccessDenied);
        state = 0, startType = 77, path = "kept";
        const bool ok = oapanel::QueryServiceInfo(m.scm, kTomcat, state, startType, path);
        EXPECT_FALSE(ok || oapanel::CountsAsRunning(ok, state)) << op;
        EXPECT_EQ(std::to_string(state) + std::to_string(startType) + path,
                  std::to_string(expected) + "77kept");
        EXPECT_EQ(m.scm.openHandles(), 0u);
    }
}

}  // namespace
}  // namespace unit
