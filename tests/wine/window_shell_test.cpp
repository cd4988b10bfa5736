// The real window system and shell: a form mirrored into a window, the tray icon, icon
// files and the resources the exe carries (this test binary links the same .rc).
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/win32_platform.h"

namespace {

struct NoEvents : platform::FormEvents {
    int loads = 0;
    void onLoad() override { ++loads; }
    void onResize() override {}
    bool onQueryUnload(int) override { return false; }
    void onUnload() override {}
    void onClick(int) override {}
    void onTimer(int) override {}
    void onListSelect(int, int) override {}
    bool onMouseMove(int, int, int) override { return false; }
    void onTrayMessage(std::uint32_t) override {}
    void onTaskbarCreated() override {}
};

std::string bundleIcon(const char* name) {
    std::string path = "Z:";
    for (const char* p = OAPANEL_BUNDLE_DIR; *p; ++p) path += *p == '/' ? '\\' : *p;
    return path + "\\tomcat6\\bin\\" + name;
}

struct RealWindowTest : ::testing::Test {
    win32::Platform os{::GetModuleHandleW(nullptr)};
    platform::FormModel model;
    NoEvents events;

    void SetUp() override {
        model.caption = "oapanel - V1.6.9";
        model.clientWidth = 9780;
        model.clientHeight = 5100;
        platform::Control list;
        list.id = IDC_lstView;
        list.kind = platform::ControlKind::ListBox;
        list.left = 75, list.top = 675, list.width = 7935, list.height = 2940;
        model.controls.push_back(list);
        os.window().createForm(model, events);
        ASSERT_NE(os.window().mainWindow(), nullptr);
    }
};

TEST_F(RealWindowTest, TheFormBecomesAWindowAtItsDesignedClientSize) {
    EXPECT_EQ(events.loads, 1);
    RECT client{};
    GetClientRect(os.window().mainWindow(), &client);
    EXPECT_EQ(client.right, 9780 / 15);
    EXPECT_EQ(client.bottom, 5100 / 15);
    wchar_t title[64] = {};
    GetWindowTextW(os.window().mainWindow(), title, 64);
    EXPECT_STREQ(title, L"oapanel - V1.6.9");
    EXPECT_GT(model.width, model.clientWidth) << "the model holds the outer size";
}

TEST_F(RealWindowTest, TheShellTakesTheTrayIconThroughItsWholeLife) {
    auto& shell = os.shell();
    const platform::Handle stopped = shell.loadIconFile(
        bundleIcon("stop.ico"), 16, 16, platform::kLrLoadFromFile | platform::kLrLoadMap3dColors);
    ASSERT_NE(stopped, 0u);
    EXPECT_EQ(shell.loadIconFile(bundleIcon("missing.ico"), 16, 16, platform::kLrLoadFromFile), 0u);
    const platform::Handle running = shell.storedPicture(2);
    ASSERT_NE(running, 0u) << "the picture kept in the exe's resources";

    platform::NotifyIconData nid;
    nid.uID = 4242;
    nid.szTip = "oapanel";
    nid.hIcon = stopped;
    nid.uFlags = 0x17;
    EXPECT_NE(shell.notifyIcon(platform::kNimAdd, nid), 0);
    nid.uFlags = 7;
    nid.hIcon = running;
    EXPECT_NE(shell.notifyIcon(platform::kNimModify, nid), 0);
    nid.uFlags = 2;
    EXPECT_NE(shell.notifyIcon(platform::kNimDelete, nid), 0);
    EXPECT_EQ(shell.notifyIcon(platform::kNimModify, nid), 0) << "a deleted icon is gone";
    shell.destroyIcon(stopped);
}

TEST(RealApplication, ReadsTheVersionBlockAndTheStringTable) {
    win32::Application app(::GetModuleHandleW(nullptr));
    EXPECT_EQ(app.appTitle(), "oapanel");
    const auto v = app.version();
    EXPECT_EQ(v.major, 1);
    EXPECT_EQ(v.minor, 6);
    EXPECT_EQ(v.revision, 9);
    EXPECT_FALSE(app.resourceString(IDS_CONTACT_LINE).empty());
    EXPECT_EQ(app.exeName(), "wine_backend_tests");
    const std::string folder = app.appPath();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
}

TEST(RealApplication, ASecondHolderOfTheInstanceMarkFindsTheFirst) {
    win32::Application first(::GetModuleHandleW(nullptr));
    EXPECT_FALSE(first.previousInstanceRunning());
    win32::Application second(::GetModuleHandleW(nullptr));
    EXPECT_TRUE(second.previousInstanceRunning());
}

}  // namespace
