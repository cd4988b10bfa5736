// The status display, the layout and the ways out of the main window.
#include <gtest/gtest.h>

#include "panel/frmMain.h"
#include "tests/fake/fake_platform.h"

namespace {

struct WindowTest : ::testing::Test {
    fake::FakePlatform os;
    oapanel::frmMain frm{os};

    void SetUp() override { os.ui.createForm(frm.form().model(), frm); }
    const platform::Control& ctl(int id) { return frm.form().control(id); }
};

TEST_F(WindowTest, StatusDisplayFollowsBothFlags) {
    struct Case {
        bool tomcat, mysql;
        const char *lblTomcat, *cmdTomcat, *lblMysql, *cmdMysql, *lblOA, *cmdOA;
        bool connect;
    } cases[] = {
        {false, false, "Tomcat:已停止", "启动 &Tomcat", "MySQL:已停止", "启动 &MySQL", "OA:已停止",
         "启动 &OA", false},
        {true, false, "Tomcat:已启动", "停止 &Tomcat", "MySQL:已停止", "启动 &MySQL", "OA:已停止",
         "启动 &OA", false},
        {false, true, "Tomcat:已停止", "启动 &Tomcat", "MySQL:已启动", "停止 &MySQL", "OA:已停止",
         "启动 &OA", false},
        {true, true, "Tomcat:已启动", "停止 &Tomcat", "MySQL:已启动", "停止 &MySQL", "OA:已启动",
         "停止 &OA", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.tomcat) + std::to_string(c.mysql));
        frm.bTomcatRunning = c.tomcat;
        frm.bMysqlRunning = c.mysql;
        for (int twice = 0; twice < 2; ++twice) {  // a second refresh changes nothing
            frm.RefreshStatus();
            EXPECT_EQ(ctl(IDC_lblTomcat).caption, c.lblTomcat);
            EXPECT_EQ(ctl(IDC_cmdTomcat).caption, c.cmdTomcat);
            EXPECT_EQ(ctl(IDC_lblMysql).caption, c.lblMysql);
            EXPECT_EQ(ctl(IDC_cmdMysql).caption, c.cmdMysql);
            EXPECT_EQ(ctl(IDC_lblOA).caption, c.lblOA);
            EXPECT_EQ(ctl(IDC_cmdOA).caption, c.cmdOA);
            EXPECT_EQ(ctl(IDC_cmdConnect).enabled, c.connect);
            EXPECT_FALSE(ctl(IDC_cmdConnect).visible);
        }
    }
}

TEST_F(WindowTest, AfterStartUpTheAdvancedPanelIsOpen) {
    EXPECT_TRUE(frm.bAdvanced);
    EXPECT_EQ(ctl(IDC_cmdAdvance).caption, "高级(&V) <<");
    for (int id :
         {IDC_cmdCheckPort, IDC_cmdTomcat, IDC_cmdMysql, IDC_cmdReinstall, IDC_cmdCheckService})
        EXPECT_TRUE(ctl(id).visible) << id;
}

TEST_F(WindowTest, LayoutFollowsTheWindowWidthAndThePanel) {
    os.ui.resize(9900, 6600);
    EXPECT_EQ(ctl(IDC_lstView).width, 8050);
    EXPECT_EQ(ctl(IDC_lstView).height, 5100);
    for (int id : {IDC_cmdCheckPort, IDC_cmdTomcat, IDC_cmdMysql, IDC_cmdAdvance, IDC_cmdReinstall,
                   IDC_cmdCheckService, IDC_chkAuto})
        EXPECT_EQ(ctl(id).left, 8300) << id;
    EXPECT_EQ(ctl(IDC_cmdExit).left, 8300 - 1335 - 150);
    EXPECT_EQ(ctl(IDC_cmdOA).left, 8300 - 2 * (1335 + 150));
    EXPECT_EQ(ctl(IDC_cmdConnect).left, 8300 - 3 * (1335 + 150));
    EXPECT_EQ(ctl(IDC_lblBrackwen).top, 5100 + 675 + 100);

    frm.cmdAdvance_Click();
    EXPECT_EQ(ctl(IDC_lstView).width, 9650);
    EXPECT_EQ(ctl(IDC_cmdAdvance).caption, "高级(&V) >>");
    EXPECT_FALSE(ctl(IDC_cmdTomcat).visible);
    EXPECT_FALSE(ctl(IDC_chkAuto).visible);  // never shown, whatever the panel does
    os.ui.resize(9900, 6600);
    EXPECT_EQ(ctl(IDC_lstView).width, 9650);
}

