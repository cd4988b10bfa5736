// The platform interfaces as the program relies on them, written once and run against both
// machines: the simulated one of the unit tests, and Windows' own functions under Wine. A case
// that fails on one side only shows where the simulated machine and Windows part ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "base/text.h"
#include "registry/reg_key.h"
#include "tests/contract/machine.h"

namespace {

using namespace platform;
using Bytes = std::vector<std::uint8_t>;

class Contract : public ::testing::Test {
protected:
    std::unique_ptr<contract::Machine> machine = contract::makeMachine();
    Platform& os = machine->os();
    Registry& reg = os.registry();
    const std::string key = contract::kKey;
    std::uint32_t error = 0;

    // Text as the "A" functions store it: the code page's bytes and a NUL.
    Bytes stored(const std::string& text) {
        const std::string ansi = os.codec().toAnsi(text) + '\0';
        return Bytes(ansi.begin(), ansi.end());
    }
    // Waits as the program waits: in short blocking slices, on the platform's own clock.
    bool waitFor(const std::function<bool()>& done) {
        const double end = os.clock().monotonicSeconds() + 30;
        for (; !done(); os.windows().waitForEvents(50))
            if (os.clock().monotonicSeconds() > end) return false;
        return true;
    }
    // A service's state as the program asks for it; 0, with the reason in `error`, when it
    // cannot be opened. With `config`, also its configuration through the size protocol.
    std::uint32_t state(const std::string& name, ServiceConfig* config = nullptr) {
        ServiceManager& scm = os.services();
        const Handle manager = scm.openSCManager(kScManagerConnect);
        const Handle service = scm.openService(manager, name, kGenericRead);
        ServiceStatus status;
        std::uint32_t needed = 0;
        const bool found = service && scm.queryServiceStatus(service, status);
        if (found && config) {
            EXPECT_FALSE(scm.queryServiceConfig(service, *config, 0, needed));
            EXPECT_EQ(scm.lastError(), kErrorInsufficientBuffer);
            EXPECT_TRUE(scm.queryServiceConfig(service, *config, needed, needed));
        }
        error = scm.lastError();
        EXPECT_EQ(scm.closeServiceHandle(service), service != 0);
        EXPECT_TRUE(scm.closeServiceHandle(manager));
        return found ? status.currentState : 0;
    }
};

// Each value comes back with its type and exact bytes, through the size protocol the readers
// use (ask for the size; one byte short is more data; enough room reads it), and is listed.
TEST_F(Contract, RegistryValuesKeepTheirTypeAndBytes) {
    const std::map<std::string, std::pair<std::uint32_t, Bytes>> values = {
        {"中文", {kRegSz, stored("中文")}},
        {"expand", {kRegExpandSz, stored("%SystemRoot%\\x")}},  // kept unexpanded
        {"multi", {kRegMultiSz, {'a', 0, 'b', 0, 0}}},
        {"binary", {kRegBinary, {0x0A, 0x1F, 0xFF}}},
        {"big", {kRegDwordBigEndian, {0, 0, 1, 2}}},
    };
    oapanel::RegKey k(reg);
    ASSERT_EQ(k.create(kHkeyCurrentUser, key + "\\values", kKeyAllAccess), kRegOk);
    for (const auto& [name, value] : values)
        ASSERT_EQ(reg.setValue(k.get(), name, value.first, value.second), kRegOk);
    auto listed = values;
    for (auto& [name, value] : listed) {
        const auto length = static_cast<std::uint32_t>(value.second.size());
        std::uint32_t size = 0;
        value = {};
        EXPECT_EQ(reg.queryValue(k.get(), name, &value.first, nullptr, size), kRegOk);
        EXPECT_GE(size, length) << name;
        size = length - 1;
        EXPECT_EQ(reg.queryValue(k.get(), name, nullptr, &value.second, size), kErrorMoreData);
        EXPECT_GE(size, length) << name;
        size = length;
        EXPECT_EQ(reg.queryValue(k.get(), name, nullptr, &value.second, size), kRegOk);
    }
    EXPECT_EQ(listed, values);
    listed.clear();
    std::string name;
    std::pair<std::uint32_t, Bytes> value;
    for (std::uint32_t i = 0; reg.enumValue(k.get(), i, name, value.first, value.second) == 0; ++i)
        listed[name] = value;
    EXPECT_EQ(listed, values);
    std::uint32_t size = 0;
    EXPECT_EQ(reg.queryValue(k.get(), "missing", nullptr, nullptr, size), kErrorFileNotFound);
    ASSERT_EQ(k.open(kHkeyCurrentUser, key + "\\values", kKeyQueryValue), kRegOk);
    EXPECT_EQ(reg.setValue(k.get(), "x", kRegSz, stored("x")), kErrorRegAccessDenied);
}

// A path is created in one go and found in any letter case; a key that still has sub-keys
// cannot be deleted, so the program deletes a tree from its leaves.
TEST_F(Contract, KeysAreCreatedWholeAndDeletedFromTheLeaves) {
    const std::string top = key + "\\tree";
    oapanel::RegKey k(reg);
    ASSERT_EQ(k.create(kHkeyCurrentUser, top + "\\Branch\\leaf", kKeyAllAccess), kRegOk);
    ASSERT_EQ(k.open(kHkeyCurrentUser, oapanel::UpperCase(top), kKeyRead), kRegOk);
    std::string name;
    EXPECT_EQ(reg.enumKey(k.get(), 0, name, 7), kRegOk);
    EXPECT_EQ(name, "Branch");
    EXPECT_EQ(reg.enumKey(k.get(), 0, name, 6), kErrorMoreData) << "no room for the NUL";
    EXPECT_EQ(reg.enumKey(k.get(), 1, name, 256), kErrorNoMoreItems);
    KeyInfo info;
    ASSERT_EQ(reg.queryInfoKey(k.get(), info), kRegOk);
    EXPECT_EQ(info.subKeys * 100 + info.maxSubKeyLength, 106u) << "one sub-key of six letters";
    k.close();
    EXPECT_EQ(reg.deleteKey(kHkeyCurrentUser, top), kErrorRegAccessDenied);
    EXPECT_EQ(reg.deleteKey(kHkeyCurrentUser, top + "\\branch\\LEAF"), kRegOk);
    EXPECT_EQ(reg.deleteKey(kHkeyCurrentUser, top + "\\Branch"), kRegOk);
    EXPECT_EQ(reg.deleteKey(kHkeyCurrentUser, top), kRegOk);
    EXPECT_EQ(reg.deleteKey(kHkeyCurrentUser, top), kErrorFileNotFound);
    Handle gone = 1;
    EXPECT_EQ(reg.openKey(kHkeyCurrentUser, top, kKeyRead, gone), kErrorFileNotFound);
    EXPECT_EQ(gone, 0u);
}

TEST_F(Contract, TheAnsiCodePageIsGbk) {
    TextCodec& codec = os.codec();
    const std::string chinese = "欢迎使用澜栖OA系统";
    EXPECT_EQ(codec.toAnsi(chinese).size(), 18u);  // eight ideographs at two bytes, "OA" at one
    EXPECT_EQ(codec.fromAnsi(codec.toAnsi(chinese)), chinese);
    EXPECT_EQ(codec.toAnsi("C:\\OA"), "C:\\OA");
    EXPECT_EQ(codec.toAnsi("한"), "?") << "a character GBK lacks";
}

// Names in any letter case; values empty, long or Chinese kept whole, also where expanded; an
// unknown reference stays as written.
TEST_F(Contract, TheEnvironmentKeepsValuesWhole) {
    Environment& env = os.environment();
    std::string value = "kept", han, wen;
    EXPECT_FALSE(env.getVariable("OAPANEL_NEVER_SET", value));
    EXPECT_EQ(value, "kept");
    for (int i = 0; i < 128; ++i) han += "中";
    for (int i = 0; i < 3000; ++i) wen += "文";
    for (const std::string& text : {std::string(), std::string(257, 'a'), han, wen}) {
        ASSERT_TRUE(env.setVariable("OAPANEL_中文", text));
        EXPECT_TRUE(env.getVariable("oapanel_中文", value) && value == text) << value.size();
        value = env.expand("<%OAPANEL_中文%>;%OAPANEL_NOT_SET%;50% 中");
        EXPECT_TRUE(value == "<" + text + ">;%OAPANEL_NOT_SET%;50% 中") << value.size();
    }
    const double start = os.clock().monotonicSeconds();
    EXPECT_TRUE(env.broadcastSettingChange("Environment", 5000));
    EXPECT_LT(os.clock().monotonicSeconds() - start, 6.0);
}

// A service's life as the program drives it, through the command lines it launches: the
// installer registers it stopped (with its image path in the registry), "net start" and
// "net stop" move it, "sc delete" ends it. The state is polled, as the program polls it.
TEST_F(Contract, AServiceFollowsTheCommandsTheProgramLaunches) {
    const std::string name = "OapanelContract", server = machine->databaseServer();
    const std::string image = server + " --service " + name;
    Processes& processes = os.processes();
    ASSERT_TRUE(processes.launch("cmd /c " + server + " --install " + name, kSwHide));
    ASSERT_TRUE(waitFor([&] { return state(name) == kServiceStopped; }));
    ServiceConfig config;
    EXPECT_EQ(state("oapanelcontract", &config), kServiceStopped);
    EXPECT_EQ(config.startType, kServiceDemandStart);
    EXPECT_EQ(config.binaryPathName, image);
    oapanel::RegKey k(reg);
    const std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    ASSERT_EQ(k.open(kHkeyLocalMachine, path, kKeyQueryValue), kRegOk);
    std::uint32_t type = 0, size = 1024;
    Bytes data;
    EXPECT_EQ(reg.queryValue(k.get(), "ImagePath", &type, &data, size), kRegOk);
    EXPECT_EQ(data, stored(image));
    // Windows stores it expandable, Wine as plain text; the program reads both as text.
    EXPECT_TRUE(type == kRegExpandSz || type == kRegSz) << type;

    ASSERT_TRUE(processes.launch("cmd /c net start " + name, kSwHide));
    EXPECT_TRUE(waitFor([&] { return state(name) == kServiceRunning; }));
    ASSERT_TRUE(processes.launch("cmd /c net stop " + name, kSwHide));
    EXPECT_TRUE(waitFor([&] { return state(name) == kServiceStopped; }));
    ASSERT_TRUE(processes.launch("cmd /c sc delete " + name, kSwHide));
    EXPECT_TRUE(waitFor([&] { return state(name) == 0; }));
    EXPECT_EQ(error, kErrorServiceDoesNotExist);
}

// The program knows itself from its resources, and finds a process by its exe name.
TEST_F(Contract, TheProgramKnowsItselfAndIsListedByItsExeName) {
    Application& app = os.app();
    EXPECT_EQ(app.appTitle(), "oapanel");
    const VersionInfo v = app.version();
    EXPECT_EQ(v.major * 10000 + v.minor * 100 + v.revision, 10609);
    EXPECT_NE(app.resourceString(IDS_CONTACT_LINE), "");
    EXPECT_EQ(app.resourceString(0x7FFF), "");
    ASSERT_NE(app.appPath(), "");
    EXPECT_NE(app.appPath().back(), '\\');
    // The list is walked until the caller has what it looks for.
    int seen = 0, seenAfter = 0;
    EXPECT_TRUE(os.processes().enumerateProcessDescriptions([&](const std::string& name) {
        ++seen;
        return !oapanel::EqualsIgnoringCase(name, app.exeName() + ".exe");
    }));
    os.processes().enumerateProcessDescriptions(
        [&](const std::string&) { return ++seenAfter > 0; });
    EXPECT_LE(seen, seenAfter);
    EXPECT_GT(seen, 0);
    // The system's texts for its error codes: whole, without the line break; none for a code
    // it does not know.
    const std::string message = app.systemMessage(2);
    EXPECT_FALSE(message.empty());
    EXPECT_NE(message.back(), '\n');
    EXPECT_EQ(app.systemMessage(0x2000ABCD), "");
}

// The log file: appended to, measured, renamed away and started anew.
TEST_F(Contract, AFileGrowsAndMovesAside) {
    Files& files = os.files();
    const std::string path = machine->tempFolder() + "contract.log";
    files.replaceFile(path, path + ".1");
    EXPECT_EQ(files.fileSize(path), -1);
    EXPECT_TRUE(files.appendFile(path, "abc") && files.appendFile(path, "de"));
    EXPECT_EQ(files.fileSize(path), 5);
    EXPECT_TRUE(files.replaceFile(path, path + ".1"));
    EXPECT_EQ(files.fileSize(path + ".1"), 5);
    EXPECT_TRUE(files.appendFile(path, "x"));
    EXPECT_EQ(files.fileSize(path), 1);
    EXPECT_TRUE(files.replaceFile(path, path + ".1")) << "replacing the older one";
    EXPECT_EQ(files.fileSize(path + ".1"), 1);
    EXPECT_FALSE(files.replaceFile(path, path + ".1")) << "nothing to move";
}

// Winsock 1.1 as the start-up checks it, and the port check's rule: a port is taken when a
// bind to it fails. Left out: a bind to 127.0.0.1:P while another program listens on 0.0.0.0:P
// succeeds on Windows but fails under Wine (Linux's rules).
TEST_F(Contract, WinsockStartsAndATakenPortRefusesABind) {
    Sockets& net = os.sockets();
    WsaData data;
    HostEntry host;
    ASSERT_EQ(net.wsaStartup(kWinsockVersion11, data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_GE(data.iMaxSockets, 1);
    ASSERT_TRUE(net.gethostbyname("", host));
    EXPECT_EQ(host.h_length, 4);
    EXPECT_EQ(host.h_addr_list.at(0), machine->hostAddress());

    for (const auto& [held, tried] : {std::pair{kInAddrLoopback, kInAddrLoopback},
                                      {kInAddrAny, kInAddrAny},
                                      {kInAddrLoopback, kInAddrAny}}) {
        const std::uint16_t port = machine->freePort();
        machine->listen(held, port);
        const Socket s = net.socket(kAfInet, kSockStream, 0);
        EXPECT_EQ(net.bind(s, {port, tried}), kSocketError) << int(held[0]) << int(tried[0]);
        EXPECT_EQ(net.closesocket(s), 0);
        // The table of listeners has it (Wine leaves its owner unnamed: process 0).
        std::uint32_t pid = 12345;
        EXPECT_TRUE(net.listeningProcess(port, pid));
        EXPECT_NE(pid, 12345u);
    }
    // Our own socket holds its port until it is closed.
    const std::uint16_t port = machine->freePort();
    const Socket a = net.socket(kAfInet, kSockStream, 0), b = net.socket(kAfInet, kSockStream, 0);
    EXPECT_EQ(net.bind(a, {port, kInAddrLoopback}), 0);
    EXPECT_EQ(net.bind(b, {port, kInAddrLoopback}), kSocketError);
    EXPECT_EQ(net.closesocket(a), 0);
    EXPECT_EQ(net.bind(b, {port, kInAddrLoopback}), 0);
    EXPECT_EQ(net.closesocket(b), 0);
    EXPECT_EQ(net.bind(kInvalidSocket, {port, kInAddrLoopback}), kSocketError);
    std::uint32_t pid = 0;
    EXPECT_FALSE(net.listeningProcess(port, pid)) << "nobody listens there";
    EXPECT_EQ(net.wsaCleanup(), 0);
}

// The tray icon from its add to its delete, and the two pictures kept for it.
TEST_F(Contract, TheTrayIconLivesFromAddToDelete) {
    machine->showWindow();
    Shell& shell = os.shell();
    const Handle icon = shell.loadIconFile(machine->iconFile(), 16, 16, kLrLoadFromFile);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(shell.loadIconFile(machine->iconFile() + ".gone", 16, 16, kLrLoadFromFile), 0u);
    const Handle stopped = shell.storedPicture(1), running = shell.storedPicture(2);
    EXPECT_TRUE(stopped && running && stopped != running);
    EXPECT_EQ(shell.storedPicture(1), stopped) << "loaded once, not on every call";

    NotifyIconData nid{7, kNifMessage | kNifIcon | kNifTip, icon, "oapanel 已启动", "", "", 0};
    EXPECT_EQ(shell.notifyIcon(kNimModify, nid), 0) << "no icon yet";
    EXPECT_NE(shell.notifyIcon(kNimAdd, nid), 0);
    nid.hIcon = running;
    EXPECT_NE(shell.notifyIcon(kNimModify, nid), 0);
    EXPECT_NE(shell.notifyIcon(kNimDelete, nid), 0);
    EXPECT_EQ(shell.notifyIcon(kNimModify, nid), 0) << "a deleted icon is gone";
    shell.destroyIcon(icon);
}

}  // namespace
