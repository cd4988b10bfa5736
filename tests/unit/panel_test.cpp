// The window: start-up, status display, layout, closing, tray icon, links and activity log.
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using platform::kServiceRunning;
const char kStopIco[] = "D:\\OA\\tomcat6\\bin\\stop.ico";
const char kRunIco[] = "D:\\OA\\tomcat6\\bin\\run.ico";
const std::string kStopped =
    "Tomcat:已停止|MySQL:已停止|OA:已停止|启动 &Tomcat|启动 &MySQL|启动 &OA|";

TEST_F(PanelTest, StartUpWelcomesAndShowsTheStateOfTheMachine) {
    const struct {
        int tomcatState;  // 0: not installed
        std::vector<std::string> processes;
        std::size_t wmiFailsAfter;
        std::string status;
    } cases[] = {
        {0, {"System"}, SIZE_MAX, kStopped},
        {platform::kServiceStartPending,
         {"d2.exe", "xmysqld2.exe", "mysqld2.exe.bak"},
         SIZE_MAX,
         "Tomcat:已启动|MySQL:已停止|OA:已停止|停止 &Tomcat|启动 &MySQL|启动 &OA|"},
        {platform::kServiceRunning,
         {"MYSQLD2.EXE", "System"},
         SIZE_MAX,
         "Tomcat:已启动|MySQL:已启动|OA:已启动|停止 &Tomcat|停止 &MySQL|停止 &OA|connect"},
        {platform::kServiceStopped, {"System", "mysqld2.exe"}, 1, kStopped},  // WMI fails first
        {platform::kServiceStopped,
         {"System", "mysqld2.exe", "x.exe"},
         2,  // ... after the match
         "Tomcat:已停止|MySQL:已启动|OA:已停止|启动 &Tomcat|停止 &MySQL|启动 &OA|"},
    };
    for (const auto& c : cases) {
        Machine m;
        if (c.tomcatState) m.os.scm.install(kTomcat, static_cast<std::uint32_t>(c.tomcatState));
        m.os.procs.running = c.processes;
        m.os.procs.failAfter = c.wmiFailsAfter;
        m.os.tray.iconFiles = {kStopIco, kRunIco};
        ASSERT_FALSE(m.load());
        EXPECT_EQ(m.status(), c.status);
        EXPECT_EQ(m.os.tray.loadedFrom[m.os.tray.picture],
                  c.status.ends_with("connect") ? kRunIco : kStopIco);
        // The welcome alone, selected, and nothing asked; the advanced panel is open, the hidden
        // controls stay hidden.
        EXPECT_TRUE(m.count() == 1 && m.ctl(IDC_lstView).selected == 0 && m.boxes().empty());
        for (int id : {IDC_cmdCheckPort, IDC_cmdReinstall, IDC_cmdCheckService})
            EXPECT_TRUE(m.ctl(id).visible);
        for (int id : {IDC_cmdStart, IDC_cmdMysqlStop, IDC_cmdConnect, IDC_chkAuto, IDC_picSpare})
            EXPECT_FALSE(m.ctl(id).visible);
        EXPECT_TRUE(m.ctl(IDC_tmStart).enabled && m.ctl(IDC_tmStart).interval == 1000);
        m.expectNothingOpen();
    }
}

TEST_F(PanelTest, ASecondInstanceOrAWindowThatCannotBeMadeEndsTheStartUp) {
    os.application.otherInstance = true;
    EXPECT_TRUE(load());
    EXPECT_EQ(boxes(), std::vector<std::string>{"您已经运行这个应用程序了"});
    EXPECT_EQ(std::to_string(os.application.boxes[0].style) + os.application.boxes[0].title,
              "0oapanel");
    EXPECT_EQ(os.ui.model->caption, "oapanel") << "not even the title was set";
    EXPECT_EQ(count() + os.count("OpenSCManagerA") + os.count("Shell_NotifyIconW"), 0);

    Machine m;
    m.os.ui.createError = 1400;
    EXPECT_TRUE(m.load());
    EXPECT_EQ(m.boxes(), std::vector<std::string>{"无法创建主窗口（错误 1400）"});
    EXPECT_EQ(m.os.count("ExitProcess 1"), 1);
}