TEST_F(WindowTest, ContactLineFollowsTheHeightTheListReports) {
    os.ui.listHeight = [](int requested) { return requested - requested % 195; };
    os.ui.resize(9900, 6600);
    EXPECT_EQ(ctl(IDC_lstView).height, 5070);
    EXPECT_EQ(ctl(IDC_lblBrackwen).top, 5070 + 675 + 100);
}

TEST_F(WindowTest, BelowTheFloorNothingMoves) {
    os.ui.resize(9900, 6600);
    const auto before = frm.form().model().controls;
    for (auto [w, h] : {std::pair{1900, 6600}, std::pair{9900, 700}, std::pair{500, 300}}) {
        os.ui.resize(w, h);
        for (const auto& c : before) {
            EXPECT_EQ(ctl(c.id).left, c.left) << c.name;
            EXPECT_EQ(ctl(c.id).width, c.width) << c.name;
            EXPECT_EQ(ctl(c.id).top, c.top) << c.name;
        }
    }
}

TEST_F(WindowTest, MinimisingOrClosingOnlyHidesTheWindow) {
    os.ui.resize(9900, 6600, platform::WindowState::Minimized);
    EXPECT_FALSE(frm.form().model().visible);

    frm.form().setFormVisible(true);
    EXPECT_FALSE(os.ui.close(0));  // the close box
    EXPECT_FALSE(frm.form().model().visible);
    EXPECT_EQ(frm.form().listCount(IDC_lstView), 1) << "the log survives";
    EXPECT_FALSE(os.application.ended);
}

TEST_F(WindowTest, OtherUnloadReasonsLetTheWindowGo) {
    for (int reason : {1, 2, 3}) {
        bool cancel = false;
        frm.Form_QueryUnload(cancel, reason);
        EXPECT_FALSE(cancel) << reason;
    }
    EXPECT_TRUE(os.ui.close(2));  // shutdown or log-off
    EXPECT_EQ(os.count("CreateProcessA"), 0) << "no server is stopped on the way out";
}

TEST_F(WindowTest, ExitAsksOnlyWhileAServerRuns) {
    struct Case {
        bool tomcat, mysql;
        int answer;
        bool asked, ends;
    } cases[] = {
        {false, false, platform::kIdCancel, false, true},
        {true, false, platform::kIdCancel, true, false},
        {false, true, platform::kIdCancel, true, false},
        {true, true, platform::kIdCancel, true, false},
        {false, true, platform::kIdOk, true, true},
        {true, true, platform::kIdOk, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.tomcat) + std::to_string(c.mysql) + std::to_string(c.answer));
        fake::FakePlatform machine;
        oapanel::frmMain f{machine};
        machine.ui.createForm(f.form().model(), f);
        f.bTomcatRunning = c.tomcat;
        f.bMysqlRunning = c.mysql;
        machine.application.answers = {c.answer};
        const auto lines = f.form().listCount(IDC_lstView);
        bool ended = false;
        try {
            f.cmdExit_Click();
        } catch (const fake::ProcessEnded&) {
            ended = true;
        }
        EXPECT_EQ(ended, c.ends);
        ASSERT_EQ(machine.application.boxes.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(machine.application.boxes[0].text, "OA服务将继续运行，是否退出？");
            EXPECT_EQ(machine.application.boxes[0].style, platform::kMbOkCancel);
        }
        EXPECT_EQ(f.bTomcatRunning, c.tomcat);
        EXPECT_EQ(f.form().listCount(IDC_lstView), lines);
    }
}

}  // namespace
