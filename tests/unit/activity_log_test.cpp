#include <gtest/gtest.h>

#include "panel/activity_log.h"
#include "tests/fake/fake_platform.h"

namespace {

struct ActivityLogTest : ::testing::Test {
    fake::FakePlatform os;
    oapanel::Form form{oapanel::frmMainDesign("contact"), os.ui};
    oapanel::ActivityLog log{form, os.clockImpl};

    std::string line(int i) const { return form.listItem(IDC_lstView, i); }
    int selected() const { return form.listSelected(IDC_lstView); }
};

TEST_F(ActivityLogTest, PrefixKeepsLeadingZerosAndUsesTheTwentyFourHourClock) {
    os.clockImpl.now = {2012, 1, 9, 5, 32, 50};
    EXPECT_EQ(log.GetLogTime(), "2012-01-09 05:32:50 - ");
    os.clockImpl.now = {2012, 1, 9, 17, 5, 3};
    log.AppendLog("x");
    EXPECT_EQ(line(0), "2012-01-09 17:05:03 - x");
}

TEST_F(ActivityLogTest, EveryAppendSelectsTheNewestLine) {
    for (int i = 0; i < 5; ++i) {
        log.AppendLog("line " + std::to_string(i));
        EXPECT_EQ(selected(), i);
    }
}

TEST_F(ActivityLogTest, ExtensionsGrowTheSelectedLineAndKeepItsTime) {
    log.AppendLog("启动 MySQL...");
    os.clockImpl.now.second = 59;
    for (int i = 0; i < 3; ++i) log.ExtendLogLine(".");
    log.ExtendLogLine("成功");
    EXPECT_EQ(line(0), "2012-01-09 05:32:50 - 启动 MySQL......成功");
    EXPECT_EQ(selected(), 0);
}

TEST_F(ActivityLogTest, ExtensionLandsOnTheLineTheUserSelected) {
    log.AppendLog("older");
    log.AppendLog("启动 Tomcat...");
    form.model().find(IDC_lstView)->selected = 0;  // the user clicks the older line mid-wait
    log.ExtendLogLine(".");
    EXPECT_EQ(line(0), "2012-01-09 05:32:50 - older.");
    EXPECT_EQ(line(1), "2012-01-09 05:32:50 - 启动 Tomcat...");
    EXPECT_EQ(selected(), 0);
    log.AppendLog("next");  // the next append takes the selection back to the end
    EXPECT_EQ(selected(), 2);
}

TEST_F(ActivityLogTest, ExtensionWithNothingSelectedChangesNothing) {
    log.AppendLog("a");
    form.model().find(IDC_lstView)->selected = -1;
    log.ExtendLogLine("成功");
    EXPECT_EQ(line(0), "2012-01-09 05:32:50 - a");
}

TEST_F(ActivityLogTest, AtTheLimitTheOldestLinesGoAndTheSelectionFollowsItsLine) {
    const int limit = oapanel::ActivityLog::kMaxLines;
    for (int i = 0; i < limit; ++i) log.AppendLog(std::to_string(i));
    ASSERT_EQ(form.listCount(IDC_lstView), limit);

    // The user picks line "100" while an operation is still extending the current line.
    form.model().find(IDC_lstView)->selected = 100;
    log.AddLineUnselected("new");
    EXPECT_EQ(form.listCount(IDC_lstView), limit);
    EXPECT_EQ(line(0), "2012-01-09 05:32:50 - 1");
    EXPECT_EQ(line(limit - 1), "2012-01-09 05:32:50 - new");
    ASSERT_EQ(selected(), 99);
    log.ExtendLogLine("!");
    EXPECT_EQ(line(99), "2012-01-09 05:32:50 - 100!");

    log.AppendLog("newest");
    EXPECT_EQ(form.listCount(IDC_lstView), limit);
    EXPECT_EQ(selected(), limit - 1);
    EXPECT_EQ(line(limit - 1), "2012-01-09 05:32:50 - newest");
    EXPECT_EQ(os.count("LB_DELETESTRING"), 2);  // the real list box lost the same two lines
}

TEST_F(ActivityLogTest, TrimmingTheSelectedLineLeavesNoSelection) {
    const int limit = oapanel::ActivityLog::kMaxLines;
    for (int i = 0; i < limit; ++i) log.AddLineUnselected(std::to_string(i));
    form.model().find(IDC_lstView)->selected = 0;
    log.AddLineUnselected("new");
    EXPECT_EQ(selected(), -1);
    log.ExtendLogLine("lost");  // must not land on some other line
    for (int i = 0; i < limit; ++i) ASSERT_EQ(line(i).find("lost"), std::string::npos);
}

}  // namespace
