// The start-up check of the application folder and JRE_BK_HOME, the environment store
// behind it, and the service path check and removal.
#include <gtest/gtest.h>

#include "environment/env_store.h"
#include "panel/frmMain.h"
#include "tests/fake/fake_platform.h"

namespace {

const char kUserEnv[] = "Environment";

struct EnvTest : ::testing::Test {
    fake::FakePlatform os;

    std::string systemVar() {
        auto v = os.reg.get(platform::kHkeyLocalMachine, fake::FakePlatform::kSystemEnvironmentKey,
                            "JRE_BK_HOME");
        return v ? std::string(v->data.begin(), v->data.end()) : "<none>";
    }
    std::optional<fake::FakeRegistry::Value> userPath() {
        return os.reg.get(platform::kHkeyCurrentUser, kUserEnv, "PATH");
    }
    std::string userPathText() {
        auto v = userPath();
        if (!v) return "<none>";
        std::string s(v->data.begin(), v->data.end());
        if (!s.empty() && s.back() == '\0') s.pop_back();
        return s;
    }
    // Runs the start-up; true when the program ended inside it.
    bool start(oapanel::frmMain& frm) {
        try {
            os.ui.createForm(frm.form().model(), frm);
        } catch (const fake::ProcessEnded&) {
            return true;
        }
        return false;
    }
};

TEST_F(EnvTest, UnusableFoldersAreRefusedBeforeAnythingIsWritten) {
    struct Case {
        std::string folder, message;
    } cases[] = {
        {"D:\\OA 2010", "运行路径：[D:\\OA 2010]\r\r路径不能包含空格、中文，请更换路径后重新运行"},
        {"D:\\办公", "运行路径：[D:\\办公]\r\r路径不能包含中文、空格，请更换路径后重新运行"},
        {"D:\\办公 OA", "运行路径：[D:\\办公 OA]\r\r路径不能包含空格、中文，请更换路径后重新运行"},
        {"D:\\R&D",
         "运行路径：[D:\\R&D]\r\r路径不能包含特殊字符（& | < > ^ %），请更换路径后重新运行"},
        {"D:\\a%PATH%",
         "运行路径：[D:\\a%PATH%]\r\r路径不能包含特殊字符（& | < > ^ %），请更换路径后重新运行"},
        {"D:\\x^y",
         "运行路径：[D:\\x^y]\r\r路径不能包含特殊字符（& | < > ^ %），请更换路径后重新运行"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        fake::FakePlatform machine;
        machine.application.path = c.folder;
        oapanel::frmMain frm{machine};
        EXPECT_THROW(machine.ui.createForm(frm.form().model(), frm), fake::ProcessEnded);
        ASSERT_EQ(machine.application.boxes.size(), 1u);
        EXPECT_EQ(machine.application.boxes[0].text, c.message);
        EXPECT_EQ(machine.application.boxes[0].style, platform::kMbIconStop);
        EXPECT_EQ(machine.count("RegCreateKeyExA"), 0);
        EXPECT_TRUE(machine.tray.notifications.empty()) << "no tray icon left behind";
        EXPECT_EQ(frm.form().listCount(IDC_lstView), 0);
    }
}

TEST_F(EnvTest, FirstRunSetsTheVariableAndThePathAndEnds) {
    os.reg.deleteKey(platform::kHkeyLocalMachine, fake::FakePlatform::kSystemEnvironmentKey);
    os.reg.putText(platform::kHkeyCurrentUser, kUserEnv, "PATH", "A");
    os.env.variables["PATH"] = "C:\\Windows\\system32;C:\\Windows";
    oapanel::frmMain frm{os};
    EXPECT_TRUE(start(frm));
    ASSERT_EQ(os.application.boxes.size(), 1u);
    EXPECT_EQ(os.application.boxes[0].text,
              "您第一次运行管理中心，正在自动设置环境变量，请重新运行\r\rJRE_BK_HOME = "
              "[D:\\OA\\jre16bk]");
    EXPECT_EQ(os.application.boxes[0].style, platform::kMbOk);
    EXPECT_EQ(systemVar(), std::string("D:\\OA\\jre16bk") + '\0');
    EXPECT_EQ(userPathText(), "A;D:\\OA\\jre16bk\\bin");
    EXPECT_EQ(os.env.variables["JRE_BK_HOME"], "D:\\OA\\jre16bk");
    EXPECT_EQ(os.env.variables["PATH"], "C:\\Windows\\system32;C:\\Windows;D:\\OA\\jre16bk\\bin")
        << "the process keeps its system folders";
    ASSERT_EQ(os.env.broadcasts.size(), 1u);
    EXPECT_EQ(os.env.broadcasts[0].area, "Environment");
    EXPECT_EQ(os.env.broadcasts[0].timeoutMs, 5000u);
    EXPECT_TRUE(os.tray.notifications.empty());
}

TEST_F(EnvTest, AMismatchAcceptedRepointsRemovesServicesAndEnds) {
    os.setRuntimeHome("E:\\OldOA\\jre16bk");
    for (const char* name : {"Tomcat6Brackwen", "MySQL5Brackwen"}) {
        os.commands.registerService(name, "E:\\OldOA\\x.exe");
        os.scm.find(name)->state = platform::kServiceRunning;
    }
    os.env.variables["PATH"] = "C:\\Windows\\system32";
    os.application.answers = {platform::kIdOk, platform::kIdOk};
    oapanel::frmMain frm{os};
    EXPECT_TRUE(start(frm));
    ASSERT_EQ(os.application.boxes.size(), 2u);
    EXPECT_EQ(
        os.application.boxes[0].text,
        "您系统中已经设置的环境变量 JRE_BK_HOME 和当前运行的目录不一致，是否改为当前环境变量？"
        "\r\r当前环境变量 = [D:\\OA\\jre16bk]\r已设环境变量 = [E:\\OldOA\\jre16bk]");
    EXPECT_EQ(os.application.boxes[0].style, platform::kMbOkCancel);
    EXPECT_EQ(os.application.boxes[1].text, "请重新运行");
    EXPECT_EQ(systemVar(), std::string("D:\\OA\\jre16bk") + '\0');
    EXPECT_EQ(userPathText(), "D:\\OA\\jre16bk\\bin");
    EXPECT_EQ(os.count("CreateProcessA cmd /c net stop Tomcat6Brackwen"), 1);
    EXPECT_EQ(os.count("CreateProcessA cmd /c sc delete MySQL5Brackwen"), 1);
    EXPECT_FALSE(os.scm.find("Tomcat6Brackwen")) << "the delete found sc";
    EXPECT_FALSE(os.scm.find("MySQL5Brackwen"));
    EXPECT_EQ(os.env.broadcasts.size(), 1u);
}

TEST_F(EnvTest, CancelOrAMatchLetsTheWindowOpen) {
    struct Case {
        std::string stored;
        bool asked;
    } cases[] = {
        {"D:\\OA\\jre16bk", false},
        {std::string("D:\\OA\\jre16bk") + '\0', false},  // stored with its NUL
        {"d:\\oa\\JRE16BK", true},                       // letter case counts
        {"E:\\Other", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        fake::FakePlatform machine;
        machine.setRuntimeHome(c.stored);
        machine.application.answers = {platform::kIdCancel};
        oapanel::frmMain frm{machine};
        machine.ui.createForm(frm.form().model(), frm);
        EXPECT_EQ(machine.application.boxes.size(), c.asked ? 1u : 0u);
        EXPECT_EQ(frm.form().listCount(IDC_lstView), 1);
        EXPECT_TRUE(machine.env.broadcasts.empty());
        EXPECT_FALSE(machine.reg.get(platform::kHkeyCurrentUser, kUserEnv, "PATH"));
        EXPECT_EQ(machine.count("RegCreateKeyExA"), 0) << "nothing written";
    }
}

TEST_F(EnvTest, AddToUserPath) {
    struct Case {
        const char* what;
        std::optional<std::string> before;
        std::uint32_t type;
        std::string folder;
        std::string after;
    } cases[] = {
        {"blanks only", "A", platform::kRegSz, "   ", "A"},
        {"no PATH yet", std::nullopt, platform::kRegSz, " C:\\x\\bin; ", "C:\\x\\bin;"},
        {"appended", "A;B", platform::kRegSz, "C", "A;B;C"},
        {"after a separator", "A;B;", platform::kRegSz, ";C;", "A;B;C"},
        {"already there", "c:\\app\\jre16bk\\bin2", platform::kRegSz, "C:\\APP\\JRE16BK\\BIN",
         "c:\\app\\jre16bk\\bin2"},
        {"expandable", "%USERPROFILE%\\bin", platform::kRegExpandSz, "C", "%USERPROFILE%\\bin;C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform machine;
        if (c.before)
            machine.reg.putText(platform::kHkeyCurrentUser, kUserEnv, "PATH", *c.before, c.type);
        oapanel::AddToUserPath(machine, c.folder);
        auto v = machine.reg.get(platform::kHkeyCurrentUser, kUserEnv, "PATH");
        ASSERT_TRUE(v);
        std::string text(v->data.begin(), v->data.end());
        if (!text.empty() && text.back() == '\0') text.pop_back();
        EXPECT_EQ(text, c.after);
        EXPECT_EQ(v->type, c.before ? c.type : platform::kRegSz) << "PATH keeps its type";
        EXPECT_EQ(machine.reg.openKeys(), 0u);
    }
}

struct ServiceCheckTest : EnvTest {
    oapanel::frmMain frm{os};
    void SetUp() override {
        os.ui.createForm(frm.form().model(), frm);
        frm.form().setEnabled(IDC_tmStart, false);
    }
    std::vector<std::string> linesFrom(int first) {
        std::vector<std::string> out;
        for (int i = first; i < frm.form().listCount(IDC_lstView); ++i)
            out.push_back(frm.form().listItem(IDC_lstView, i).substr(22));
        return out;
    }
};

TEST_F(ServiceCheckTest, ComparesWhereTheServicesRunFrom) {
    struct Case {
        const char* what;
        std::string tomcat, mysql;  // "" = not registered
        std::vector<std::string> lines;
    } cases[] = {
        {"none registered",
         "",
         "",
         {"Tomcat 服务执行路径与当前运行环境不一致，请检查", "Tomcat 服务执行路径：Nothing",
          "MySQL 服务执行路径与当前运行环境不一致，请检查", "MySQL 服务执行路径：Nothing"}},
        {"both inside",
         "D:\\OA\\tomcat6\\bin\\t.exe",
         "D:\\OA\\mysql5\\bin\\mysqld2.exe",
         {"运行环境正常"}},
        {"contained, not at the start",
         "\"D:\\OA\\tomcat6\\bin\\t.exe\"",
         "D:\\OA\\mysql5\\bin\\mysqld2.exe",
         {}},
        {"letter case differs",
         "d:\\oa\\t.exe",
         "D:\\OA\\m.exe",
         {"Tomcat 服务执行路径与当前运行环境不一致，请检查", "Tomcat 服务执行路径：d:\\oa\\t.exe"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* name : {"Tomcat6Brackwen", "MySQL5Brackwen"})
            os.reg.deleteKey(platform::kHkeyLocalMachine,
                             std::string("SYSTEM\\CurrentControlSet\\Services\\") + name);
        if (!c.tomcat.empty()) os.commands.registerService("Tomcat6Brackwen", c.tomcat);
        if (!c.mysql.empty()) os.commands.registerService("MySQL5Brackwen", c.mysql);
        const int before = frm.form().listCount(IDC_lstView);
        frm.cmdCheckService_Click();
        auto lines = linesFrom(before);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], "当前运行环境：D:\\OA\\jre16bk");
        lines.erase(lines.begin());
        EXPECT_EQ(lines, c.lines);
    }
}

TEST_F(ServiceCheckTest, ReinstallAsksThenRemovesAndEnds) {
    os.application.answers = {platform::kIdCancel};
    frm.cmdReinstall_Click();
    EXPECT_EQ(frm.form().listCount(IDC_lstView), 1);
    EXPECT_TRUE(os.procs.launches.empty());

    os.application.answers = {platform::kIdOk, platform::kIdOk};
    EXPECT_THROW(frm.cmdReinstall_Click(), fake::ProcessEnded);
    EXPECT_EQ(linesFrom(1),
              (std::vector<std::string>{"正在停止 Tomcat 服务", "停止 Tomcat...未启动",
                                        "正在停止 MySQL 服务", "停止 MySQL...未启动",
                                        "删除 Tomcat 服务", "删除 MySQL 服务"}));
    EXPECT_EQ(frm.form().listSelected(IDC_lstView), 4);
    EXPECT_EQ(os.application.boxes.back().text, "本程序将退出");
    EXPECT_FALSE(os.tray.iconShown());
}

}  // namespace
