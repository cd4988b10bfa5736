// The window: start-up, status display, layout, closing, tray icon, links and activity log.
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using platform::kServiceRunning;
const char kStopIco[] = "D:\\OA\\tomcat6\\bin\\stop.ico";
const char kRunIco[] = "D:\\OA\\tomcat6\\bin\\run.ico";

TEST_F(PanelTest, StartUpWelcomesAndShowsTheStateOfTheMachine) {
    struct Case {
        const char* what;
        int tomcatState;  // 0: not installed
        std::vector<std::string> processes;
        std::size_t wmiFailsAfter;
        bool tomcat, mysql;
    } cases[] = {
        {"nothing", 0, {}, SIZE_MAX, false, false},
        {"stopped service", platform::kServiceStopped, {"System"}, SIZE_MAX, false, false},
        {"starting service", platform::kServiceStartPending, {}, SIZE_MAX, true, false},
        {"database process", platform::kServiceRunning, {"MYSQLD2.EXE"}, SIZE_MAX, true, true},
        {"only similar names",
         0,
         {"d2.exe", "xmysqld2.exe", "mysqld2.exe.bak"},
         SIZE_MAX,
         false,
         false},
        {"WMI fails before the match", 0, {"System", "mysqld2.exe"}, 1, false, false},
        {"WMI fails after the match", 0, {"System", "mysqld2.exe", "x.exe"}, 2, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        if (c.tomcatState) m.os.scm.install(kTomcat, static_cast<std::uint32_t>(c.tomcatState));
        m.os.procs.running = c.processes;
        m.os.procs.failAfter = c.wmiFailsAfter;
        m.os.tray.iconFiles = {kStopIco, kRunIco};
        ASSERT_FALSE(m.load());
        EXPECT_EQ(m.os.ui.model->caption, "oapanel - V1.6.9");
        ASSERT_EQ(m.count(), 1);
        EXPECT_EQ(m.ctl(IDC_lstView).items[0],
                  "2012-01-09 05:32:50 - 欢迎使用澜栖OA系统，运行路径：D:\\OA");
        EXPECT_EQ(m.ctl(IDC_lstView).selected, 0);
        EXPECT_TRUE(m.os.application.boxes.empty());
        const bool oa = c.tomcat && c.mysql;
        EXPECT_EQ(m.ctl(IDC_lblTomcat).caption, c.tomcat ? "Tomcat:已启动" : "Tomcat:已停止");
        EXPECT_EQ(m.ctl(IDC_cmdTomcat).caption, c.tomcat ? "停止 &Tomcat" : "启动 &Tomcat");
        EXPECT_EQ(m.ctl(IDC_lblMysql).caption, c.mysql ? "MySQL:已启动" : "MySQL:已停止");
        EXPECT_EQ(m.ctl(IDC_cmdMysql).caption, c.mysql ? "停止 &MySQL" : "启动 &MySQL");
        EXPECT_EQ(m.ctl(IDC_lblOA).caption, oa ? "OA:已启动" : "OA:已停止");
        EXPECT_EQ(m.ctl(IDC_cmdOA).caption, oa ? "停止 &OA" : "启动 &OA");
        EXPECT_EQ(m.ctl(IDC_cmdConnect).enabled, oa);
        EXPECT_EQ(m.os.tray.loadedFrom[m.os.tray.picture], oa ? kRunIco : kStopIco);
        // The advanced panel is open; the hidden controls stay hidden.
        EXPECT_EQ(m.ctl(IDC_cmdAdvance).caption, "高级(&V) <<");
        for (int id : {IDC_cmdCheckPort, IDC_cmdTomcat, IDC_cmdMysql, IDC_cmdReinstall})
            EXPECT_TRUE(m.ctl(id).visible) << id;
        for (int id : {IDC_cmdStart, IDC_cmdStop, IDC_cmdMysqlStart, IDC_cmdMysqlStop,
                       IDC_cmdConnect, IDC_chkAuto, IDC_picMouseEvent, IDC_pic0})
            EXPECT_FALSE(m.ctl(id).visible) << id;
        EXPECT_TRUE(m.ctl(IDC_tmStart).enabled);
        EXPECT_EQ(m.ctl(IDC_tmStart).interval, 1000);
        m.expectNothingOpen();
    }
}

TEST_F(PanelTest, ASecondInstanceIsRefusedBeforeAnythingElse) {
    os.application.otherInstance = true;
    EXPECT_TRUE(load());
    EXPECT_EQ(boxes(), std::vector<std::string>{"您已经运行这个应用程序了"});
    EXPECT_EQ(os.application.boxes[0].style, platform::kMbOk);
    EXPECT_EQ(os.application.boxes[0].title, "oapanel");
    EXPECT_EQ(os.ui.model->caption, "oapanel") << "not even the title was set";
    EXPECT_EQ(count() + os.count("OpenSCManagerA") + os.count("Shell_NotifyIconA"), 0);
}

TEST_F(PanelTest, TheWindowIconIsTheProgramsOwnAndLivesAsLongAsTheWindow) {
    os.application.path = "D:\\";
    os.application.ver = {2, 0, 10};
    os.reg.putText(HKLM, fake::FakePlatform::kSystemEnvironment, "JRE_BK_HOME", "D:\\\\jre16bk");
    ASSERT_FALSE(load());
    EXPECT_EQ(os.count("ExtractIconA D:\\oapanel.exe 0"), 1);
    EXPECT_EQ(os.ui.model->caption, "oapanel - V2.0.10");
    EXPECT_EQ(os.ui.liveIcons.count(os.ui.smallIcon), 1u);
    frm.reset();
    EXPECT_TRUE(os.ui.liveIcons.empty());
}

// --- layout and closing ----------------------------------------------------------------

TEST_F(PanelTest, TheLayoutFollowsTheWindowAndTheAdvancedPanel) {
    ASSERT_FALSE(load());
    os.ui.listHeight = [](int requested) { return requested - requested % 195; };
    os.ui.resize(9900, 6600);
    EXPECT_EQ(ctl(IDC_lstView).width, 8050);
    EXPECT_EQ(ctl(IDC_lstView).height, 5070);
    EXPECT_EQ(ctl(IDC_lblBrackwen).top, 5070 + 675 + 100) << "below what the list reports";
    for (int id : {IDC_cmdCheckPort, IDC_cmdTomcat, IDC_cmdMysql, IDC_cmdAdvance, IDC_cmdReinstall,
                   IDC_cmdCheckService, IDC_chkAuto})
        EXPECT_EQ(ctl(id).left, 8300) << id;
    EXPECT_EQ(ctl(IDC_cmdExit).left, 8300 - 1335 - 150);
    EXPECT_EQ(ctl(IDC_cmdOA).left, 8300 - 2 * (1335 + 150));
    EXPECT_EQ(ctl(IDC_cmdConnect).left, 8300 - 3 * (1335 + 150));
    EXPECT_EQ(ctl(IDC_cmdOA).top, 120);

    click(IDC_cmdAdvance);
    EXPECT_EQ(ctl(IDC_lstView).width, 9650);
    EXPECT_EQ(ctl(IDC_cmdAdvance).caption, "高级(&V) >>");
    EXPECT_FALSE(ctl(IDC_cmdTomcat).visible);
    os.ui.resize(9900, 6600);
    EXPECT_EQ(ctl(IDC_lstView).width, 9650);
    click(IDC_cmdAdvance);
    EXPECT_EQ(ctl(IDC_lstView).width, 8050);
    EXPECT_TRUE(ctl(IDC_cmdCheckService).visible);
    EXPECT_FALSE(ctl(IDC_chkAuto).visible) << "never shown, whatever the panel does";

    // Between 700 and 1500 twips of height the list is 0 high, never less; the rest as ever.
    os.ui.resize(9900, 1000);
    EXPECT_EQ(ctl(IDC_lstView).height, 0);
    EXPECT_EQ(ctl(IDC_lblBrackwen).top, 675 + 100);
    EXPECT_EQ(ctl(IDC_cmdExit).left, 8300 - 1335 - 150);

    const auto before = os.ui.model->controls;
    for (auto [w, h] : {std::pair{1900, 6600}, {9900, 700}, {500, 300}}) {
        os.ui.resize(w, h);  // at or below the floor nothing moves
        for (const auto& c : before)
            EXPECT_TRUE(ctl(c.id).left == c.left && ctl(c.id).width == c.width &&
                        ctl(c.id).top == c.top && ctl(c.id).height == c.height)
                << c.name << " at " << w << "x" << h;
    }
}

TEST_F(PanelTest, MinimisingAndTheCloseBoxOnlyHideTheWindow) {
    ASSERT_FALSE(load());
    os.ui.resize(9900, 6600, platform::WindowState::Minimized);
    EXPECT_FALSE(os.ui.model->visible);
    os.ui.model->visible = true;
    EXPECT_FALSE(os.ui.close(0));
    EXPECT_FALSE(os.ui.model->visible);
    EXPECT_TRUE(os.tray.shown);
    EXPECT_EQ(os.count("ExitProcess"), 0);
    // Shutdown, the program and the task manager let the window go, with no server stopped.
    for (int reason : {1, 3}) EXPECT_FALSE(frm->onQueryUnload(reason)) << reason;
    EXPECT_TRUE(os.ui.close(2));
    EXPECT_FALSE(os.tray.shown) << "the icon goes with the window";
    EXPECT_TRUE(os.procs.launches.empty());
}

TEST_F(PanelTest, ExitAsksOnlyWhileAServerRunsAndTakesTheIconAlong) {
    struct Case {
        bool tomcat, mysql;
        int answer;
        bool asked, ends;
    } cases[] = {
        {false, false, platform::kIdCancel, false, true},
        {true, false, platform::kIdCancel, true, false},
        {false, true, platform::kIdCancel, true, false},
        {true, true, platform::kIdOk, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.tomcat) + std::to_string(c.mysql));
        Machine m;
        if (c.tomcat) m.os.scm.install(kTomcat, kServiceRunning);
        if (c.mysql) m.os.procs.running = {"mysqld2.exe"};
        ASSERT_FALSE(m.load());
        m.os.application.answers = {c.answer};
        EXPECT_EQ(m.ends([&] { m.click(IDC_cmdExit); }), c.ends);
        EXPECT_EQ(m.boxes(), c.asked ? std::vector<std::string>{"OA服务将继续运行，是否退出？"}
                                     : std::vector<std::string>{});
        if (c.asked) {
            EXPECT_EQ(m.os.application.boxes[0].style, platform::kMbOkCancel);
        }
        EXPECT_EQ(m.os.tray.shown, !c.ends);
        EXPECT_EQ(m.count(), 1);
    }
}

