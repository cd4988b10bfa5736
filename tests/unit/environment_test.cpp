// The start-up check of the application folder and JRE_BK_HOME, the environment store behind
// it, the service path check and removal, and the start-with-Windows box.
#include "environment/dll_search.h"
#include "environment/env_store.h"
#include "environment/folder_rights.h"
#include "registry/Registry.h"
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

const char kEnv[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST_F(PanelTest, UnusableFoldersAreRefusedBeforeAnythingIsWritten) {
    const std::string spaces = "路径不能包含空格、中文，请更换路径后重新运行";
    const std::string specials = "路径不能包含特殊字符（& | < > ^ %），请更换路径后重新运行";
    const std::pair<std::string, std::string> cases[] = {
        {"D:\\OA 2010", spaces},   {"D:\\办公", "路径不能包含中文、空格，请更换路径后重新运行"},
        {"D:\\办公 OA", spaces},   {"D:\\R&D", specials},
        {"D:\\a%PATH%", specials}, {"D:\\x^y", specials},
    };
    for (const auto& [folder, reason] : cases) {
        SCOPED_TRACE(folder);
        Machine m;
        m.os.application.path = folder;
        EXPECT_TRUE(m.load());
        EXPECT_EQ(m.boxes(), std::vector<std::string>{"运行路径：[" + folder + "]\r\r" + reason});
        EXPECT_EQ(m.os.application.boxes[0].style, platform::kMbIconStop);
        EXPECT_EQ(m.os.count("RegCreateKeyExA") + m.os.count("Shell_NotifyIconW") + m.count(), 0);
    }
}

TEST_F(PanelTest, TheFirstRunSetsTheVariableAndThePathAndEnds) {
    os.reg.removeKey(HKLM, kEnv);
    os.reg.putText(HKCU, "Environment", "PATH", "A");
    os.env.setVariable("PATH", "C:\\Windows\\system32;C:\\Windows");
    // An administrator may write the environment key, but not change its owner or rights.
    os.reg.grant(HKLM, "SYSTEM", platform::kKeyAll3F | 0x20000);
    EXPECT_TRUE(load());
    EXPECT_EQ(boxes(),
              std::vector<std::string>{"您第一次运行管理中心，正在自动设置环境变量，请重新运行"
                                       "\r\rJRE_BK_HOME = [D:\\OA\\jre16bk]"});
    EXPECT_EQ(os.reg.text(HKLM, kEnv, "JRE_BK_HOME"), "D:\\OA\\jre16bk");
    EXPECT_EQ(os.reg.text(HKCU, "Environment", "PATH"), "A;D:\\OA\\jre16bk\\bin");
    EXPECT_EQ(os.env["JRE_BK_HOME"], "D:\\OA\\jre16bk");
    EXPECT_EQ(os.env["PATH"], "C:\\Windows\\system32;C:\\Windows;D:\\OA\\jre16bk\\bin")
        << "the process keeps its system folders";
    EXPECT_EQ(os.env.broadcasts, std::vector<std::string>{"Environment 5000"});
    EXPECT_TRUE(os.tray.notifications.empty());
}

TEST_F(PanelTest, ARuntimeVariableThatCannotBeStoredIsSaidAndEnds) {
    const std::string refused =
        "运行路径：[D:\\OA]\r\r无法设置环境变量 JRE_BK_HOME，请以管理员身份运行";
    for (bool firstRun : {true, false}) {
        Machine m;
        m.os.reg.putText(HKLM, kEnv, "JRE_BK_HOME", firstRun ? "" : "E:\\Old");
        m.os.commands.registerService(kTomcat, "E:\\Old\\t.exe", platform::kServiceRunning);
        m.os.reg.makeReadOnly(HKLM);
        EXPECT_TRUE(m.load());
        EXPECT_EQ(m.boxes().back(), refused);
        EXPECT_EQ(m.os.application.boxes.back().style, platform::kMbIconStop);
        EXPECT_FALSE(m.os.reg.get(HKCU, "Environment", "PATH"));
        EXPECT_EQ(m.os.count("CreateProcessA") + m.os.count("SendMessageTimeoutA"), 0)
            << "nothing removed, nothing announced";
    }
}

TEST_F(PanelTest, AnotherRuntimeFolderIsRepointedOnlyWhenTheUserAgrees) {
    const std::pair<std::string, bool> cases[] = {
        {"D:\\OA\\jre16bk", false},
        {"F:\\jre16bk", true},  // the box could not be shown (0): no consent either
        {std::string("D:\\OA\\jre16bk") + '\0', false},  // stored with its NUL
        {"d:\\oa\\JRE16BK", true},                       // letter case counts
        {"E:\\Other", true},
    };
    for (const auto& [stored, asked] : cases) {
        SCOPED_TRACE(stored);
        Machine m;
        m.os.reg.putText(HKLM, kEnv, "JRE_BK_HOME", stored);
        m.os.application.answers = {stored[0] == 'F' ? 0 : platform::kIdCancel};
        ASSERT_FALSE(m.load());
        EXPECT_EQ(m.boxes().size(), asked ? 1u : 0u);
        EXPECT_EQ(m.count(), 1);
        EXPECT_EQ(m.os.count("RegCreateKeyExA") + m.os.count("SendMessageTimeoutA"), 0);
    }

    os.reg.putText(HKLM, kEnv, "JRE_BK_HOME", "E:\\OldOA\\jre16bk");
    for (const char* name : {kTomcat, kMysql})
        os.commands.registerService(name, "E:\\OldOA\\x.exe", platform::kServiceRunning);
    os.application.answers = {platform::kIdOk, platform::kIdOk};
    EXPECT_TRUE(load());
    EXPECT_EQ(boxes(), (std::vector<std::string>{
                           "您系统中已经设置的环境变量 JRE_BK_HOME 和当前运行的目录不一致，"
                           "是否改为当前环境变量？\r\r当前环境变量 = [D:\\OA\\jre16bk]\r"
                           "已设环境变量 = [E:\\OldOA\\jre16bk]",
                           "请重新运行"}));
    EXPECT_EQ(os.application.boxes[0].style, platform::kMbOkCancel);
    EXPECT_EQ(os.reg.text(HKLM, kEnv, "JRE_BK_HOME"), "D:\\OA\\jre16bk");
    EXPECT_EQ(os.reg.text(HKCU, "Environment", "PATH"), "D:\\OA\\jre16bk\\bin");
    EXPECT_EQ(os.count("CreateProcessA cmd /c net stop Tomcat6Brackwen"), 1);
    EXPECT_FALSE(os.scm.find(kTomcat) || os.scm.find(kMysql)) << "both services removed";
    EXPECT_EQ(os.env.broadcasts.size(), 1u);
}

// The folder is open when an ordinary group may change it: entries apply in order, so a denial
// first wins (one to Everyone for all); inherited entries count, those that only pass on to
// what is inside do not; reading, running and attributes are harmless; no list is open.
TEST(FolderRights, OrdinaryUsersMayChangeTheFolder) {
    using E = platform::AccessEntry;
    const E admins{0, 0, 0x1F01FF, "S-1-5-32-544"}, usersRead{0, 0, 0x1201A9, "S-1-5-32-545"},
        authModify{0, platform::kInheritedAce, 0x1301BF, "S-1-5-11"},
        denyEveryone{1, 0, 0x2 | 0x4 | 0x40 | 0x10000 | 0x40000 | 0x80000, "S-1-1-0"};
    const struct {
        platform::AccessList list;
        bool open;
    } cases[] = {
        {{false, {admins, usersRead}}, false},
        {{false, {admins, authModify}}, true},
        {{false, {{0, platform::kInheritOnlyAce, 0x10000000, "S-1-5-32-545"}}}, false},
        {{false, {denyEveryone, authModify}}, false},
        {{false, {authModify, denyEveryone}}, true},
        {{false, {{0, 0, 0x1301BF, "S-1-5-21-7-8-9-1001"}}}, false},  // one named user
        {{false, {{0, 0, 0x10000000, "S-1-1-0"}}}, true},
        {{false, {{0, 0, 0x4, "S-1-5-4"}}}, true},  // adding a subfolder is enough
        {{true, {}}, true},
        {{false, {}}, false},  // an empty list: nobody may do anything
    };
    for (const auto& c : cases) EXPECT_EQ(oapanel::OrdinaryUsersMayChange(c.list), c.open);

    Machine m;  // said after the welcome (the other cases' lists cannot be read: nothing said)
    m.os.filesImpl.access["D:\\OA"] = {false, {admins, authModify}};
    ASSERT_FALSE(m.load());
    EXPECT_EQ(
        m.lines().at(1),
        "注意：普通用户可以修改应用目录 D:\\OA，其中的服务以系统权限运行，建议只允许管理员写入");
}

// As the program starts, the search path is closed before the machine is made (which loads
// DLLs): the current folder goes, and where Windows can restrict loads by name to the system
// folder nothing else is needed; where it cannot, the DLLs the system loads by name come from
// the system folder now, those missing skipped.
TEST(DllSearch, TheSearchPathIsClosedBeforeAnythingLoads) {
    for (const bool restricts : {true, false}) {
        fake::FakePlatform os;
        os.libs.defaultDirectories = restricts;
        os.libs.exports = {{"UXTHEME.DLL", {}}, {"VERSION.DLL", {}}};
        std::vector<std::string> before;
        EXPECT_EQ(oapanel::RunPanel(os.libs,
                                    [&]() -> platform::Platform& {
                                        before = os.record.calls;
                                        return os;
                                    }),
                  0);
        std::vector<std::string> expected{"SetDllDirectoryW \"\"",
                                          "SetDefaultDllDirectories 0x800"};
        for (const char* dll :
             restricts ? std::vector<const char*>{}
                       : std::vector{"uxtheme.dll", "dwmapi.dll", "version.dll", "cryptbase.dll",
                                     "userenv.dll", "propsys.dll", "oleacc.dll", "apphelp.dll"})
            expected.push_back(std::string("LoadLibraryExW C:\\Windows\\system32\\") + dll);
        EXPECT_EQ(before, expected);
        EXPECT_EQ(os.count("GetMessageW"), 1) << "then the window runs";
    }
}

TEST(AddToUserPath, AppendsOnceAndKeepsThePathsType) {
    struct Case {
        const char* what;
        std::optional<std::string> before;
        std::uint32_t type;
        std::string folder, after;
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
        fake::FakePlatform os;
        os.env.setVariable("PATH", "c:\\windows;C:\\x\\BIN");
        if (c.before) os.reg.putText(HKCU, "Environment", "PATH", *c.before, c.type);
        oapanel::AddToUserPath(os, c.folder);
        EXPECT_EQ(os.reg.text(HKCU, "Environment", "PATH"), c.after);
        EXPECT_EQ(os.reg.get(HKCU, "Environment", "PATH")->type,
                  c.before ? c.type : platform::kRegSz);
        EXPECT_EQ(os.reg.openKeys(), 0u);
    }
    // A PATH of another type is left as it is; the process PATH still gains the folder.
    for (std::uint32_t type : {platform::kRegMultiSz, platform::kRegNone, platform::kRegLink,
                               platform::kRegBinary, platform::kRegDword}) {
        fake::FakePlatform os;
        const fake::Bytes data = {'C', ':', '\\', 0, 0};
        os.reg.put(HKCU, "Environment", "PATH", type, data);
        oapanel::AddToUserPath(os, "D:\\bin");
        const auto after = os.reg.get(HKCU, "Environment", "PATH");
        EXPECT_TRUE(after->type == type && after->data == data) << type;
        EXPECT_EQ(os.env["PATH"], "D:\\bin");
    }
    fake::FakePlatform os;  // the process PATH compares entries without regard to case
    os.env.setVariable("PATH", "c:\\windows;c:\\oa\\jre16bk\\bin");
    oapanel::AddToUserPath(os, "C:\\OA\\jre16bk\\bin");
    EXPECT_EQ(os.env["PATH"], "c:\\windows;c:\\oa\\jre16bk\\bin");
    os.env.setVariable("PATH", "c:\\windows;");
    oapanel::AddToUserPath(os, "D:\\bin");
    EXPECT_EQ(os.env["PATH"], "c:\\windows;D:\\bin");
}

TEST(AddSystemVariable, WritesTheSystemVariableThroughTheRegistryClassAndAnnouncesIt) {
    Machine m;
    ASSERT_FALSE(m.load());
    m.frm->AddSystemVariable("JRE_BK_HOME", "D:\\OA\\jre16bk");
    m.frm->AddSystemVariable("OA_BIN", "%JRE_BK_HOME%\\bin");
    EXPECT_EQ(m.os.reg.get(HKLM, kEnv, "JRE_BK_HOME")->type, platform::kRegSz);
    EXPECT_EQ(m.os.reg.get(HKLM, kEnv, "OA_BIN")->type, platform::kRegExpandSz);
    EXPECT_EQ(m.os.env.broadcasts,
              (std::vector<std::string>{"Environment 5000", "Environment 5000"}));
    EXPECT_EQ(m.os.env["OA_BIN"], "") << "the process keeps its own";
    m.os.reg.makeReadOnly(HKLM);
    EXPECT_THROW(m.frm->AddSystemVariable("X", "y"), oapanel::RegistryError);
    EXPECT_EQ(m.os.env.broadcasts.size(), 2u) << "nothing announced after a refused write";
    m.expectNothingOpen();
}

// --- the maintenance buttons ------------------------------------------------------------

TEST_F(PanelTest, TheServiceCheckComparesWhereTheServicesRunFrom) {
    struct Case {
        std::string tomcat, mysql;  // "" = not registered
        std::vector<std::string> lines;
    } cases[] = {
        {"",
         "",
         {"Tomcat 服务执行路径与当前运行环境不一致，请检查", "Tomcat 服务执行路径：Nothing",
          "MySQL 服务执行路径与当前运行环境不一致，请检查", "MySQL 服务执行路径：Nothing"}},
        {"D:\\OA\\tomcat6\\bin\\t.exe", "D:\\OA\\mysql5\\bin\\mysqld2.exe", {"运行环境正常"}},
        {"\"D:\\OA\\tomcat6\\bin\\t.exe\"", "D:\\OA\\m.exe", {}},  // contained, not at the start
        {"d:\\oa\\t.exe",
         "D:\\OA\\m.exe",
         {"Tomcat 服务执行路径与当前运行环境不一致，请检查", "Tomcat 服务执行路径：d:\\oa\\t.exe"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tomcat);
        Machine m;
        if (!c.tomcat.empty()) m.os.commands.registerService(kTomcat, c.tomcat);
        if (!c.mysql.empty()) m.os.commands.registerService(kMysql, c.mysql);
        ASSERT_FALSE(m.load());
        m.click(IDC_cmdCheckService);
        auto expected = c.lines;
        expected.insert(expected.begin(), "当前运行环境：D:\\OA\\jre16bk");
        EXPECT_EQ(m.lines(1), expected);
    }
}

TEST_F(PanelTest, RemovalAsksThenStopsAndDeletesBothServicesAndEnds) {
    loadAndAutoStart();
    const int before = count();
    os.application.answers = {platform::kIdCancel};
    click(IDC_cmdReinstall);
    EXPECT_EQ(count(), before);
    EXPECT_EQ(boxes(), std::vector<std::string>{"卸载服务不会影响OA的数据，是否卸载？"});

    os.application.answers = {platform::kIdOk, platform::kIdOk};
    EXPECT_TRUE(ends([&] { click(IDC_cmdReinstall); }));
    EXPECT_EQ(lines(before), (std::vector<std::string>{"正在停止 Tomcat 服务", "停止 Tomcat...成功",
                                                       "正在停止 MySQL 服务", "停止 MySQL...成功",
                                                       "删除 Tomcat 服务", "删除 MySQL 服务"}));
    EXPECT_EQ(ctl(IDC_lstView).selected, before + 3) << "the selection stays on the last stop";
    EXPECT_EQ(os.count("CreateProcessA cmd /c sc delete "), 2);
    EXPECT_FALSE(os.scm.find(kTomcat) || os.scm.find(kMysql));
    EXPECT_EQ(boxes().back(), "本程序将退出");
    EXPECT_TRUE(os.filesImpl.content["D:\\OA\\oapanel.log"].ends_with(" - 删除 MySQL 服务\r\n"))
        << "the lines reach the file before the end";
    EXPECT_FALSE(os.tray.shown);
}

TEST_F(PanelTest, TheStartWithWindowsBoxWritesAndRemovesTheRunEntry) {
    os.reg.putText(HKCU, kRun, "oapanel", "C:\\old\\oapanel.exe");
    os.reg.putText(HKLM, kRun, "other", "C:\\other.exe");
    os.reg.grant(HKLM, "Software", platform::kKeyAll3F | 0x20000);
    os.application.path = "D:\\";
    os.reg.putText(HKLM, kEnv, "JRE_BK_HOME", "D:\\\\jre16bk");
    ASSERT_FALSE(load());
    EXPECT_EQ(ctl(IDC_chkAuto).value, 0);
    click(IDC_chkAuto);
    EXPECT_EQ(os.reg.text(HKLM, kRun, "oapanel"), "D:\\oapanel.exe") << "unquoted, one backslash";
    EXPECT_EQ(os.reg.get(HKLM, kRun, "oapanel")->type, platform::kRegSz);
    click(IDC_chkAuto);
    EXPECT_FALSE(os.reg.get(HKLM, kRun, "oapanel") || os.reg.get(HKCU, kRun, "oapanel"));
    EXPECT_TRUE(os.reg.get(HKLM, kRun, "other"));

    os.reg.makeReadOnly(HKLM, "Software");
    click(IDC_chkAuto);
    EXPECT_FALSE(os.reg.get(HKLM, kRun, "oapanel"));
    EXPECT_TRUE(os.application.boxes.empty()) << "fails silently";
}

}  // namespace
}  // namespace unit
