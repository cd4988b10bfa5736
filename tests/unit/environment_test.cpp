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

std::vector<std::string> shown(Machine& m) {  // each message box as its style and its text
    std::vector<std::string> out;
    for (const auto& box : m.os.application.boxes)
        out.push_back(std::to_string(box.style) + " " + box.text);
    return out;
}

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
        EXPECT_EQ(shown(m), std::vector<std::string>{"16 运行路径：[" + folder + "]\r\r" + reason});
        EXPECT_EQ(m.os.count("RegCreateKeyExA") + m.os.count("Shell_NotifyIconW") + m.count(), 0);
    }
}

// JRE_BK_HOME must name this folder's runtime. Missing, it is stored along with the user's PATH
// (the first run); naming another folder, only when the user agrees, and then the services that
// ran from there are removed. Either way the program ends; where it cannot store it, it says why.
TEST(RuntimeVariable, IsStoredOnTheFirstRunOrWithConsentAndThenTheProgramEnds) {
    const std::string home = "D:\\OA\\jre16bk", path = "A;D:\\OA\\jre16bk\\bin";
    const std::string first =
        "0 您第一次运行管理中心，正在自动设置环境变量，请重新运行\r\rJRE_BK_HOME = [" + home + "]";
    const std::string refused =
        "16 运行路径：[D:\\OA]\r\r无法设置环境变量 JRE_BK_HOME，请以管理员身份运行";
    const auto ask = [](const std::string& stored) {
        return "1 您系统中已经设置的环境变量 JRE_BK_HOME 和当前运行的目录不一致，是否改为当前"
               "环境变量？\r\r当前环境变量 = [D:\\OA\\jre16bk]\r已设环境变量 = [" +
               stored + "]";
    };
    using Row = std::tuple<std::optional<std::string>, int, bool, std::vector<std::string>,
                           std::string, std::string>;
    const int ok = platform::kIdOk, cancel = platform::kIdCancel;
    // stored before (none: no key), the answer, whether the key may be written, the boxes
    // shown, what is stored after, the user's PATH after
    const Row cases[] = {
        {std::nullopt, ok, true, {first}, home, path},
        {std::nullopt, ok, false, {first, refused}, "<none>", "A"},
        {"E:\\Old", ok, true, {ask("E:\\Old"), "0 请重新运行"}, home, path},
        {"E:\\Old", ok, false, {ask("E:\\Old"), refused}, "E:\\Old", "A"},
        {home, ok, true, {}, home, "A"},
        {home + '\0', ok, true, {}, home + '\0', "A"},  // stored with its NUL
        // The box could not be shown (0): no consent either. Letter case counts.
        {"F:\\jre16bk", 0, true, {ask("F:\\jre16bk")}, "F:\\jre16bk", "A"},
        {"d:\\oa\\JRE16BK", cancel, true, {ask("d:\\oa\\JRE16BK")}, "d:\\oa\\JRE16BK", "A"},
    };
    for (const auto& [before, answer, writable, said, after, userPath] : cases) {
        SCOPED_TRACE(before.value_or("none"));
        Machine m;
        before ? m.os.reg.putText(HKLM, kEnv, "JRE_BK_HOME", *before)
               : m.os.reg.removeKey(HKLM, kEnv);
        m.os.reg.putText(HKCU, "Environment", "PATH", "A");
        m.os.env.setVariable("PATH", "C:\\Windows");
        for (const char* name : {kTomcat, kMysql})
            m.os.commands.registerService(name, "E:\\Old\\x.exe", platform::kServiceRunning);
        // An administrator may write the environment key, but not change its owner or rights.
        m.os.reg.grant(HKLM, "SYSTEM",
                       writable ? platform::kKeyAll3F | 0x20000 : platform::kKeyRead);
        m.os.application.answers = {answer};
        const bool ends = !before || said.size() == 2, stored = userPath != "A";
        EXPECT_EQ(m.load(), ends);
        EXPECT_EQ(shown(m), said);
        EXPECT_EQ(m.os.reg.text(HKLM, kEnv, "JRE_BK_HOME"), after);
        EXPECT_EQ(m.os.reg.text(HKCU, "Environment", "PATH"), userPath);
        EXPECT_EQ(m.os.env["PATH"], stored ? "C:\\Windows;D:\\OA\\jre16bk\\bin" : "C:\\Windows")
            << "the process keeps its system folders";
        EXPECT_EQ(m.os.env.broadcasts, std::vector<std::string>(stored, "Environment 5000"));
        EXPECT_TRUE(!stored || m.os.env["JRE_BK_HOME"] == home) << "the process has it too";
        const bool removed = stored && before;
        EXPECT_EQ(m.os.count("CreateProcessA") > 0, removed);
        EXPECT_EQ(m.os.scm.find(kTomcat) || m.os.scm.find(kMysql), !removed);
        EXPECT_TRUE(!ends || m.os.tray.notifications.empty()) << "no tray icon yet";
    }
}

