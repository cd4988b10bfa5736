// The tray icon, its menu, and the whole-system button.
#include <gtest/gtest.h>

#include "panel/frmMain.h"
#include "tests/fake/fake_platform.h"

namespace {

const char kStopIco[] = "D:\\OA\\tomcat6\\bin\\stop.ico";
const char kRunIco[] = "D:\\OA\\tomcat6\\bin\\run.ico";

struct TrayTest : ::testing::Test {
    fake::FakePlatform os;
    oapanel::frmMain frm{os};

    void SetUp() override {
        os.tray.iconFiles = {kStopIco, kRunIco};
        os.ui.createForm(frm.form().model(), frm);
        frm.form().setEnabled(IDC_tmStart, false);
    }
    void registered(const std::string& name, std::uint32_t state) {
        os.commands.registerService(name, "D:\\OA\\x.exe");
        os.scm.find(name)->state = state;
    }
    std::string lastLine() {
        return frm.form().listItem(IDC_lstView, frm.form().listCount(IDC_lstView) - 1).substr(22);
    }
    std::vector<std::string> launches() {
        std::vector<std::string> out;
        for (const auto& l : os.procs.launches) out.push_back(l.commandLine);
        return out;
    }
};

TEST_F(TrayTest, TheIconIsAddedWithTheTitleAndTheStoppedPicture) {
    ASSERT_FALSE(os.tray.notifications.empty());
    const auto& add = os.tray.notifications.front();
    EXPECT_EQ(add.message, platform::kNimAdd);
    EXPECT_EQ(add.data.uFlags, 0x17u);
    EXPECT_EQ(add.data.szTip, "oapanel") << "the title alone, nothing trailing";
    EXPECT_EQ(add.data.uID, static_cast<std::uint32_t>(0.5 * 2147483647.0));
    EXPECT_EQ(os.count("LoadImageA " + std::string(kStopIco) + " 16x16 4112"), 2)
        << "once for the add, once for the first refresh";
    EXPECT_TRUE(os.tray.iconShown());
}

TEST_F(TrayTest, ThePictureFollowsTheFlagsAndOldPicturesAreReleased) {
    for (auto [tomcat, mysql] :
         {std::pair{true, true}, {true, false}, {false, true}, {true, true}, {false, false}}) {
        frm.bTomcatRunning = tomcat;
        frm.bMysqlRunning = mysql;
        frm.RefreshStatus();
        const auto& modify = os.tray.notifications.back();
        EXPECT_EQ(modify.message, platform::kNimModify);
        EXPECT_EQ(modify.data.uFlags, 7u);
        EXPECT_EQ(modify.data.uID, os.tray.notifications.front().data.uID);
        EXPECT_EQ(os.tray.loadedFrom[os.tray.shownPicture()], tomcat && mysql ? kRunIco : kStopIco);
    }
    EXPECT_EQ(os.tray.liveIcons.size(), 1u) << "only the picture on show is kept";
}

TEST_F(TrayTest, AMissingIconFileFallsBackToTheStoredPicture) {
    os.tray.iconFiles.erase(kStopIco);
    frm.RefreshStatus();
    EXPECT_EQ(os.tray.shownPicture(), os.tray.storedPicture(1));
    frm.bTomcatRunning = frm.bMysqlRunning = true;
    os.tray.iconFiles.clear();
    frm.RefreshStatus();
    EXPECT_EQ(os.tray.shownPicture(), os.tray.storedPicture(2));
}

TEST_F(TrayTest, MouseMessagesOnTheIcon) {
    frm.form().setFormVisible(false);
    frm.form().setWindowState(platform::WindowState::Maximized);
    os.ui.model->find(IDC_lblBrackwen)->caption = "changed";
    for (std::uint32_t ignored : {0x200u, 0x201u, 0x202u, 0x204u, 0x206u, 0x207u, 0x209u}) {
        frm.onTrayMessage(ignored);
        EXPECT_FALSE(frm.form().model().visible) << ignored;
    }
    EXPECT_TRUE(os.tray.menus.empty());

    frm.onTrayMessage(platform::kWmLButtonDblClk);
    EXPECT_TRUE(frm.form().model().visible);
    EXPECT_EQ(frm.form().model().state, platform::WindowState::Normal);
    EXPECT_EQ(frm.form().control(IDC_lblBrackwen).caption, "contact line");

    frm.onTrayMessage(platform::kWmRButtonUp);
    ASSERT_EQ(os.tray.menus.size(), 1u);
    std::vector<std::string> captions;
    for (const auto& item : os.tray.menus[0]) captions.push_back(item.caption);
    EXPECT_EQ(captions, (std::vector<std::string>{"打开", "重新启动", "-", "退出"}));
}

TEST_F(TrayTest, MenuOpenShowsTheWindowAndExitAsksWhileAServerRuns) {
    frm.form().setFormVisible(false);
    os.tray.pick = [](const auto& items) { return items[0].id; };
    frm.onTrayMessage(platform::kWmRButtonUp);
    EXPECT_TRUE(frm.form().model().visible);

    frm.bMysqlRunning = true;
    os.application.answers = {platform::kIdCancel};
    os.tray.pick = [](const auto& items) { return items[3].id; };
    frm.onTrayMessage(platform::kWmRButtonUp);
    ASSERT_EQ(os.application.boxes.size(), 1u);
    EXPECT_EQ(os.application.boxes[0].text, "OA服务将继续运行，是否退出？");
    EXPECT_TRUE(os.tray.iconShown());
    EXPECT_THROW(frm.onTrayMessage(platform::kWmRButtonUp), fake::ProcessEnded);
    EXPECT_FALSE(os.tray.iconShown()) << "the icon goes before the process does";
}

TEST_F(TrayTest, EveryOrderlyExitRemovesTheIcon) {
    EXPECT_THROW(frm.cmdExit_Click(), fake::ProcessEnded);
    EXPECT_FALSE(os.tray.iconShown());

    fake::FakePlatform machine;
    oapanel::frmMain f{machine};
    machine.ui.createForm(f.form().model(), f);
    EXPECT_TRUE(machine.ui.close(2));  // Windows shutting down
    EXPECT_FALSE(machine.tray.iconShown());
    EXPECT_EQ(machine.tray.notifications.back().data.uFlags, 2u);
}

TEST_F(TrayTest, RestartStopsBothThenStartsBothWhateverTheState) {
    registered("Tomcat6Brackwen", platform::kServiceStopped);
    registered("MySQL5Brackwen", platform::kServiceStopped);
    os.tray.pick = [](const auto& items) { return items[1].id; };
    frm.onTrayMessage(platform::kWmRButtonUp);
    std::vector<std::string> order;
    for (const auto& line : frm.form().control(IDC_lstView).items) order.push_back(line.substr(22));
    const std::vector<std::string> expected = {order[0], "停止 Tomcat...未启动",
                                               "停止 MySQL...未启动", "启动 MySQL...成功",
                                               "启动 Tomcat...成功"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(frm.form().control(IDC_lblOA).caption, "OA:已启动");
}

TEST_F(TrayTest, ExplorerRestartPutsTheIconBack) {
    frm.bTomcatRunning = frm.bMysqlRunning = true;
    frm.RefreshStatus();
    const auto id = os.tray.notifications.front().data.uID;
    os.tray.notifications.clear();
    frm.onTaskbarCreated();
    ASSERT_FALSE(os.tray.notifications.empty());
    EXPECT_EQ(os.tray.notifications[0].message, platform::kNimAdd);
    EXPECT_EQ(os.tray.notifications[0].data.uID, id);
    EXPECT_EQ(os.tray.shownPicture(), os.tray.notifications.back().data.hIcon);
    EXPECT_EQ(os.tray.loadedFrom[os.tray.shownPicture()], kRunIco);
}

struct WholeSystemTest : TrayTest {};

TEST_F(WholeSystemTest, CancelChangesNothing) {
    frm.bTomcatRunning = frm.bMysqlRunning = true;
    const int lines = frm.form().listCount(IDC_lstView);
    const std::size_t notifications = os.tray.notifications.size();
    os.application.answers = {platform::kIdCancel};
    frm.cmdOA_Click();
    EXPECT_EQ(os.application.boxes.at(0).text, "确定停止OA服务吗？");
    EXPECT_EQ(frm.form().listCount(IDC_lstView), lines);
    EXPECT_EQ(os.tray.notifications.size(), notifications) << "no refresh";
    EXPECT_TRUE(os.procs.launches.empty());
    for (int id : {IDC_cmdOA, IDC_cmdTomcat, IDC_cmdMysql})
        EXPECT_TRUE(frm.form().control(id).enabled);
}

TEST_F(WholeSystemTest, StartsDatabaseFirstAndSummarises) {
    registered("Tomcat6Brackwen", platform::kServiceRunning);
    registered("MySQL5Brackwen", platform::kServiceStopped);
    frm.bTomcatRunning = true;  // only the web container runs: the click starts
    frm.cmdOA_Click();
    EXPECT_TRUE(os.application.boxes.empty());
    EXPECT_EQ(launches(), std::vector<std::string>{"cmd /c net start MySQL5Brackwen"});
    EXPECT_EQ(lastLine(), "启动 澜栖OA...成功");
    EXPECT_EQ(frm.form().listSelected(IDC_lstView), frm.form().listCount(IDC_lstView) - 1);
    EXPECT_EQ(frm.form().control(IDC_cmdOA).caption, "停止 &OA");
}

TEST_F(WholeSystemTest, AFailedDatabaseStartFailsTheSummaryButTheWebContainerStillStarts) {
    registered("Tomcat6Brackwen", platform::kServiceStopped);
    os.commands.installers["MySQL5Brackwen"].registerDelay = -1;
    frm.cmdOA_Click();
    EXPECT_EQ(lastLine(), "启动 澜栖OA...失败");
    EXPECT_TRUE(frm.bTomcatRunning);
    EXPECT_FALSE(frm.bMysqlRunning);
}

TEST_F(WholeSystemTest, StopsWebContainerFirstAndATimedOutStopFails) {
    for (double tomcatStop : {1.0, -1.0}) {
        fake::FakePlatform machine;
        oapanel::frmMain f{machine};
        machine.ui.createForm(f.form().model(), f);
        f.form().setEnabled(IDC_tmStart, false);
        for (const char* name : {"Tomcat6Brackwen", "MySQL5Brackwen"}) {
            machine.commands.registerService(name, "D:\\OA\\x.exe");
            machine.scm.find(name)->state = platform::kServiceRunning;
        }
        machine.scm.find("Tomcat6Brackwen")->stopDelay = tomcatStop;
        f.bTomcatRunning = f.bMysqlRunning = true;
        f.cmdOA_Click();
        ASSERT_EQ(machine.procs.launches.size(), 2u);
        EXPECT_EQ(machine.procs.launches[0].commandLine, "cmd /c net stop Tomcat6Brackwen");
        EXPECT_EQ(machine.procs.launches[1].commandLine, "cmd /c net stop MySQL5Brackwen");
        const auto& items = f.form().control(IDC_lstView).items;
        EXPECT_EQ(items.back().substr(22),
                  tomcatStop > 0 ? "停止 澜栖OA...成功" : "停止 澜栖OA...失败");
        EXPECT_EQ(f.form().control(IDC_lblOA).caption, "OA:已停止");
    }
}

}  // namespace