// --- tray icon --------------------------------------------------------------------------

TEST_F(PanelTest, TheTrayIconShowsTheTitleAndThePictureOfTheState) {
    os.tray.iconFiles = {kStopIco, kRunIco};
    ASSERT_FALSE(load());
    const auto add = os.tray.notifications.front();
    EXPECT_EQ(add.message, platform::kNimAdd);
    EXPECT_EQ(add.data.uFlags, 0x17u);
    EXPECT_EQ(add.data.szTip, "oapanel");
    EXPECT_EQ(add.data.uID, 1073741823u);
    EXPECT_EQ(os.count(std::string("LoadImageA ") + kStopIco + " 16x16 4112"), 2);

    os.ui.advance(1.5);  // the automatic start brings both servers up
    EXPECT_EQ(os.tray.loadedFrom[os.tray.picture], kRunIco);
    click(IDC_cmdTomcat);
    EXPECT_EQ(os.tray.loadedFrom[os.tray.picture], kStopIco);
    const auto& modify = os.tray.notifications.back();
    EXPECT_EQ(modify.message, platform::kNimModify);
    EXPECT_EQ(modify.data.uFlags, 7u);
    EXPECT_EQ(modify.data.uID, add.data.uID);
    EXPECT_EQ(os.tray.liveIcons, std::set<platform::Handle>{os.tray.picture})
        << "only the picture on show is kept";

    os.tray.iconFiles.clear();  // the bundle's icon files are gone: the stored pictures
    click(IDC_cmdTomcat);
    EXPECT_EQ(os.tray.picture, os.tray.storedPicture(2));
    click(IDC_cmdMysql);
    EXPECT_EQ(os.tray.picture, os.tray.storedPicture(1));

    // Explorer restarts: the icon comes back as it was.
    os.tray.shown = false;
    os.tray.notifications.clear();
    frm->onTaskbarCreated();
    EXPECT_EQ(os.tray.notifications.at(0).message, platform::kNimAdd);
    EXPECT_EQ(os.tray.notifications[0].data.uID, add.data.uID);
    EXPECT_TRUE(os.tray.shown);
    EXPECT_EQ(os.tray.picture, os.tray.storedPicture(1));
}