TEST_F(PanelTest, TheLayoutFollowsTheWindowAndClosingHidesIt) {
    ASSERT_FALSE(load());
    // (The placement at any size is checked from outside, on the real window, by e2e.)
    os.ui.resize(9900, 6600);
    click(IDC_cmdAdvance);
    EXPECT_EQ(std::to_string(ctl(IDC_lstView).width) + ctl(IDC_cmdAdvance).caption +
                  (ctl(IDC_cmdTomcat).visible ? "shown" : ""),
              "9650高级(&V) >>");
    os.ui.resize(9900, 6600);
    EXPECT_EQ(ctl(IDC_lstView).width, 9650);
    click(IDC_cmdAdvance);
    EXPECT_EQ(ctl(IDC_lstView).width, 8050);
    os.ui.resize(9900, 1000);  // the list is 0 high, never less; the rest as ever
    EXPECT_EQ(ctl(IDC_lstView).height + ctl(IDC_lblBrackwen).top + ctl(IDC_cmdExit).left,
              775 + 6815);
    const auto before = os.ui.model->controls;
    for (auto [w, h] : {std::pair{1900, 6600}, {9900, 700}}) {
        os.ui.resize(w, h);  // at or below the floor nothing moves
        for (const auto& c : before)
            EXPECT_TRUE(ctl(c.id).left == c.left && ctl(c.id).top == c.top &&
                        ctl(c.id).width == c.width && ctl(c.id).height == c.height)
                << c.name;
    }

    // Closing and minimising hide the window; exit asks only while a server runs.
    os.ui.resize(9900, 6600, platform::WindowState::Minimized);
    EXPECT_FALSE(os.ui.model->visible);
    os.ui.model->visible = true;
    EXPECT_FALSE(os.ui.close(0));
    EXPECT_FALSE(os.ui.model->visible || !os.tray.shown);
    for (int reason : {1, 3}) EXPECT_FALSE(frm->onQueryUnload(reason));
    EXPECT_TRUE(os.ui.close(2));  // shutdown: the window goes with its icon, no server stopped
    EXPECT_FALSE(os.tray.shown || os.count("CreateProcessA") || os.count("ExitProcess"));

    for (const bool tomcat : {true, false}) {  // either server running asks; only OK ends
        Machine m;
        if (tomcat) m.os.scm.install(kTomcat, kServiceRunning);
        m.os.procs.running = {tomcat ? "System" : "mysqld2.exe"};
        ASSERT_FALSE(m.load());
        m.os.application.answers = {tomcat ? platform::kIdCancel : platform::kIdOk};
        EXPECT_EQ(m.ends([&] { m.click(IDC_cmdExit); }), !tomcat);
        ASSERT_EQ(m.boxes(), std::vector<std::string>{"OA服务将继续运行，是否退出？"});
        EXPECT_EQ(m.os.application.boxes[0].style, platform::kMbOkCancel);
        EXPECT_EQ(m.os.tray.shown, tomcat) << "the icon goes before the process does";
    }
}

