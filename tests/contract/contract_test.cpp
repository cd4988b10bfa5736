// The platform interfaces as the program relies on them, written once and run against both
// machines: the simulated one of the unit tests, and Windows' own functions under Wine. A case
// that fails on one side only shows where the simulated machine and Windows part ways.
#include <gtest/gtest.h>

#include <map>

#include "base/text.h"
#include "machine.h"  // the simulated machine's or the real one's, as the build chose
#include "registry/reg_key.h"

namespace {

using namespace platform;
using Bytes = std::vector<std::uint8_t>;
using Values = std::map<std::string, std::pair<std::uint32_t, Bytes>>;  // name: type, data

class Contract : public ::testing::Test {
protected:
    contract::Machine machine;
    Platform& os = machine.os;
    Registry& reg = os.registry();
    const std::string key = "Software\\oapanel-contract";  // below HKEY_CURRENT_USER
};

// Values keep their type and exact bytes, also through the size protocol the readers use: ask
// for the size, then read. A path is created whole and found in any letter case; a key that
// still has sub-keys cannot be deleted, so the program deletes a tree from its leaves.
TEST_F(Contract, TheRegistryKeepsWhatIsStored) {
    const Values values = {{"中文", {kRegSz, {0xD6, 0xD0, 0xCE, 0xC4, 0}}},  // "中文" in GBK
                           {"binary", {kRegBinary, {0x0A, 0x1F, 0xFF}}}};
    oapanel::RegKey k(reg);
    ASSERT_EQ(k.create(kHkeyCurrentUser, key + "\\Branch\\leaf", kKeyAllAccess), kRegOk);
    ASSERT_EQ(k.create(kHkeyCurrentUser, key, kKeyAllAccess), kRegOk);
    for (const auto& [name, value] : values)
        ASSERT_EQ(reg.setValue(k.get(), name, value.first, value.second), kRegOk);
    Values listed;
    std::string name;
    std::pair<std::uint32_t, Bytes> value;
    for (std::uint32_t i = 0; reg.enumValue(k.get(), i, name, value.first, value.second) == 0; ++i)
        listed[name] = value;
    EXPECT_EQ(listed, values);
    std::uint32_t size = 0;  // asked for, then given with a byte to spare
    EXPECT_TRUE(reg.queryValue(k.get(), "中文", &value.first, nullptr, size) == kRegOk &&
                reg.queryValue(k.get(), "中文", nullptr, &value.second, ++size) == kRegOk &&
                value == values.at("中文"));

    ASSERT_EQ(k.open(kHkeyCurrentUser, oapanel::UpperCase(key), kKeyRead), kRegOk);
    EXPECT_EQ(reg.setValue(k.get(), "x", kRegBinary, {}), kErrorRegAccessDenied);
    EXPECT_TRUE(reg.enumKey(k.get(), 0, name, 7) == kRegOk && name == "Branch") << name;
    EXPECT_EQ(reg.enumKey(k.get(), 0, name, 6), kErrorMoreData) << "no room for the NUL";
    KeyInfo info;
    EXPECT_TRUE(reg.queryInfoKey(k.get(), info) == kRegOk && info.subKeys == 1 &&
                info.maxSubKeyLength == 6);
    k.close();
    EXPECT_EQ(reg.deleteKey(kHkeyCurrentUser, key), kErrorRegAccessDenied);
    Handle none = 1;  // a key that cannot be opened leaves no handle behind
    const long missing = reg.openKey(kHkeyCurrentUser, key + "\\none", kKeyRead, none);
    EXPECT_TRUE(missing == kErrorFileNotFound && none == 0);
}

// Text in the GBK code page; the environment keeps values whole (empty, long or Chinese), also
// where they are expanded, and an unknown reference stays as written.
TEST_F(Contract, TextKeepsEveryCharacter) {
    const std::string chinese = "欢迎使用澜栖OA系统";
    EXPECT_EQ(os.codec().toAnsi(chinese).size(), 18u);  // eight ideographs of two bytes
    EXPECT_EQ(os.codec().fromAnsi(os.codec().toAnsi(chinese)), chinese);
    Environment& env = os.environment();
    std::string value, wen;
    for (int i = 0; i < 3000; ++i) wen += "文";
    for (const std::string& text :
         {std::string(), std::string(257, 'a'), wen.substr(0, 384), wen}) {
        ASSERT_TRUE(env.setVariable("OAPANEL_中文", text));
        EXPECT_TRUE(env.getVariable("oapanel_中文", value) && value == text) << value.size();
        value = env.expand("<%OAPANEL_中文%>;%OAPANEL_NOT_SET%;50% 中");
        EXPECT_TRUE(value == "<" + text + ">;%OAPANEL_NOT_SET%;50% 中") << value.size();
    }
    EXPECT_TRUE(env.broadcastSettingChange("Environment", 5000));
}

// A service's life as the program drives it, through the command lines it launches: the
// installer registers it stopped, on demand; "net start" and "net stop" from another program,
// and "sc delete", end it. A handle that asked to hear of a state hears of it as the service
// enters it, or at once when it is there already: only that ends a wait of 10 s sooner.
// Otherwise the state is polled, as the program polls it where Windows cannot notify.
TEST_F(Contract, AServiceFollowsTheCommandsTheProgramLaunches) {
    const std::string name = "OapanelContract", server = machine.databaseServer();
    ServiceManager& scm = os.services();
    const Handle manager = scm.openSCManager(kScManagerConnect);
    ServiceStatus status;
    // The state as the program asks for it; 0, with the reason in lastError(), without a service.
    const auto state = [&] {
        const Handle service = scm.openService(manager, name, kGenericRead);
        const bool found = service && scm.queryServiceStatus(service, status);
        if (service) scm.closeServiceHandle(service);
        return found ? status.currentState : 0;
    };
    // After the command, waits as the program waits, in blocking slices of `ms` on the
    // platform's own clock, at least one, until the service is in `then`: the seconds it took,
    // 20 or more when it did not get there.
    const auto run = [&](const std::string& command, std::uint32_t then, std::uint32_t ms = 50) {
        EXPECT_TRUE(command.empty() || os.processes().launch("cmd /c " + command + name, kSwHide));
        const double start = os.clock().monotonicSeconds();
        do os.windows().waitForEvents(ms);
        while (state() != then && os.clock().monotonicSeconds() - start < 20);
        return os.clock().monotonicSeconds() - start;
    };
    ASSERT_LT(run(server + " --install ", kServiceStopped), 20);
    const Handle service = scm.openService(manager, "oapanelcontract", kGenericRead);
    ServiceConfig config;
    std::uint32_t needed = 0;
    EXPECT_TRUE(!scm.queryServiceConfig(service, config, 0, needed) &&
                scm.lastError() == kErrorInsufficientBuffer);
    ASSERT_TRUE(scm.queryServiceConfig(service, config, needed, needed));
    EXPECT_EQ(std::tuple(config.binaryPathName, config.startType),
              std::tuple(server + " --service " + name, kServiceDemandStart));
    // One request per handle: the same one again is no new request, another is refused.
    ASSERT_TRUE(scm.notifyStatusChange(service, kNotifyRunning));
    EXPECT_TRUE(scm.notifyStatusChange(service, kNotifyRunning));
    EXPECT_TRUE(!scm.notifyStatusChange(service, kNotifyRunning | kNotifyStopped) &&
                scm.lastError() == kErrorAlreadyRegistered);
    scm.closeServiceHandle(service);  // else "sc delete" only marks the service for deletion
    const std::tuple<std::string, std::uint32_t, std::uint32_t> steps[] = {
        {"net start ", kServiceRunning, kNotifyRunning},
        {"net stop ", kServiceStopped, kNotifyStopped},
        {"", kServiceStopped, kNotifyRunning | kNotifyStopped}};
    for (const auto& [command, then, mask] : steps) {
        const Handle watched = scm.openService(manager, name, kGenericRead);
        ASSERT_TRUE(scm.notifyStatusChange(watched, mask));
        EXPECT_LT(run(command, then, 10000), 5.0) << command;
        EXPECT_EQ(status.processId != 0, then == kServiceRunning) << command;
        ServiceStatus told{};  // what the notification carried: the state it fired for, once
        for (int i = 0; i < 50 && !scm.notifiedStatus(watched, told); ++i)
            os.windows().waitForEvents(100);
        EXPECT_TRUE(told.currentState == then && !scm.notifiedStatus(watched, told)) << command;
        scm.closeServiceHandle(watched);
    }
    EXPECT_TRUE(run("sc delete ", 0) < 20 && scm.lastError() == kErrorServiceDoesNotExist);
    scm.closeServiceHandle(manager);
}

// The system's texts for its error codes come whole, without the line break; the process list
// names this program by its exe name and is walked only as far as the caller asks. DLLs come
// from the system folder by their full path (a DLL that did not load has none there), and a
// function a DLL lacks is missing rather than a crash; a DLL the system does not have is not
// loaded from anywhere else.
TEST_F(Contract, TheSystemExplainsErrorsListsProcessesAndLendsItsDlls) {
    const std::string message = os.app().systemMessage(2);
    EXPECT_TRUE(!message.empty() && message.back() != '\n') << message;
    EXPECT_EQ(os.app().systemMessage(0x2000ABCD), "") << "a code the system has no text for";
    bool self = false;
    int visits = 0;
    EXPECT_TRUE(os.processes().enumerateProcessDescriptions([&](const std::string& name) {
        self = self || oapanel::EqualsIgnoringCase(name, os.app().exeName() + ".exe");
        return true;
    }));
    os.processes().enumerateProcessDescriptions([&](const std::string&) { return ++visits == 0; });
    EXPECT_TRUE(self && visits == 1) << visits;

    Libraries& libraries = os.libraries();
    const Handle sockets = libraries.loadSystemLibrary("ws2_32.dll");
    EXPECT_EQ(oapanel::UpperCase(libraries.modulePath(sockets)),
              oapanel::UpperCase(machine.systemFolder() + "\\ws2_32.dll"));
    EXPECT_TRUE(libraries.hasFunction(sockets, "WSAStartup") &&
                !libraries.hasFunction(sockets, "OapanelNoSuchFunction"));
    EXPECT_EQ(libraries.loadSystemLibrary("oapanel-none.dll"), 0u);
}

// A connection on loopback without blocking: the connect completes, the peer's bytes are read
// as they come and its close reads as 0; where nothing listens the connect is refused. A
// refusal nobody asked about is not the reason of the next try. The peer's port is taken, as
// the port check binds, and in the table of listeners, with its owner (Wine leaves it unnamed:
// process 0); the other is neither.
TEST_F(Contract, ALoopbackPeerIsAskedWithoutBlocking) {
    Sockets& net = os.sockets();
    WsaData data;
    ASSERT_EQ(net.wsaStartup(0x0202, data), 0);
    const std::uint16_t port = machine.serve("hello"), closed = machine.unusedPort();
    std::uint32_t pid = 12345;
    EXPECT_TRUE(net.listeningProcess(port, pid) && pid != 12345u);
    EXPECT_FALSE(net.listeningProcess(closed, pid));
    const Socket probe = net.socket(kAfInet, kSockStream, 0);
    EXPECT_TRUE(net.bind(probe, {port, kInAddrLoopback}) == kSocketError &&
                net.bind(probe, {closed, kInAddrLoopback}) == 0);
    net.closesocket(probe);
    std::string got;
    for (const std::uint16_t to : {closed, port, closed}) {
        const Socket s = net.socket(kAfInet, kSockStream, 0);
        ASSERT_EQ(net.setNonBlocking(s), 0);
        EXPECT_TRUE(net.connect(s, {to, kInAddrLoopback}) == 0 ||
                    net.lastError() == kWsaEWouldBlock);
        if (to == closed) {
            EXPECT_EQ(net.select(s, true, 5000), kSocketError);
            EXPECT_TRUE(got.empty() || net.lastError() == kWsaEConnRefused);  // the first: unread
        } else {
            EXPECT_EQ(net.select(s, true, 5000), 1);
            while (got.size() < 5 && net.select(s, false, 5000) == 1 && net.recv(s, got, 3) > 0) {
            }
            EXPECT_EQ(got, "hello");
            EXPECT_TRUE(net.select(s, false, 5000) == 1 && net.recv(s, got, 3) == 0) << "closed";
        }
        net.closesocket(s);
    }
    net.wsaCleanup();
}

// Files: appended to, measured, read in part, listed, moved aside over an older one and
// started anew; a file keeps its index through appends and renames, a new one under its name
// has another. A file with a second name is neither written through nor moved, nor moved
// onto: the other name keeps what it had.
TEST_F(Contract, FilesAreWrittenOnlyThroughTheirOwnName) {
    Files& files = os.files();
    const std::string folder = machine.folder(), log = folder + "\\oapanel.log", old = log + ".1";
    std::size_t n = 0;
    const auto append = [&](const std::string& path, const std::string& bytes) {
        return files.appendFile(path, bytes, n) == FileResult::Done && n == bytes.size();
    };
    FileIdentity first, moved, anew;
    EXPECT_TRUE(files.fileSize(log) == -1 && !files.fileIdentity(log, first));
    EXPECT_TRUE(append(log, "abc") && files.fileIdentity(log, first) && append(log, "de"));
    std::string bytes;
    EXPECT_TRUE(files.readFile(log, 1, 3, bytes) && bytes == "bcd") << bytes;
    EXPECT_TRUE(files.readFile(log, 9, 3, bytes) && bytes.empty()) << "past the end";
    std::vector<std::string> names;
    EXPECT_TRUE(files.listFolder(folder, names) &&
                names == std::vector<std::string>{"oapanel.log"});
    EXPECT_FALSE(files.listFolder(folder + "\\none", names));
    EXPECT_TRUE(files.fileExists(folder) && files.fileExists(log) && !files.fileExists(old));
    EXPECT_TRUE(files.replaceFile(log, old) == FileResult::Done && append(log, "x"));
    EXPECT_TRUE(files.fileIdentity(old, moved) && files.fileIdentity(log, anew) && first.index &&
                moved.index == first.index && anew.index != first.index);
    // Over the older one:
    EXPECT_TRUE(files.replaceFile(log, old) == FileResult::Done && files.fileSize(old) == 1);
    EXPECT_EQ(files.replaceFile(log, old), FileResult::Failed) << "nothing to move";

    const std::string theirs = folder + "\\theirs.txt";
    ASSERT_TRUE(append(theirs, "theirs") && append(old, "y"));
    machine.hardLink(log, theirs);
    EXPECT_EQ(files.appendFile(log, "mine", n), FileResult::Linked);
    EXPECT_EQ(files.replaceFile(old, log), FileResult::Linked);
    EXPECT_EQ(files.replaceFile(log, old), FileResult::Linked);
    EXPECT_TRUE(files.readFile(theirs, 0, 100, bytes) && bytes == "theirs" &&
                files.fileSize(old) == 2);
}

}  // namespace
