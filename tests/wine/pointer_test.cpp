// The window backend's part of the links against Wine's real user32: mouse moves over a
// control reach the program, the pointer the program sets stays, a check box reports its new
// value with its click, and a label can be underlined in the window's own font.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/window_system.h"

namespace {

constexpr int kLink = 1;
constexpr int kBox = 2;

struct Recorder : platform::FormEvents {
    struct Move {
        int id, x, y;
    };
    std::vector<Move> moves;
    std::vector<int> clickValues;
    platform::FormModel* model = nullptr;

    void onLoad() override {}
    void onResize() override {}
    bool onQueryUnload(int) override { return false; }
    void onUnload() override {}
    void onClick(int id) override { clickValues.push_back(model->find(id)->value); }
    void onTimer(int) override {}
    void onListSelect(int, int) override {}
    bool onMouseMove(int id, int x, int y) override {
        moves.push_back({id, x, y});
        return id == kLink;
    }
    void onTrayMessage(std::uint32_t) override {}
    void onTaskbarCreated() override {}
};

class RealWindow : public ::testing::Test {
protected:
    void SetUp() override {
        model_.clientWidth = 6000;
        model_.clientHeight = 3000;
        platform::Control link;
        link.id = kLink;
        link.kind = platform::ControlKind::Label;
        link.caption = "http://10.0.0.5:8080/oa";
        link.left = link.top = 300;
        link.width = 3000;
        link.height = 255;
        platform::Control box = link;
        box.id = kBox;
        box.kind = platform::ControlKind::CheckBox;
        box.caption = "box";
        box.top = 1200;
        box.height = 375;
        model_.controls = {link, box};
        events_.model = &model_;
        windows_.emplace(::GetModuleHandleW(nullptr));
        windows_->createForm(model_, events_);
        ASSERT_NE(windows_->mainWindow(), nullptr);
    }
    void TearDown() override {
        // The window's end posts a quit request; it must not reach the next test.
        windows_.reset();
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND child(int id) { return ::GetDlgItem(windows_->mainWindow(), id); }
    LRESULT setCursor(int id, UINT mouseMessage) {
        return ::SendMessageW(child(id), WM_SETCURSOR, reinterpret_cast<WPARAM>(child(id)),
                              MAKELPARAM(HTCLIENT, mouseMessage));
    }

    platform::FormModel model_;
    Recorder events_;
    std::optional<win32::WindowSystem> windows_;
};

TEST_F(RealWindow, AMoveOverAControlReachesTheProgramInTwipsOfThatControl) {
    RECT r{};
    ::GetWindowRect(child(kLink), &r);
    ::SetCursorPos(r.left + 20, r.top + 5);
    POINT at{};
    ::GetCursorPos(&at);
    ::ScreenToClient(child(kLink), &at);

    EXPECT_EQ(setCursor(kLink, WM_MOUSEMOVE), TRUE) << "the program's pointer stays";
    ASSERT_EQ(events_.moves.size(), 1u);
    EXPECT_EQ(events_.moves[0].id, kLink);
    win32::WindowDC screen(nullptr);
    const int dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    EXPECT_EQ(events_.moves[0].x, ::MulDiv(at.x, 1440, dpi));
    EXPECT_EQ(events_.moves[0].y, ::MulDiv(at.y, 1440, dpi));

    // A press over the link is no move, and the pointer the program chose stays.
    EXPECT_EQ(setCursor(kLink, WM_LBUTTONDOWN), TRUE);
    EXPECT_EQ(events_.moves.size(), 1u);

    setCursor(kBox, WM_MOUSEMOVE);
    ASSERT_EQ(events_.moves.size(), 2u);
    EXPECT_EQ(events_.moves[1].id, kBox);
}

TEST_F(RealWindow, ACheckBoxClickCarriesItsNewValue) {
    ::SendMessageW(child(kBox), BM_CLICK, 0, 0);
    ::SendMessageW(child(kBox), BM_CLICK, 0, 0);
    EXPECT_EQ(events_.clickValues, (std::vector<int>{1, 0}));
}

TEST_F(RealWindow, AnUnderlineWithoutAFaceUnderlinesTheWindowsFont) {
    auto fontOf = [&](int id) {
        LOGFONTW lf{};
        auto font = reinterpret_cast<HFONT>(::SendMessageW(child(id), WM_GETFONT, 0, 0));
        ::GetObjectW(font, sizeof lf, &lf);
        return lf;
    };
    const LOGFONTW plain = fontOf(kLink);
    model_.find(kLink)->font = {"", 9, true, 0x00FF0000};
    windows_->controlChanged(kLink, platform::Change::Font);
    const LOGFONTW lit = fontOf(kLink);
    EXPECT_TRUE(lit.lfUnderline);
    EXPECT_EQ(std::wstring(lit.lfFaceName), std::wstring(plain.lfFaceName));
    EXPECT_EQ(lit.lfHeight, plain.lfHeight);

    model_.find(kLink)->font = {};
    windows_->controlChanged(kLink, platform::Change::Font);
    EXPECT_FALSE(fontOf(kLink).lfUnderline);
}

}  // namespace