TEST_F(PanelTest, ARefusedTrayIconKeepsALivePictureAndIsAddedWhenExplorerStarts) {
    os.tray.iconFiles = {kStopIco, kRunIco};
    os.tray.refuses = true;  // started before Explorer's notification area exists
    loadAndAutoStart();
    EXPECT_FALSE(os.tray.shown);
    os.tray.refuses = false;
    const std::size_t from = os.tray.notifications.size();
    frm->onTaskbarCreated();
    const auto add = os.tray.notifications.at(from);
    EXPECT_EQ(add.message, platform::kNimAdd);
    EXPECT_TRUE(os.tray.liveIcons.count(add.data.hIcon) ||
                add.data.hIcon == os.tray.storedPicture(2))
        << "the record holds a picture that still exists";
    EXPECT_TRUE(os.tray.shown);
    EXPECT_EQ(os.tray.loadedFrom[os.tray.picture], kRunIco);
}

TEST_F(PanelTest, AWindowThatCannotBeCreatedIsSaidAndEndsTheProgram) {
    os.ui.createError = 1400;
    EXPECT_TRUE(load());
    EXPECT_EQ(boxes(), std::vector<std::string>{"无法创建主窗口（错误 1400）"});
    EXPECT_EQ(os.count("ExitProcess 1"), 1);
}