// The icon shows the state's picture with the program's tooltip and sends its mouse messages.
// It comes back when Explorer restarts, is tried again for a minute while the shell is not
// ready (at logon), and is added when a change finds none (a lost icon). Never two of them.
TEST_F(PanelTest, TheTrayIconShowsThePictureOfTheStateAndComesBack) {
    os.tray.iconFiles = {kStopIco, kRunIco};
    ASSERT_FALSE(load());
    EXPECT_TRUE(os.tray.shown && os.tray.callback && os.tray.tip == "oapanel");
    EXPECT_EQ(os.count(std::string("LoadImageA ") + kStopIco + " 16x16 4112"), 2);
    os.ui.advance(1.5);  // the automatic start brings both servers up
    EXPECT_EQ(os.tray.loadedFrom[os.tray.picture], kRunIco);
    click(IDC_cmdTomcat);
    EXPECT_EQ(os.tray.loadedFrom[os.tray.picture], kStopIco);
    EXPECT_EQ(os.tray.liveIcons, std::set<platform::Handle>{os.tray.picture}) << "the old ones go";

    click(IDC_cmdTomcat);
    const platform::Handle previous = os.tray.picture;
    os.tray.refuses = true;  // Explorer has gone: the record keeps a picture that lives on
    click(IDC_cmdMysql);
    os.tray.refuses = false;
    os.tray.shown = false;
    os.tray.notifications.clear();
    frm->onTaskbarCreated();  // Explorer is back: the icon is added again, then shows the state
    EXPECT_EQ(os.tray.notifications.at(0).data.hIcon, previous);
    EXPECT_TRUE(os.tray.shown && os.tray.callback && os.tray.tip == "oapanel");
    EXPECT_EQ(os.tray.loadedFrom[os.tray.picture], kStopIco);
    os.tray.shown = false;      // lost without a word (the message did not get through)
    os.tray.iconFiles.clear();  // and the bundle's icon files are gone: the stored pictures
    click(IDC_cmdMysql);
    EXPECT_TRUE(os.tray.shown &&
                os.tray.picture == os.tray.storedPicture(platform::TrayPicture::Running));
    EXPECT_EQ(os.tray.strays, 0);

    // An idle start (both servers run already) changes the picture seldom: only the retries
    // bring the icon, after a few seconds, or never.
    for (const int refused : {8, 40}) {
        Machine early;
        for (const char* name : {kTomcat, kMysql})
            early.os.commands.registerService(name, "D:\\OA\\t.exe", kServiceRunning);
        early.os.tray.refusedAdds = refused;
        early.loadAndAutoStart();
        early.os.ui.advance(80);
        EXPECT_EQ(early.os.tray.shown, refused == 8) << refused;
        EXPECT_FALSE(early.ctl(IDC_tmTray).enabled) << "tries no more";
        EXPECT_LT(early.os.count("Shell_NotifyIconW 0"), 40) << "about every 2 s for a minute";
        early.os.tray.refusedAdds = 0;
        early.frm->onTaskbarCreated();
        EXPECT_TRUE(early.os.tray.shown &&
                    early.os.tray.picture ==
                        early.os.tray.storedPicture(platform::TrayPicture::Running));
    }
}

TEST_F(PanelTest, TrayMouseMessagesShowTheWindowOrTheMenu) {
    loadAndAutoStart();
    os.ui.model->visible = false;
    os.ui.model->state = platform::WindowState::Maximized;
    os.ui.model->find(IDC_lblBrackwen)->caption = "changed";
    for (std::uint32_t ignored : {0x200u, 0x201u, 0x202u, 0x204u, 0x206u})
        frm->onTrayMessage(ignored);
    EXPECT_FALSE(os.ui.model->visible || !os.tray.menus.empty());
    frm->onTrayMessage(platform::kWmLButtonDblClk);
    EXPECT_TRUE(os.ui.model->visible && os.ui.model->state == platform::WindowState::Normal);
    EXPECT_EQ(ctl(IDC_lblBrackwen).caption, "contact line");

    os.ui.model->visible = false;
    os.tray.pick = [](const auto& items) { return items[0].id; };  // 打开
    frm->onTrayMessage(platform::kWmRButtonUp);
    std::string captions;
    for (const auto& item : os.tray.menus.at(0)) captions += item.caption + " ";
    EXPECT_EQ(captions, "打开 重新启动 - 退出 ");
    EXPECT_TRUE(os.ui.model->visible);

    const int before = count();
    os.tray.pick = [](const auto& items) { return items[1].id; };  // 重新启动
    frm->onTrayMessage(platform::kWmRButtonUp);
    EXPECT_EQ(lines(before), (std::vector<std::string>{
                                 "停止 Tomcat...成功", "停止 MySQL...成功", "启动 MySQL...成功",
                                 "MySQL 已就绪（5.0.96-fake，用时 1 秒）", "启动 Tomcat...成功"}));
    os.tray.pick = [](const auto& items) { return items[3].id; };  // 退出
    os.application.answers = {platform::kIdCancel};
    frm->onTrayMessage(platform::kWmRButtonUp);
    EXPECT_EQ(boxes(), std::vector<std::string>{"OA服务将继续运行，是否退出？"});
    EXPECT_TRUE(ends([&] { frm->onTrayMessage(platform::kWmRButtonUp); }));
    EXPECT_FALSE(os.tray.shown);
}

