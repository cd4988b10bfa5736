#include <gtest/gtest.h>

#include "panel/frmMain.h"
#include "services/process_detection.h"
#include "tests/fake/fake_platform.h"

namespace {

TEST(CheckApplicationIsRun, OnlyTheWholeNameMatchesInAnyLetterCase) {
    struct Case {
        std::vector<std::string> running;
        bool expected;
    } cases[] = {
        {{"System Idle Process", "mysqld2.exe"}, true},
        {{"MYSQLD2.EXE"}, true},
        {{"MySqlD2.Exe"}, true},
        {{"d2.exe"}, false},  // part of the name is not the database server
        {{"2.exe"}, false},
        {{""}, false},  // nor is a process without a description
        {{"mysqld2.exe.bak"}, false},
        {{"mysqld2"}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        fake::FakePlatform os;
        os.procs.running = c.running;
        EXPECT_EQ(oapanel::CheckApplicationIsRun(os.procs, "mysqld2.exe"), c.expected)
            << ::testing::PrintToString(c.running);
    }
}

TEST(CheckApplicationIsRun, WithoutTheManagementServiceNothingRuns) {
    fake::FakePlatform os;
    os.procs.running = {"mysqld2.exe"};
    os.procs.wmiAvailable = false;
    EXPECT_FALSE(oapanel::CheckApplicationIsRun(os.procs, "mysqld2.exe"));
}

TEST(CheckApplicationIsRun, DecidesTheDatabaseStateAtStartUp) {
    for (bool running : {false, true}) {
        fake::FakePlatform os;
        if (running) os.procs.running = {"MYSQLD2.exe"};
        oapanel::frmMain frm{os};
        os.ui.createForm(frm.form().model(), frm);
        EXPECT_EQ(frm.bMysqlRunning, running);
        EXPECT_EQ(frm.form().control(IDC_lblMysql).caption,
                  running ? "MySQL:已启动" : "MySQL:已停止");
    }
}

}  // namespace
