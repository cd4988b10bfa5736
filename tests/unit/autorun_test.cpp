// The hidden start-with-Windows box and the Run entry it writes and removes.
#include <gtest/gtest.h>

#include "panel/frmMain.h"
#include "tests/fake/fake_platform.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr auto HKLM = platform::kHkeyLocalMachine;
constexpr auto HKCU = platform::kHkeyCurrentUser;

struct AutoRunTest : ::testing::Test {
    fake::FakePlatform os;
    oapanel::frmMain frm{os};

    void load() {
        os.ui.createForm(frm.form().model(), frm);
        frm.form().setEnabled(IDC_tmStart, false);
    }
    std::optional<std::string> entry(platform::Handle root) {
        auto v = os.reg.get(root, kRun, "oapanel");
        if (!v) return std::nullopt;
        EXPECT_EQ(v->type, platform::kRegSz);
        return std::string(v->data.begin(), v->data.end());
    }
};

TEST_F(AutoRunTest, TickingWritesTheUnquotedExecutablePathUnderTheMachineKey) {
    struct Case {
        const char* folder;
        const char* stored;
    } cases[] = {
        {"D:\\OA", "D:\\OA\\oapanel.exe"},
        {"D:\\", "D:\\oapanel.exe"},  // a drive root keeps its one backslash
    };
    load();
    for (const auto& c : cases) {
        os.application.path = c.folder;
        os.ui.userClicks(IDC_chkAuto);
        EXPECT_EQ(entry(HKLM), std::string(c.stored) + '\0') << "overwritten, NUL-ended";
        EXPECT_EQ(entry(HKCU), std::nullopt);
        EXPECT_EQ(os.reg.openKeys(), 0u);
        os.ui.userClicks(IDC_chkAuto);  // clear it again
    }
    EXPECT_TRUE(os.application.boxes.empty());
}

TEST_F(AutoRunTest, ClearingRemovesTheEntryUnderBothRoots) {
    load();
    os.reg.putText(HKCU, kRun, "oapanel", "C:\\old\\oapanel.exe");
    os.reg.putText(HKLM, kRun, "other", "C:\\other.exe");
    os.ui.userClicks(IDC_chkAuto);
    ASSERT_TRUE(entry(HKLM));
    os.ui.userClicks(IDC_chkAuto);
    EXPECT_EQ(frm.form().control(IDC_chkAuto).value, 0);
    EXPECT_EQ(entry(HKLM), std::nullopt);
    EXPECT_EQ(entry(HKCU), std::nullopt);
    EXPECT_TRUE(os.reg.get(HKLM, kRun, "other")) << "other programs' entries stay";
    os.ui.userClicks(IDC_chkAuto);
    os.ui.userClicks(IDC_chkAuto);  // clearing twice changes nothing more
    EXPECT_EQ(entry(HKLM), std::nullopt);
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST_F(AutoRunTest, AMachineKeyWithoutWriteAccessFailsSilently) {
    load();
    os.reg.makeReadOnly(HKLM, "Software");
    os.ui.userClicks(IDC_chkAuto);
    EXPECT_EQ(entry(HKLM), std::nullopt);
    EXPECT_TRUE(os.application.boxes.empty());
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST_F(AutoRunTest, TheBoxStartsHiddenAndClearedWhateverTheRunKeyHolds) {
    os.reg.putText(HKLM, kRun, "oapanel", "D:\\OA\\oapanel.exe");
    load();
    EXPECT_FALSE(frm.form().control(IDC_chkAuto).visible);
    EXPECT_EQ(frm.form().control(IDC_chkAuto).value, 0);
    frm.cmdAdvance_Click();
    frm.cmdAdvance_Click();
    EXPECT_FALSE(frm.form().control(IDC_chkAuto).visible) << "the advanced panel leaves it";
}

}  // namespace