TEST_F(PanelTest, EachLinkOpensItsAddressAndTheContactLineLightsUp) {
    const char kIE[] = "C:\\Program Files\\Internet Explorer\\iexplore.exe";
    os.net.hostAddresses = {{10, 0, 0, 5}};
    os.application.strings[IDS_MAKER_URL] = "http://maker.example/";
    os.filesImpl.existing.insert(kIE);
    os.application.isElevated = false;  // XP, or a panel started without the manifest's rights
    ASSERT_FALSE(load());
    const std::pair<int, std::string> links[] = {{IDC_lblIP, "http://10.0.0.5:8080/oa"},
                                                 {IDC_lblBrackwen, "http://maker.example/"},
                                                 {IDC_cmdConnect, "http://localhost:8080/oa"}};
    for (const auto& [id, address] : links) {
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
        os.filesImpl.existing.erase(kIE);
        click(id);
        os.filesImpl.existing.insert(kIE);
        os.fail("CreateProcessA", 2);
        click(id);
        os.record.failing.clear();
        EXPECT_EQ(os.tray.opened, (std::vector<std::string>{address, address}));
        os.tray.opened.clear();
    }
    // Elevated, the desktop's own shell starts the browser with the user's rights; without
    // that shell, the panel starts it as before.
    os.application.isElevated = true;
    os.procs.launches.clear();
    click(IDC_cmdConnect);
    os.filesImpl.existing.erase(kIE);
    click(IDC_cmdConnect);
    EXPECT_EQ(os.tray.openedByDesktop,
              (std::vector<std::string>{std::string(kIE) + " http://localhost:8080/oa\\",
                                        "http://localhost:8080/oa"}));
    os.tray.desktopShell = false;
    click(IDC_cmdConnect);
    EXPECT_TRUE(os.procs.launches.empty() && os.tray.opened.size() == 1);
    EXPECT_TRUE(os.ui.userMovesMouse(IDC_lblIP, 500, 100) &&
                os.ui.userMovesMouse(IDC_lblBrackwen, 5, 5));
    EXPECT_FALSE(os.ui.userMovesMouse(IDC_lstView, 500, 100) ||
                 os.ui.userMovesMouse(IDC_cmdOA, 5, 5));
    EXPECT_EQ(os.count("SetCursor IDC_HAND"), 2);
    EXPECT_EQ(ctl(IDC_lblIP).font, (platform::Font{"宋体", 9, true, 0x00FF0000}));
    const struct {
        int x, y;
        bool lit;
    } moves[] = {{11, 11, true},     {7699, 219, true},  {10, 100, false},  {3000, 10, false},
                 {7700, 100, false}, {3000, 220, false}, {3000, 100, true}, {0, 0, false}};
    for (const auto& c : moves) {
        const int redrawn = os.count("Mirror " + std::to_string(IDC_lblBrackwen) + " 7");
        os.ui.userMovesMouse(IDC_lblBrackwen, c.x, c.y);
        os.ui.userMovesMouse(IDC_lblBrackwen, c.x, c.y);
        EXPECT_LE(os.count("Mirror " + std::to_string(IDC_lblBrackwen) + " 7"), redrawn + 1);
        EXPECT_EQ(ctl(IDC_lblBrackwen).font,
                  (platform::Font{"", 9, c.lit, c.lit ? 0x00FF0000u : 0x80000012u}))
            << c.x << "," << c.y;
    }
}

