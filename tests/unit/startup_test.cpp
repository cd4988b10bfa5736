#include <gtest/gtest.h>

#include "panel/frmMain.h"
#include "tests/fake/fake_platform.h"

namespace {

struct StartupTest : ::testing::Test {
    fake::FakePlatform os;
    oapanel::frmMain frm{os};

    void load() { os.ui.createForm(frm.form().model(), frm); }
    const platform::Control& ctl(int id) { return frm.form().control(id); }
};

TEST(WindowTitle, IsTheVersionWithoutPaddingOrBlanks) {
    EXPECT_EQ(oapanel::WindowTitle({1, 6, 9}), "oapanel - V1.6.9");
    EXPECT_EQ(oapanel::WindowTitle({2, 0, 10}), "oapanel - V2.0.10");
}

TEST_F(StartupTest, WelcomesWithTheApplicationFolderAndSelectsIt) {
    load();
    EXPECT_EQ(frm.strAppPath, "D:\\OA");
    EXPECT_EQ(frm.form().model().caption, "oapanel - V1.6.9");
    ASSERT_EQ(frm.form().listCount(IDC_lstView), 1);
    EXPECT_EQ(frm.form().listItem(IDC_lstView, 0),
              "2012-01-09 05:32:50 - 欢迎使用澜栖OA系统，运行路径：D:\\OA");
    EXPECT_EQ(frm.form().listSelected(IDC_lstView), 0);
    EXPECT_TRUE(os.application.boxes.empty());
}

TEST_F(StartupTest, WebContainerStateFollowsItsService) {
    struct Case {
        const char* what;
        bool installed;
        std::uint32_t state;
        bool running;
    } cases[] = {
        {"not installed", false, 0, false},
        {"stopped", true, platform::kServiceStopped, false},
        {"start pending", true, platform::kServiceStartPending, true},
        {"running", true, platform::kServiceRunning, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform machine;
        if (c.installed) machine.scm.install("Tomcat6Brackwen", c.state);
        oapanel::frmMain f{machine};
        machine.ui.createForm(f.form().model(), f);
        EXPECT_EQ(f.bTomcatRunning, c.running);
        EXPECT_EQ(f.form().control(IDC_lblTomcat).caption,
                  c.running ? "Tomcat:已启动" : "Tomcat:已停止");
        EXPECT_EQ(machine.scm.openHandles(), 0u);
    }
}

TEST_F(StartupTest, SecondInstanceIsRefusedBeforeAnythingElse) {
    os.application.otherInstance = true;
    os.scm.install("Tomcat6Brackwen", platform::kServiceRunning);
    EXPECT_THROW(load(), fake::ProcessEnded);
    ASSERT_EQ(os.application.boxes.size(), 1u);
    EXPECT_EQ(os.application.boxes[0].text, "您已经运行这个应用程序了");
    EXPECT_EQ(os.application.boxes[0].style, platform::kMbOk);
    EXPECT_EQ(os.application.boxes[0].title, "oapanel");
    EXPECT_EQ(frm.form().listCount(IDC_lstView), 0);
    EXPECT_EQ(frm.form().model().caption, "oapanel");  // not even the title was set
    EXPECT_EQ(os.count("OpenSCManagerA"), 0);
    EXPECT_EQ(ctl(IDC_lblTomcat).caption, "Tomcat:已停止");
}

TEST_F(StartupTest, WindowIconIsTheFirstIconOfTheProgramFile) {
    load();
    EXPECT_EQ(os.count("ExtractIconA D:\\OA\\oapanel.exe 0"), 1);
    EXPECT_NE(os.ui.smallIcon, 0u);
    EXPECT_EQ(os.ui.liveIcons.count(os.ui.smallIcon), 1u) << "the window still uses it";
}

TEST_F(StartupTest, WindowIconFromADriveRootHasOneBackslash) {
    os.application.path = "D:\\";
    os.setRuntimeHome("D:\\\\jre16bk");  // at a drive root the runtime folder has two
    load();
    EXPECT_EQ(os.count("ExtractIconA D:\\oapanel.exe 0"), 1);
}

TEST(WindowIcon, IsReleasedWithTheWindow) {
    fake::FakePlatform os;
    {
        oapanel::frmMain frm{os};
        os.ui.createForm(frm.form().model(), frm);
        ASSERT_EQ(os.ui.liveIcons.size(), 1u);
    }
    EXPECT_TRUE(os.ui.liveIcons.empty());
}

TEST(Design, HiddenControlsStayHiddenAndTheTimerStartsDisabled) {
    const auto m = oapanel::frmMainDesign("contact");
    for (int id : {IDC_cmdMysqlStart, IDC_cmdMysqlStop, IDC_picMouseEvent, IDC_pic0, IDC_pic1,
                   IDC_pic2, IDC_cmdConnect, IDC_chkAuto, IDC_cmdStop, IDC_cmdStart})
        EXPECT_FALSE(const_cast<platform::FormModel&>(m).find(id)->visible) << id;
    auto& mm = const_cast<platform::FormModel&>(m);
    EXPECT_FALSE(mm.find(IDC_tmStart)->enabled);
    EXPECT_EQ(mm.find(IDC_tmStart)->interval, 1000);
    EXPECT_EQ(mm.find(IDC_lblBrackwen)->caption, "contact");
}

}  // namespace