TEST_F(PanelTest, TrayMouseMessagesShowTheWindowOrTheMenu) {
    ASSERT_FALSE(load());
    os.ui.model->visible = false;
    os.ui.model->state = platform::WindowState::Maximized;
    os.ui.model->find(IDC_lblBrackwen)->caption = "changed";
    for (std::uint32_t ignored : {0x200u, 0x201u, 0x202u, 0x204u, 0x206u, 0x207u})
        frm->onTrayMessage(ignored);
    EXPECT_FALSE(os.ui.model->visible);
    EXPECT_TRUE(os.tray.menus.empty());

    frm->onTrayMessage(platform::kWmLButtonDblClk);
    EXPECT_TRUE(os.ui.model->visible);
    EXPECT_EQ(os.ui.model->state, platform::WindowState::Normal);
    EXPECT_EQ(ctl(IDC_lblBrackwen).caption, "contact line");

    os.ui.model->visible = false;
    os.tray.pick = [](const auto& items) { return items[0].id; };  // 打开
    frm->onTrayMessage(platform::kWmRButtonUp);
    std::vector<std::string> captions;
    for (const auto& item : os.tray.menus.at(0)) captions.push_back(item.caption);
    EXPECT_EQ(captions, (std::vector<std::string>{"打开", "重新启动", "-", "退出"}));
    EXPECT_TRUE(os.ui.model->visible);
}

TEST_F(PanelTest, TheTrayMenusRestartAndExit) {
    loadAndAutoStart();
    const int before = count();
    os.tray.pick = [](const auto& items) { return items[1].id; };  // 重新启动
    frm->onTrayMessage(platform::kWmRButtonUp);
    EXPECT_EQ(lines(before), (std::vector<std::string>{"停止 Tomcat...成功", "停止 MySQL...成功",
                                                       "启动 MySQL...成功", "启动 Tomcat...成功"}));
    EXPECT_EQ(ctl(IDC_lblOA).caption, "OA:已启动");

    os.tray.pick = [](const auto& items) { return items[3].id; };  // 退出
    os.application.answers = {platform::kIdCancel};
    frm->onTrayMessage(platform::kWmRButtonUp);
    EXPECT_EQ(boxes(), std::vector<std::string>{"OA服务将继续运行，是否退出？"});
    EXPECT_TRUE(os.tray.shown);
    EXPECT_TRUE(ends([&] { frm->onTrayMessage(platform::kWmRButtonUp); }));
    EXPECT_FALSE(os.tray.shown) << "the icon goes before the process does";
    EXPECT_EQ(os.tray.notifications.back().data.uFlags, 2u);
}

// --- links ------------------------------------------------------------------------------

struct LinksTest : PanelTest {
    static constexpr char kIE[] = "C:\\Program Files\\Internet Explorer\\iexplore.exe";
    void SetUp() override {
        os.net.hostAddresses = {{10, 0, 0, 5}};
        os.application.strings[IDS_MAKER_URL] = "http://maker.example/";
        os.ui.files.insert(kIE);
        ASSERT_FALSE(load());
    }
};

TEST_F(LinksTest, EachLinkOpensItsAddressInTheBrowser) {
    const std::pair<int, std::string> links[] = {{IDC_lblIP, "http://10.0.0.5:8080/oa"},
                                                 {IDC_lblBrackwen, "http://maker.example/"},
                                                 {IDC_cmdConnect, "http://localhost:8080/oa"}};
    for (const auto& [id, address] : links) {
        SCOPED_TRACE(address);
        os.procs.launches.clear();
        os.ui.model->find(IDC_lblBrackwen)->caption = "elsewhere";
        click(id);
        // Internet Explorer at its fixed place, with the doubled separators and a trailing "\".
        EXPECT_EQ(launched(), std::vector<std::string>{
                                  "C:\\\\Program Files\\\\Internet Explorer\\\\iexplore.exe " +
                                  address + "\\"});
        EXPECT_EQ(os.procs.launches[0].showMode, platform::kSwShowNormal);
        EXPECT_EQ(ctl(IDC_lblBrackwen).caption, id == IDC_lblIP ? "contact line" : "elsewhere");
        // Without it, or when it cannot start, the default browser opens the same address.
        os.ui.files.erase(kIE);
        click(id);
        os.ui.files.insert(kIE);
        os.fail("CreateProcessA", 2);
        click(id);
        os.record.failing.clear();
        EXPECT_EQ(os.tray.opened, (std::vector<std::string>{address, address}));
        os.tray.opened.clear();
    }
}

