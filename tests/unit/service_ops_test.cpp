// Installing, starting, stopping and removing services, and the controls that do it, on a
// simulated machine whose services take scripted times to change state.
#include <gtest/gtest.h>

#include <algorithm>

#include "panel/frmMain.h"
#include "tests/fake/fake_platform.h"

namespace {

using platform::kServiceRunning;
using platform::kServiceStartPending;
using platform::kServiceStopped;
using platform::kServiceStopPending;

// Loads the window with the automatic start switched off, so a test drives the starts.
void loadWithoutAutoStart(fake::FakePlatform& machine, oapanel::frmMain& f) {
    machine.ui.createForm(f.form().model(), f);
    f.form().setEnabled(IDC_tmStart, false);
}

struct ServiceOpsTest : ::testing::Test {
    fake::FakePlatform os;
    oapanel::frmMain frm{os};

    void SetUp() override { loadWithoutAutoStart(os, frm); }

    // A service the bundle's installer has already registered, in the given state.
    void registered(const std::string& name, std::uint32_t state) {
        os.commands.registerService(name, "D:\\OA\\x.exe --service " + name);
        os.scm.find(name)->state = state;
    }
    std::string lastLine() {
        const std::string line = frm.form().listItem(IDC_lstView, lines() - 1);
        return line.substr(std::string("2012-01-09 05:32:50 - ").size());
    }
    int lines() { return frm.form().listCount(IDC_lstView); }
    int launched(const std::string& command) { return os.count("CreateProcessA " + command); }
    static std::string dots(int n) { return std::string(static_cast<std::size_t>(n), '.'); }
};

TEST_F(ServiceOpsTest, StartInstallsAMissingServiceThenStartsIt) {
    os.commands.installers["Tomcat6Brackwen"].registerDelay = 5.01;
    os.commands.installedAs.startDelay = 3.01;
    frm.cmdStart_Click();
    // Two dots while installing, one while starting.
    EXPECT_EQ(lastLine(), "启动 Tomcat..." + dots(3) + "成功");
    EXPECT_TRUE(frm.bTomcatRunning);
    EXPECT_EQ(launched("cmd /c D:\\OA\\tomcat6\\bin\\service.bat install D:\\OA\\tomcat6\\bin"), 1);
    EXPECT_EQ(launched("cmd /c net start Tomcat6Brackwen"), 1);
    EXPECT_EQ(os.scm.find("Tomcat6Brackwen")->state, kServiceRunning);
    EXPECT_EQ(os.scm.openHandles(), 0u);
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST_F(ServiceOpsTest, TheDatabaseInstallerGetsItsNameAndFolder) {
    frm.cmdMysqlStart_Click();
    EXPECT_EQ(launched("cmd /c D:\\OA\\mysql5\\bin\\mysqld2.exe --install MySQL5Brackwen "
                       "--basedir=D:\\OA\\mysql5"),
              1);
    EXPECT_TRUE(frm.bMysqlRunning);
    EXPECT_EQ(lastLine(), "启动 MySQL...成功");
}

TEST_F(ServiceOpsTest, AnInstallationThatNeverRegistersGivesUpAfterThirtySeconds) {
    os.commands.installers["MySQL5Brackwen"].registerDelay = -1;
    const double start = os.clockImpl.monotonic;
    frm.cmdMysqlStart_Click();
    EXPECT_EQ(lastLine(), "启动 MySQL..." + dots(14) + "安装服务失败");
    EXPECT_NEAR(os.clockImpl.monotonic - start, 30.0, 0.2);
    EXPECT_EQ(launched("cmd /c net start"), 0) << "no start is attempted";
    EXPECT_FALSE(frm.bMysqlRunning);
    EXPECT_EQ(frm.form().control(IDC_cmdMysql).caption, "启动 &MySQL");
}

TEST_F(ServiceOpsTest, AServiceAlreadyOnItsWayCountsAsStarted) {
    for (auto state : {kServiceStartPending, kServiceRunning, kServiceStopPending}) {
        fake::FakePlatform machine;
        oapanel::frmMain f{machine};
        loadWithoutAutoStart(machine, f);
        machine.commands.registerService("MySQL5Brackwen", "D:\\OA\\mysqld2.exe");
        machine.scm.find("MySQL5Brackwen")->state = state;
        f.cmdMysqlStart_Click();
        const auto& line = f.form().listItem(IDC_lstView, f.form().listCount(IDC_lstView) - 1);
        EXPECT_NE(line.find("启动 MySQL...已启动"), std::string::npos) << state;
        EXPECT_EQ(machine.count("CreateProcessA"), 0) << state;
        EXPECT_TRUE(f.bMysqlRunning);
    }
}

TEST_F(ServiceOpsTest, AStartThatNeverCompletesFailsAndLeavesTheFlagClear) {
    registered("Tomcat6Brackwen", kServiceStopped);
    os.scm.find("Tomcat6Brackwen")->startDelay = -1;
    frm.cmdStart_Click();
    EXPECT_EQ(lastLine(), "启动 Tomcat..." + dots(14) + "失败");
    EXPECT_FALSE(frm.bTomcatRunning) << "a failed start is not shown as running";
    EXPECT_EQ(frm.form().control(IDC_lblTomcat).caption, "Tomcat:已停止");
}

TEST_F(ServiceOpsTest, StopOutcomes) {
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
        fake::FakePlatform machine;
        oapanel::frmMain f{machine};
        loadWithoutAutoStart(machine, f);
        machine.commands.registerService("Tomcat6Brackwen", "D:\\OA\\t.exe");
        machine.scm.find("Tomcat6Brackwen")->state = c.state;
        machine.scm.find("Tomcat6Brackwen")->stopDelay = c.stopDelay;
        f.bTomcatRunning = true;
        f.cmdStop_Click();
        const auto& line = f.form().listItem(IDC_lstView, f.form().listCount(IDC_lstView) - 1);
        EXPECT_EQ(line.substr(22), c.line);
        EXPECT_EQ(f.bTomcatRunning, c.runningAfter) << "the flag follows the real outcome";
        EXPECT_EQ(machine.count("CreateProcessA cmd /c net stop Tomcat6Brackwen"), c.netStops);
    }
}

TEST_F(ServiceOpsTest, AServiceThatCannotBeOpenedCountsAsStopped) {
    registered("MySQL5Brackwen", kServiceRunning);
    os.faults.fail("OpenServiceA", platform::kErrorAccessDenied);
    frm.cmdMysqlStart_Click();
    EXPECT_EQ(lastLine(), "启动 MySQL..." + dots(14) + "失败");
    EXPECT_EQ(launched("cmd /c net start MySQL5Brackwen"), 1);
    frm.cmdMysqlStop_Click();
    EXPECT_EQ(lastLine(), "停止 MySQL...未启动");
    EXPECT_EQ(os.scm.openHandles(), 0u);
}

TEST_F(ServiceOpsTest, AServiceKeyThatCannotBeReadLooksUnregistered) {
    registered("Tomcat6Brackwen", kServiceStopped);
    os.reg.denyAccess(platform::kHkeyLocalMachine,
                      "SYSTEM\\CurrentControlSet\\Services\\Tomcat6Brackwen");
    frm.cmdStart_Click();
    EXPECT_EQ(lastLine(), "启动 Tomcat..." + dots(14) + "安装服务失败");
    EXPECT_EQ(launched("cmd /c D:\\OA\\tomcat6\\bin\\service.bat"), 1);
}

TEST_F(ServiceOpsTest, ReadingTheServiceKeyNeedsNoWriteRights) {
    registered("Tomcat6Brackwen", kServiceStopped);
    os.reg.makeReadOnly(platform::kHkeyLocalMachine);
    frm.cmdStart_Click();
    EXPECT_EQ(lastLine(), "启动 Tomcat...成功");
    EXPECT_EQ(launched("cmd /c D:\\OA\\tomcat6\\bin\\service.bat"), 0);
}

TEST_F(ServiceOpsTest, DotsAndOutcomeLandOnTheLineTheUserSelectedMidWait) {
    registered("MySQL5Brackwen", kServiceStopped);
    os.scm.find("MySQL5Brackwen")->startDelay = 6.01;
    os.ui.after(3.0, [&] { os.ui.userSelects(IDC_lstView, 0); });
    frm.cmdMysqlStart_Click();
    EXPECT_EQ(frm.form().listItem(IDC_lstView, 0).substr(22),
              "欢迎使用澜栖OA系统，运行路径：D:\\OA.成功");
    EXPECT_EQ(lastLine(), "启动 MySQL....");
}

TEST_F(ServiceOpsTest, TogglesDisableTheirButtonsWhileTheyRun) {
    registered("Tomcat6Brackwen", kServiceStopped);
    os.scm.find("Tomcat6Brackwen")->startDelay = 3.0;
    bool sawDisabled = false;
    os.ui.after(1.0, [&] {
        sawDisabled = !frm.form().control(IDC_cmdTomcat).enabled &&
                      !frm.form().control(IDC_cmdOA).enabled &&
                      frm.form().control(IDC_cmdMysql).enabled;
    });
    os.ui.userClicks(IDC_cmdTomcat);
    EXPECT_TRUE(sawDisabled);
    EXPECT_TRUE(frm.form().control(IDC_cmdTomcat).enabled);
    EXPECT_TRUE(frm.form().control(IDC_cmdOA).enabled);
    EXPECT_EQ(frm.form().control(IDC_cmdTomcat).caption, "停止 &Tomcat");
    EXPECT_EQ(frm.form().control(IDC_cmdOA).caption, "启动 &OA");

    registered("MySQL5Brackwen", kServiceStopped);
    os.ui.userClicks(IDC_cmdMysql);
    EXPECT_EQ(frm.form().control(IDC_cmdOA).caption, "停止 &OA");
    os.ui.userClicks(IDC_cmdTomcat);  // running now: the toggle stops it
    EXPECT_EQ(frm.form().control(IDC_cmdTomcat).caption, "启动 &Tomcat");
    EXPECT_EQ(os.scm.find("Tomcat6Brackwen")->state, kServiceStopped);
}

TEST_F(ServiceOpsTest, AHandlerClickedInsideAWaitRunsToItsEndFirst) {
    registered("Tomcat6Brackwen", kServiceStopped);
    registered("MySQL5Brackwen", kServiceStopped);
    os.scm.find("Tomcat6Brackwen")->startDelay = 5.0;
    bool mysqlDoneInside = false;
    os.ui.after(1.0, [&] {
        os.ui.userClicks(IDC_cmdMysql);
        mysqlDoneInside =
            frm.bMysqlRunning && os.scm.find("Tomcat6Brackwen")->state == kServiceStartPending;
    });
    frm.cmdStart_Click();
    EXPECT_TRUE(mysqlDoneInside);
    EXPECT_TRUE(frm.bTomcatRunning);
    EXPECT_EQ(frm.form().control(IDC_lblOA).caption, "OA:已启动");
}

TEST_F(ServiceOpsTest, AutomaticStartRunsOnceDatabaseFirst) {
    fake::FakePlatform machine;
    machine.commands.installedAs.startDelay = 4.0;  // far longer than the timer's interval
    oapanel::frmMain f{machine};
    bool oaDisabledDuring = false;
    machine.ui.createForm(f.form().model(), f);
    machine.ui.after(3.0, [&] { oaDisabledDuring = !f.form().control(IDC_cmdOA).enabled; });
    machine.ui.advance(60.0);

    std::vector<std::string> starts;
    for (const auto& line : f.form().control(IDC_lstView).items)
        if (line.find(" - 启动 ") != std::string::npos) starts.push_back(line.substr(22));
    ASSERT_EQ(starts.size(), 2u) << "the tick ran once";
    EXPECT_EQ(starts[0], "启动 MySQL....成功");
    EXPECT_EQ(starts[1], "启动 Tomcat....成功");
    EXPECT_TRUE(oaDisabledDuring);
    EXPECT_TRUE(f.form().control(IDC_cmdOA).enabled);
    EXPECT_FALSE(f.form().control(IDC_tmStart).enabled);
    EXPECT_EQ(f.form().control(IDC_cmdOA).caption, "停止 &OA");
}

TEST_F(ServiceOpsTest, RemovalStopsBothThenDeletesWithoutMovingTheSelection) {
    registered("Tomcat6Brackwen", kServiceRunning);
    registered("MySQL5Brackwen", kServiceRunning);
    frm.bTomcatRunning = frm.bMysqlRunning = true;
    const int before = lines();
    frm.RemoveServices();
    std::vector<std::string> added;
    for (int i = before; i < lines(); ++i)
        added.push_back(frm.form().listItem(IDC_lstView, i).substr(22));
    const std::vector<std::string> expected = {"正在停止 Tomcat 服务", "停止 Tomcat...成功",
                                               "正在停止 MySQL 服务",  "停止 MySQL...成功",
                                               "删除 Tomcat 服务",     "删除 MySQL 服务"};
    EXPECT_EQ(added, expected);
    EXPECT_EQ(frm.form().listSelected(IDC_lstView), before + 3);
    EXPECT_FALSE(os.scm.find("Tomcat6Brackwen"));
    EXPECT_FALSE(os.scm.find("MySQL5Brackwen"));
    EXPECT_FALSE(frm.bTomcatRunning || frm.bMysqlRunning);
}

TEST_F(ServiceOpsTest, WaitsEndAtOnceWhenDoneAndDelaysLetTimePass) {
    const double start = os.clockImpl.monotonic;
    frm.log().AppendLog("x");
    EXPECT_TRUE(frm.runner().WaitWithDots(30, [] { return true; }));
    EXPECT_EQ(lastLine(), "x");
    EXPECT_LT(os.clockImpl.monotonic - start, 0.1);

    frm.runner().DelaySecond(0);
    EXPECT_GT(os.clockImpl.monotonic, start);
    const double before = os.clockImpl.monotonic;
    frm.runner().DelaySecond(3);
    EXPECT_NEAR(os.clockImpl.monotonic - before, 3.0, 0.06);
}

}  // namespace