// The folder is open when an ordinary group may change it: entries apply in order, so a denial
// first wins (one to Everyone for all); inherited entries count, those that only pass on to
// what is inside do not; reading, running and attributes are harmless; no list is open.
TEST(FolderRights, OrdinaryUsersMayChangeTheFolder) {
    using E = platform::AccessEntry;
    const E admins{0, 0, 0x1F01FF, "S-1-5-32-544"}, usersRead{0, 0, 0x1201A9, "S-1-5-32-545"},
        authModify{0, platform::kInheritedAce, 0x1301BF, "S-1-5-11"},
        denyEveryone{1, 0, 0x2 | 0x4 | 0x40 | 0x10000 | 0x40000 | 0x80000, "S-1-1-0"};
    const std::pair<platform::AccessList, bool> cases[] = {
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
    for (const auto& [list, open] : cases) EXPECT_EQ(oapanel::OrdinaryUsersMayChange(list), open);

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
    std::string loads;
    for (const char* dll :
         {"uxtheme", "dwmapi", "version", "cryptbase", "userenv", "propsys", "oleacc", "apphelp"})
        loads += std::string("LoadLibraryExW C:\\Windows\\system32\\") + dll + ".dll|";
    for (const bool restricts : {true, false}) {
        fake::FakePlatform os;
        os.libs.defaultDirectories = restricts;
        os.libs.exports = {{"UXTHEME.DLL", {}}, {"VERSION.DLL", {}}};
        std::string before;
        EXPECT_EQ(oapanel::RunPanel(os.libs,
                                    [&]() -> platform::Platform& {
                                        for (const auto& call : os.record.calls)
                                            before += call + "|";
                                        return os;
                                    }),
                  0);
        EXPECT_EQ(before, "SetDllDirectoryW \"\"|SetDefaultDllDirectories 0x800|" +
                              (restricts ? "" : loads));
        EXPECT_EQ(os.count("GetMessageW"), 1) << "then the window runs";
    }
}

TEST(AddToUserPath, AppendsOnceAndKeepsThePathsType) {
    using Text = std::optional<std::string>;
    // the user's PATH before (none: no value) and its type, the folder added, the PATH after
    const std::tuple<const char*, Text, std::uint32_t, std::string, std::string> cases[] = {
        {"blanks only", "A", platform::kRegSz, "   ", "A"},
        {"no PATH yet", std::nullopt, platform::kRegSz, " C:\\x\\bin; ", "C:\\x\\bin;"},
        {"appended", "A;B", platform::kRegSz, "C", "A;B;C"},
        {"after a separator", "A;B;", platform::kRegSz, ";C;", "A;B;C"},
        {"already there", "c:\\app\\jre16bk\\bin2", platform::kRegSz, "C:\\APP\\JRE16BK\\BIN",
         "c:\\app\\jre16bk\\bin2"},
        {"expandable", "%USERPROFILE%\\bin", platform::kRegExpandSz, "C", "%USERPROFILE%\\bin;C"},
        // A PATH of another type is no text to append to: it stays as it is.
        {"a list", "C:\\", platform::kRegMultiSz, "D", "C:\\"},
        {"a number", "C:\\", platform::kRegDword, "D", "C:\\"},
    };
    for (const auto& [what, before, type, folder, after] : cases) {
        SCOPED_TRACE(what);
        fake::FakePlatform os;
        if (before) os.reg.putText(HKCU, "Environment", "PATH", *before, type);
        oapanel::AddToUserPath(os, folder);
        EXPECT_EQ(os.reg.text(HKCU, "Environment", "PATH"), after);
        EXPECT_EQ(os.reg.get(HKCU, "Environment", "PATH")->type, before ? type : platform::kRegSz);
        EXPECT_EQ(os.reg.openKeys(), 0u);
    }
    // Even where the user's PATH stays as it is, the process PATH gains each folder once,
    // whatever its case.
    fake::FakePlatform os;
    os.reg.putText(HKCU, "Environment", "PATH", "C:\\", platform::kRegMultiSz);
    for (const char* folder : {"C:\\OA\\bin", "c:\\oa\\BIN", "E:\\x;", "F"})
        oapanel::AddToUserPath(os, folder);
    EXPECT_EQ(os.env["PATH"], "C:\\OA\\bin;E:\\x;F");
}

TEST_F(PanelTest, AddSystemVariableWritesThroughTheRegistryClassAndAnnouncesIt) {
    ASSERT_FALSE(load());
    frm->AddSystemVariable("OA_BIN", "%JRE_BK_HOME%\\bin");
    EXPECT_EQ(os.reg.get(HKLM, kEnv, "OA_BIN")->type, platform::kRegExpandSz);
    EXPECT_EQ(os.env.broadcasts, std::vector<std::string>{"Environment 5000"});
    EXPECT_EQ(os.env["OA_BIN"], "") << "the process keeps its own";
    os.reg.makeReadOnly(HKLM);
    EXPECT_THROW(frm->AddSystemVariable("X", "y"), oapanel::RegistryError);
    EXPECT_EQ(os.env.broadcasts.size(), 1u) << "nothing announced after a refused write";
}

// --- the maintenance buttons ------------------------------------------------------------

TEST_F(PanelTest, TheServiceCheckComparesWhereTheServicesRunFrom) {
    const std::string differs = " 服务执行路径与当前运行环境不一致，请检查", at = " 服务执行路径：";
    // where each service runs from ("": not registered), the lines said after the first
    const std::tuple<std::string, std::string, std::vector<std::string>> cases[] = {
        {"",
         "",
         {"Tomcat" + differs, "Tomcat" + at + "Nothing", "MySQL" + differs,
          "MySQL" + at + "Nothing"}},
        {"D:\\OA\\tomcat6\\bin\\t.exe", "D:\\OA\\mysql5\\bin\\mysqld2.exe", {"运行环境正常"}},
        // Contained, not at the start; the letter case counts.
        {"\"D:\\OA\\tomcat6\\bin\\t.exe\"", "D:\\OA\\m.exe", {}},
        {"d:\\oa\\t.exe", "D:\\OA\\m.exe", {"Tomcat" + differs, "Tomcat" + at + "d:\\oa\\t.exe"}},
    };
    for (const auto& [tomcat, mysql, said] : cases) {
        SCOPED_TRACE(tomcat);
        Machine m;
        if (!tomcat.empty()) m.os.commands.registerService(kTomcat, tomcat);
        if (!mysql.empty()) m.os.commands.registerService(kMysql, mysql);
        ASSERT_FALSE(m.load());
        m.click(IDC_cmdCheckService);
        EXPECT_EQ(m.lines(1).at(0), "当前运行环境：D:\\OA\\jre16bk");
        EXPECT_EQ(m.lines(2), said);
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
    EXPECT_FALSE(os.scm.find(kTomcat) || os.scm.find(kMysql));
    EXPECT_EQ(boxes().back(), "本程序将退出");
    EXPECT_TRUE(os.filesImpl.content["D:\\OA\\oapanel.log"].ends_with(" - 删除 MySQL 服务\r\n"))
        << "the lines reach the file before the end";
    EXPECT_FALSE(os.tray.shown);
}

// At a drive's root: the window's icon, the log and the start-with-Windows entry name the
// program there; the icon lives as long as the window.
TEST_F(PanelTest, TheIconTheLogAndTheRunEntryNameTheProgram) {
    os.reg.putText(HKCU, kRun, "oapanel", "C:\\old\\oapanel.exe");
    os.reg.putText(HKLM, kRun, "other", "C:\\other.exe");
    os.reg.grant(HKLM, "Software", platform::kKeyAll3F | 0x20000);
    os.application.path = "D:\\";
    os.application.ver = {2, 0, 10};
    os.reg.putText(HKLM, kEnv, "JRE_BK_HOME", "D:\\\\jre16bk");
    ASSERT_FALSE(load());
    EXPECT_EQ(os.count("ExtractIconA D:\\oapanel.exe 0"), 1);
    EXPECT_EQ(os.filesImpl.content.count("D:\\oapanel.log"), 1u);
    EXPECT_EQ(os.ui.model->caption, "oapanel - V2.0.10");
    EXPECT_EQ(os.ui.liveIcons, std::set<platform::Handle>{os.ui.smallIcon});
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
    frm.reset();
    EXPECT_TRUE(os.ui.liveIcons.empty());
}

}  // namespace
}  // namespace unit