TEST_F(LinksTest, TheLinksShowTheHandAndTheContactLineLightsUpInsideItsMargins) {
    EXPECT_TRUE(os.ui.userMovesMouse(IDC_lblIP, 500, 100));
    EXPECT_TRUE(os.ui.userMovesMouse(IDC_lblBrackwen, 500, 100));
    for (int other : {IDC_lstView, IDC_lblOA, IDC_cmdOA})
        EXPECT_FALSE(os.ui.userMovesMouse(other, 500, 100));
    EXPECT_EQ(os.count("SetCursor IDC_HAND"), 2);
    EXPECT_EQ(ctl(IDC_lblIP).font, (platform::Font{"宋体", 9, true, 0x00FF0000}));

    const struct {
        int x, y;
        bool lit;
    } cases[] = {{11, 11, true},     {7699, 219, true},  {10, 100, false},  {3000, 10, false},
                 {7700, 100, false}, {3000, 220, false}, {3000, 100, true}, {0, 0, false}};
    for (const auto& c : cases) {
        os.ui.userMovesMouse(IDC_lblBrackwen, c.x, c.y);
        const auto& font = ctl(IDC_lblBrackwen).font;
        EXPECT_EQ(font, (platform::Font{"", 9, c.lit, c.lit ? 0x00FF0000u : 0x80000012u}))
            << c.x << "," << c.y;
    }
}

// --- activity log -----------------------------------------------------------------------

struct LogTest : ::testing::Test {
    fake::FakePlatform os;
    oapanel::Form form{oapanel::frmMainDesign(""), os.ui};
    oapanel::ActivityLog log{form, os.clockImpl};
    std::string line(int i) const { return form.listItem(IDC_lstView, i); }
    int selected() const { return form.listSelected(IDC_lstView); }
};

TEST_F(LogTest, LinesCarryTheTimeAndExtensionsGrowTheSelectedLine) {
    os.clockImpl.now = {2012, 1, 9, 17, 5, 3};
    log.AppendLog("older");
    log.AppendLog("启动 MySQL...");
    EXPECT_EQ(selected(), 1);
    os.clockImpl.now.second = 59;
    log.ExtendLogLine(".");
    log.ExtendLogLine("成功");
    EXPECT_EQ(line(1), "2012-01-09 17:05:03 - 启动 MySQL....成功");
    form.model().find(IDC_lstView)->selected = 0;  // the user picks the older line mid-wait
    log.ExtendLogLine(".");
    EXPECT_EQ(line(0), "2012-01-09 17:05:03 - older.");
    log.AddLineUnselected("quiet");
    EXPECT_EQ(selected(), 0);
    form.model().find(IDC_lstView)->selected = -1;
    log.ExtendLogLine("!");  // nothing selected: no line to extend
    EXPECT_EQ(line(2), "2012-01-09 17:05:59 - quiet");
}

TEST_F(LogTest, AtTheLimitTheOldestLinesGoAndTheSelectionFollowsItsLine) {
    const int limit = oapanel::ActivityLog::kMaxLines;
    for (int i = 0; i < limit; ++i) log.AppendLog(std::to_string(i));
    form.model().find(IDC_lstView)->selected = 100;
    log.AddLineUnselected("new");
    EXPECT_EQ(form.listCount(IDC_lstView), limit);
    EXPECT_EQ(line(0), "2012-01-09 05:32:50 - 1");
    ASSERT_EQ(selected(), 99);
    log.ExtendLogLine("!");
    EXPECT_EQ(line(99), "2012-01-09 05:32:50 - 100!");
    form.model().find(IDC_lstView)->selected = 0;
    log.AppendLog("newest");  // the selected line itself goes: no selection is left on a wrong line
    EXPECT_EQ(selected(), limit - 1);
    EXPECT_EQ(os.count("LB_DELETESTRING"), 2) << "the real list box lost the same lines";
}

}  // namespace
}  // namespace unit