// An operation extends its own line, wherever the user put the selection, and the file takes
// that line only once it is final. At the limit the oldest lines go, to the file first.
TEST(ActivityLog, AnOperationExtendsItsOwnLineAndTheFileTakesItFinal) {
    fake::FakePlatform os;
    oapanel::Form form{oapanel::MainWindowDesign(""), os.ui};
    oapanel::ActivityLog log{form, os.clockImpl};
    log.KeepIn(os.filesImpl, "D:\\oa.log");
    const std::string& file = os.filesImpl.content["D:\\oa.log"];
    const auto line = [&](int i) { return form.listItem(IDC_lstView, i); };
    os.clockImpl.now = {2012, 1, 9, 17, 5, 3};
    log.AppendLog("older");
    const oapanel::LineId start = log.AppendLog("启动 MySQL...");
    log.HoldOpen(start);
    os.clockImpl.now.second = 59;
    form.model().find(IDC_lstView)->selected = 0;  // the user picks the older line mid-wait
    log.ExtendLogLine(start, ".");
    log.AddLineUnselected("quiet");
    log.Flush();
    EXPECT_EQ(file,
              "\xEF\xBB\xBF"
              "2012-01-09 17:05:03 - older\r\n")
        << "nothing after the open line";
    log.ExtendLogLine(start, "成功");
    log.Close(start);
    log.Flush();
    EXPECT_EQ(line(0) + line(1) + std::to_string(form.listSelected(IDC_lstView)),
              "2012-01-09 17:05:03 - older2012-01-09 17:05:03 - 启动 MySQL....成功0");
    EXPECT_TRUE(
        file.ends_with(" - older\r\n2012-01-09 17:05:03 - 启动 MySQL....成功\r\n"
                       "2012-01-09 17:05:59 - quiet\r\n"));
    // A full disk takes half a line: the rest follows later, nothing twice.
    const std::string before = file;
    os.filesImpl.room = 10;
    log.AddLineUnselected("half");
    log.Flush();
    os.filesImpl.room = SIZE_MAX;
    log.Flush();
    EXPECT_EQ(file, before +
                        "2012-01-09 17:05:59 - half\r\n"
                        "2012-01-09 17:05:59 - 无法写入日志文件：D:\\oa.log\r\n");

    for (int i = 5; i < oapanel::ActivityLog::kMaxLines; ++i) log.AppendLog(std::to_string(i));
    form.model().find(IDC_lstView)->selected = 100;
    log.AddLineUnselected("new");
    EXPECT_EQ(form.listCount(IDC_lstView), oapanel::ActivityLog::kMaxLines);
    EXPECT_EQ(form.listSelected(IDC_lstView), 99) << "the selection stays on its line";
    EXPECT_EQ(line(0), "2012-01-09 17:05:03 - 启动 MySQL....成功");
    form.model().find(IDC_lstView)->selected = 0;
    log.AppendLog("newest");        // the selected line itself goes: the selection moves to the end
    log.ExtendLogLine(start, "?");  // gone from the list: nothing to extend
    EXPECT_EQ(form.listSelected(IDC_lstView), oapanel::ActivityLog::kMaxLines - 1);
    EXPECT_EQ(line(0), "2012-01-09 17:05:59 - quiet");
    EXPECT_EQ(os.count("LB_DELETESTRING"), 2) << "the real list box lost the same lines";
    log.Flush();  // the file has every line once, those trimmed from the list too
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), oapanel::ActivityLog::kMaxLines + 2);
    EXPECT_TRUE(file.ends_with(" - new\r\n2012-01-09 17:05:59 - newest\r\n"));
}

}  // namespace
}  // namespace unit
