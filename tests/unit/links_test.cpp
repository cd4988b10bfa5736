// The address links: what each opens, the browser fallback, the pointer and the highlight.
#include <gtest/gtest.h>

#include "panel/frmMain.h"
#include "tests/fake/fake_platform.h"

namespace {

const char kIE[] = "C:\\Program Files\\Internet Explorer\\iexplore.exe";
// The command prefix as it is launched: doubled separators and a trailing blank.
const char kIECommand[] = "C:\\\\Program Files\\\\Internet Explorer\\\\iexplore.exe ";

struct LinksTest : ::testing::Test {
    fake::FakePlatform os;
    oapanel::frmMain frm{os};

    void SetUp() override {
        os.net.hostAddresses = {{10, 0, 0, 5}};
        os.application.strings[IDS_MAKER_URL] = "http://maker.example/";
        os.ui.files.insert(kIE);
        os.ui.createForm(frm.form().model(), frm);
        frm.form().setEnabled(IDC_tmStart, false);
    }

    struct Link {
        int control;
        const char* address;
    };
    static constexpr Link kLinks[] = {
        {IDC_lblIP, "http://10.0.0.5:8080/oa"},
        {IDC_lblBrackwen, "http://maker.example/"},
        {IDC_cmdConnect, "http://localhost:8080/oa"},
    };

    const platform::Font& brackwenFont() { return frm.form().control(IDC_lblBrackwen).font; }
};

TEST_F(LinksTest, EachLinkStartsTheBrowserWithItsAddressAndATrailingBackslash) {
    for (const auto& link : kLinks) {
        SCOPED_TRACE(link.address);
        os.procs.launches.clear();
        os.ui.userClicks(link.control);
        ASSERT_EQ(os.procs.launches.size(), 1u);
        EXPECT_EQ(os.procs.launches[0].commandLine, std::string(kIECommand) + link.address + "\\");
        EXPECT_EQ(os.procs.launches[0].showMode, platform::kSwShowNormal);
        EXPECT_FALSE(os.procs.launches[0].waited);
        EXPECT_TRUE(os.tray.opened.empty());
    }
}

TEST_F(LinksTest, WithoutInternetExplorerTheDefaultBrowserOpensTheSameAddress) {
    struct Case {
        const char* what;
        bool ieThere;
        bool launchFails;
    } cases[] = {{"not at its place", false, false}, {"cannot be started", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.ieThere) os.ui.files.erase(kIE);
        if (c.launchFails) os.faults.fail("CreateProcessA", 2);
        for (const auto& link : kLinks) {
            os.tray.opened.clear();
            os.ui.userClicks(link.control);
            EXPECT_EQ(os.tray.opened, std::vector<std::string>{link.address});
        }
        EXPECT_TRUE(os.procs.launches.empty());
        os.ui.files.insert(kIE);
        os.faults.heal("CreateProcessA");
    }
}

TEST_F(LinksTest, OnlyTheAddressLinkPutsTheContactLineBack) {
    for (const auto& link : kLinks) {
        frm.form().setCaption(IDC_lblBrackwen, "elsewhere");
        os.ui.userClicks(link.control);
        EXPECT_EQ(frm.form().control(IDC_lblBrackwen).caption,
                  link.control == IDC_lblIP ? "contact line" : "elsewhere");
    }
    EXPECT_EQ(frm.form().control(IDC_lblIP).caption, "http://10.0.0.5:8080/oa");
}

TEST_F(LinksTest, TheAddressLinkOpensWhatItShowsNow) {
    frm.form().setCaption(IDC_lblIP, "http://:8080/oa");
    frm.lblIP_Click();
    EXPECT_EQ(os.procs.launches.back().commandLine, std::string(kIECommand) + "http://:8080/oa\\");
}

TEST_F(LinksTest, BothLinksShowTheHandOtherControlsDoNot) {
    const platform::Font addressFont = frm.form().control(IDC_lblIP).font;
    EXPECT_TRUE(os.ui.userMovesMouse(IDC_lblIP, 500, 100));
    EXPECT_EQ(os.tray.handCursors, 1);
    EXPECT_EQ(frm.form().control(IDC_lblIP).font, addressFont) << "its look stays";
    EXPECT_TRUE(os.ui.userMovesMouse(IDC_lblBrackwen, 500, 100));
    EXPECT_EQ(os.tray.handCursors, 2);
    for (int other : {IDC_lstView, IDC_lblOA, IDC_cmdOA}) {
        EXPECT_FALSE(os.ui.userMovesMouse(other, 500, 100));
    }
    EXPECT_EQ(os.tray.handCursors, 2);
}

TEST_F(LinksTest, TheContactLineIsHighlightedStrictlyInsideItsMargins) {
    struct Case {
        int x, y;
        bool lit;
    } cases[] = {
        {11, 11, true},     {7699, 219, true},  {3000, 100, true},  {10, 100, false},
        {3000, 10, false},  {7700, 100, false}, {3000, 220, false}, {0, 0, false},
        {7815, 255, false}, {11, 11, true},     {10, 10, false},
    };
    EXPECT_FALSE(brackwenFont().underline) << "plain at the start";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        os.ui.userMovesMouse(IDC_lblBrackwen, c.x, c.y);
        EXPECT_EQ(brackwenFont().underline, c.lit);
        EXPECT_EQ(brackwenFont().color, c.lit ? 0x00FF0000u : 0x80000012u);
        EXPECT_EQ(brackwenFont().name, "") << "the window's font";
    }
}

}  // namespace
