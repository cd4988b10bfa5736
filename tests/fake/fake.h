// The simulated machine the unit tests run the program against: a test double with real
// semantics (a registry with rights and handles that must be closed, services with states
// that commands change after scripted delays, a clock that moves when events are pumped),
// which records every platform call and can be told to fail any of them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

// Thrown by endProcess so that the test, not the process, ends.
struct ProcessEnded {
    std::uint32_t exitCode;
};

using Bytes = std::vector<std::uint8_t>;

// Every platform call, as "RegOpenKeyExA HKLM\\SOFTWARE 0x1", plus the failures to inject:
// an operation named in `failing`, by its name or by its whole call, fails with the error given.
struct Record {
    std::vector<std::string> calls;
    std::map<std::string, std::uint32_t> failing;

    // Logs the call; true (with the error) when the operation is set to fail.
    bool call(const std::string& text, const std::string& op, std::uint32_t* error = nullptr);
    int count(const std::string& prefix) const;
};

std::string Hex(std::uint64_t n);

class FakeApplication : public platform::Application {
public:
    struct Box {
        std::string text;
        std::uint32_t style;
        std::string title;
    };
    explicit FakeApplication(Record& r) : r_(r) {}

    std::string path = "D:\\OA", title = "oapanel", exe = "oapanel";
    platform::VersionInfo ver{1, 6, 9};
    bool otherInstance = false;
    std::map<int, std::string> strings{{IDS_CONTACT_LINE, "contact line"}};
    std::vector<Box> boxes;    // every message box shown
    std::vector<int> answers;  // scripted answers, first first; IDOK when none left
    // What happens while a box is open (its own message loop runs meanwhile).
    std::function<void(const Box&)> whileOpen;

    std::string appPath() override { return path; }
    std::string appTitle() override { return title; }
    std::string exeName() override { return exe; }
    platform::VersionInfo version() override { return ver; }
    bool previousInstanceRunning() override { return otherInstance; }
    std::string resourceString(int id) override { return strings.count(id) ? strings[id] : ""; }
    std::string systemMessage(std::uint32_t code) override {
        return code < 10000 ? "message " + std::to_string(code)
                            : "";  // higher: the system has none
    }
    int messageBox(const std::string& text, std::uint32_t style, const std::string& t) override;
    [[noreturn]] void endProcess(std::uint32_t exitCode) override;

private:
    Record& r_;
};

class FakeClock : public platform::Clock {
public:
    platform::LocalTime now{2012, 1, 9, 5, 32, 50};
    double monotonic = 1000.0;
    platform::LocalTime localTime() override { return now; }
    double monotonicSeconds() override { return monotonic; }
};

class FakeServiceManager : public platform::ServiceManager {
public:
    struct Service {
        std::uint32_t state = platform::kServiceStopped;
        platform::ServiceConfig config;
        // Seconds from "net start" / "net stop" to the final state; negative: never.
        double startDelay = 1.0, stopDelay = 1.0;
        // A start that fails ends in STOPPED with this exit code (and service-specific code).
        std::uint32_t failsWith = 0, specificCode = 0;
        std::uint32_t exitCode = 0, processId = 0;  // as the status reports them
    };
    explicit FakeServiceManager(Record& r) : r_(r) {}

    std::map<std::string, Service> installed;  // by upper-case name
    Service& install(const std::string& name, std::uint32_t state, const std::string& binPath = "");
    Service* find(const std::string& name);
    std::size_t openHandles() const { return open_.size(); }

    platform::Handle openSCManager(std::uint32_t access) override;
    platform::Handle openService(platform::Handle manager, const std::string& name,
                                 std::uint32_t access) override;
    bool queryServiceStatus(platform::Handle service, platform::ServiceStatus& status) override;
    bool queryServiceConfig(platform::Handle service, platform::ServiceConfig& config,
                            std::uint32_t bufferSize, std::uint32_t& bytesNeeded) override;
    bool closeServiceHandle(platform::Handle handle) override;
    std::uint32_t lastError() override { return lastError_; }
    // With notifications (as on Vista and later), a service entering a requested state wakes
    // the window system's wait; without them (as on XP) the program has to poll.
    bool notifications = false;
    bool notifyStatusChange(platform::Handle service, std::uint32_t stateMask) override;
    // A service changed state: true when a pending request asked for that state.
    bool notified(const std::string& name, std::uint32_t state);

private:
    Service* opened(platform::Handle service, const std::string& text, const std::string& op);
    Record& r_;
    std::uint32_t lastError_ = 0;
    platform::Handle next_ = 0x100;
    std::map<platform::Handle, std::string> open_;   // handle -> service, "" for a manager
    std::map<std::string, std::uint32_t> requests_;  // service -> states asked for
};

class FakeWindowSystem : public platform::WindowSystem {
public:
    FakeWindowSystem(Record& r, FakeClock& clock) : r_(r), clock_(clock) {}

    platform::FormModel* model = nullptr;
    platform::FormEvents* events = nullptr;
    std::set<std::string> files;
    platform::Handle smallIcon = 0;
    std::set<platform::Handle> liveIcons;
    // What a list box reports as its height after a move (a real one keeps whole lines).
    std::function<int(int)> listHeight = [](int requested) { return requested; };

    std::uint32_t createError = 0;  // CreateWindowExW fails with this error
    bool quit = false;              // the session ended or the program is quitting

    std::uint32_t createForm(platform::FormModel& m, platform::FormEvents& e) override;
    bool quitting() override { return quit; }
    void controlChanged(int controlId, platform::Change what) override;
    void listAdded(int id) override { r_.calls.push_back("LB_ADDSTRING " + std::to_string(id)); }
    void listReplaced(int id, int) override {
        r_.calls.push_back("LB_REPLACE " + std::to_string(id));
    }
    void listRemovedFirst(int id) override;
    void pumpEvents() override { advance(0.01); }
    // Even a zero wait lets a little time pass, as it does on a real machine.
    void waitForEvents(std::uint32_t maxMs) override { advance(std::max(maxMs, 1u) / 1000.0); }
    bool fileExists(const std::string& path) override { return files.count(path) > 0; }
    platform::Handle extractIcon(const std::string& exePath, int index) override;
    void setSmallIcon(platform::Handle icon) override { smallIcon = icon; }
    void destroyIcon(platform::Handle icon) override { liveIcons.erase(icon); }

    // Things that happen at a moment of virtual time. Pumping and waiting move the clock and
    // run what has come due, in time order, together with the ticks of enabled timers.
    void after(double seconds, std::function<void()> what);
    void advance(double seconds);
    void wake() { woken_ = true; }  // the wait under way ends now

    // What the user and Windows do.
    void userSelects(int listId, int index);
    void userClicks(int controlId);  // a check box changes its value first
    bool userMovesMouse(int controlId, int x, int y) {
        return events->onMouseMove(controlId, x, y);
    }
    void resize(int width, int height, platform::WindowState state = platform::WindowState::Normal);
    bool close(int reason);  // true when the window was unloaded
    // Windows shuts down: the window asks, unloads and is gone, and the program is quitting.
    void endSession() {
        close(2);
        quit = true;
    }

    const platform::Control& control(int id) const { return *model->find(id); }
    std::vector<std::string> lines(int from = 0) const;  // the activity log without prefixes

private:
    Record& r_;
    FakeClock& clock_;
    platform::Handle nextIcon_ = 0x9000;
    std::multimap<double, std::function<void()>> agenda_;
    std::map<int, double> timerDue_;
    bool woken_ = false;
};

class FakeProcesses : public platform::Processes {
public:
    struct Launch {
        std::string commandLine;
        std::uint32_t showMode;
    };
    FakeProcesses(Record& r, FakeClock& clock) : r_(r), clock_(clock) {}

    std::vector<std::string> running;            // the Description of every process WMI lists
    std::map<std::uint32_t, std::string> names;  // executable names by process id
    double commandSeconds = 0.2;                 // how long a started command runs
    std::size_t openProcesses() const { return ends_.size(); }
    std::size_t failAfter = SIZE_MAX;  // WMI fails after handing out this many
    std::vector<Launch> launches;
    std::function<void(const std::string&)> onLaunch;  // runs before the launch returns

    bool launch(const std::string& commandLine, std::uint32_t showMode) override;
    bool launchAndWait(const std::string& commandLine, const std::string& directory,
                       std::uint32_t waitMs, std::uint32_t showMode,
                       std::uint32_t creationFlags) override;
    bool enumerateProcessDescriptions(
        const std::function<bool(const std::string&)>& visit) override;
    platform::Handle start(const std::string& commandLine, std::uint32_t showMode) override;
    bool hasEnded(platform::Handle process) override {
        return clock_.monotonic >= ends_.at(process);
    }
    void closeProcess(platform::Handle process) override { ends_.erase(process); }
    std::uint32_t lastError() override { return lastError_; }
    std::string processName(std::uint32_t id) override { return names.count(id) ? names[id] : ""; }

private:
    Record& r_;
    FakeClock& clock_;
    std::uint32_t lastError_ = 0;
    std::map<platform::Handle, double> ends_;
    platform::Handle next_ = 0x4000;
};

class FakeFiles : public platform::Files {
public:
    explicit FakeFiles(Record& r) : r_(r) {}
    std::map<std::string, std::string> content;
    std::set<std::string> locked;  // files another program holds: writes and renames fail
    bool appendFile(const std::string& path, const std::string& bytes) override;
    std::int64_t fileSize(const std::string& path) override {
        return content.count(path) ? static_cast<std::int64_t>(content[path].size()) : -1;
    }
    bool replaceFile(const std::string& from, const std::string& to) override;

private:
    Record& r_;
};

class FakeEnvironment : public platform::Environment {
public:
    explicit FakeEnvironment(Record& r) : r_(r) {}
    std::map<std::string, std::string> variables;  // by upper-case name, as Windows compares
    std::vector<std::string> broadcasts;           // "Environment 5000"

    bool getVariable(const std::string& name, std::string& value) override;
    bool setVariable(const std::string& name, const std::string& value) override;
    std::string expand(const std::string& text) override;  // unknown %NAME% stays
    bool broadcastSettingChange(const std::string& area, std::uint32_t timeoutMs) override;
    std::string operator[](const std::string& name);

private:
    Record& r_;
};

// The Chinese ANSI code page, GBK (936), through iconv: what cannot be represented is "?".
class FakeCodec : public platform::TextCodec {
public:
    std::string toAnsi(const std::string& utf8) override;
    std::string fromAnsi(const std::string& ansi) override;
};

// A tree of keys below the predefined roots, with case-insensitive names, typed values as raw
// bytes, handles that must be closed, and rights: each key grants at most what a grant above
// it allows, and an open or create that asks for more is refused, as Windows refuses it.
class FakeRegistry : public platform::Registry {
public:
    struct Value {
        std::uint32_t type = platform::kRegNone;
        Bytes data;
    };
    explicit FakeRegistry(Record& r) : r_(r) {}

    // Shaping and inspecting the machine: nothing is recorded and no right checked.
    void put(platform::Handle root, const std::string& path, const std::string& name,
             std::uint32_t type, Bytes data);
    void putText(platform::Handle root, const std::string& path, const std::string& name,
                 const std::string& utf8, std::uint32_t type = platform::kRegSz);
    void addKey(platform::Handle root, const std::string& path);
    void removeKey(platform::Handle root, const std::string& path);  // with its sub-keys
    bool hasKey(platform::Handle root, const std::string& path) const;
    std::optional<Value> get(platform::Handle root, const std::string& path,
                             const std::string& name) const;
    std::string text(platform::Handle root, const std::string& path, const std::string& name);
    std::vector<std::string> subKeys(platform::Handle root, const std::string& path) const;
    void grant(platform::Handle root, const std::string& path, std::uint32_t rights);
    void makeReadOnly(platform::Handle root, const std::string& path = "") {
        grant(root, path, platform::kKeyRead);
    }
    void denyAccess(platform::Handle root, const std::string& path) { grant(root, path, 0); }
    std::size_t openKeys() const { return open_.size(); }

    long openKey(platform::Handle root, const std::string& path, std::uint32_t access,
                 platform::Handle& key) override;
    long createKey(platform::Handle root, const std::string& path, std::uint32_t access,
                   platform::Handle& key) override;
    long queryValue(platform::Handle key, const std::string& name, std::uint32_t* type, Bytes* data,
                    std::uint32_t& size) override;
    long setValue(platform::Handle key, const std::string& name, std::uint32_t type,
                  const Bytes& data) override;
    long deleteValue(platform::Handle key, const std::string& name) override;
    long deleteKey(platform::Handle root, const std::string& path) override;
    long enumKey(platform::Handle key, std::uint32_t index, std::string& name,
                 std::uint32_t bufferChars) override;
    long enumValue(platform::Handle key, std::uint32_t index, std::string& name,
                   std::uint32_t& type, Bytes& data) override;
    long queryInfoKey(platform::Handle key, platform::KeyInfo& info) override;
    long closeKey(platform::Handle key) override;

private:
    struct Key {
        std::string name;                                   // as created
        std::vector<std::pair<std::string, Value>> values;  // in the order first set
        Value* value(const std::string& valueName);
    };
    // Keys by "ROOT\PATH" in upper case; the roots themselves are always there.
    long where(platform::Handle root, const std::string& path, std::string& full,
               std::vector<std::string>* names = nullptr) const;
    std::uint32_t rightsAt(const std::string& full) const;
    long opened(platform::Handle key, std::uint32_t right, Key*& k);
    std::vector<std::string> children(const std::string& full) const;
    void make(const std::string& full, const std::vector<std::string>& names);
    std::string shaped(platform::Handle root, const std::string& path,
                       std::vector<std::string>* names = nullptr) const;

    Record& r_;
    std::map<std::string, Key> keys_;
    std::map<platform::Handle, std::pair<std::string, std::uint32_t>> open_;
    std::map<std::string, std::uint32_t> grants_;
    platform::Handle next_ = 0x1000;
};

class FakeShell : public platform::Shell {
public:
    struct Notify {
        std::uint32_t message;
        platform::NotifyIconData data;
    };
    explicit FakeShell(Record& r) : r_(r) {}

    std::set<std::string> iconFiles;  // icon files that load
    bool refuses = false;             // Shell_NotifyIconA answers 0
    std::vector<Notify> notifications;
    std::set<platform::Handle> liveIcons;                // loaded and not yet destroyed
    std::map<platform::Handle, std::string> loadedFrom;  // the file each icon came from
    // What the user picks from a pop-up menu (0: dismissed), given its items.
    std::function<int(const std::vector<platform::MenuItem>&)> pick = [](const auto&) { return 0; };
    std::vector<std::vector<platform::MenuItem>> menus;
    std::vector<std::string> opened;  // every address given to ShellExecuteW "open"
    bool shown = false;               // the notification area shows the icon
    platform::Handle picture = 0;     // and this picture

    long notifyIcon(std::uint32_t message, const platform::NotifyIconData& data) override;
    platform::Handle loadIconFile(const std::string& path, int cx, int cy,
                                  std::uint32_t flags) override;
    void destroyIcon(platform::Handle icon) override { liveIcons.erase(icon); }
    platform::Handle storedPicture(int index) override { return index == 1 ? 0x7001 : 0x7002; }
    int popupMenu(const std::vector<platform::MenuItem>& items) override;
    double random() override { return 0.5; }
    bool shellExecuteOpen(const std::string& url) override;
    void setHandCursor() override { r_.calls.push_back("SetCursor IDC_HAND"); }

private:
    Record& r_;
    platform::Handle next_ = 0x8000;
};

// Sockets with the bind rules of Windows: a program holding a port on one address keeps
// others off that address; one on the wildcard address keeps them off every address only
// when it asked for exclusive use.
class FakeSockets : public platform::Sockets {
public:
    using Address = std::array<std::uint8_t, 4>;
    explicit FakeSockets(Record& r) : r_(r) {}

    std::vector<std::vector<std::uint8_t>> hostAddresses{{192, 168, 1, 5}};
    bool resolvable = true;
    std::uint16_t versionInUse = platform::kWinsockVersion11;
    std::int16_t maxSockets = 32767;
    std::map<std::uint16_t, std::uint32_t> listeners;  // port -> owning process, as the table says
    bool tableReadable = true;
    void hold(const Address& address, std::uint16_t port, bool exclusive = false) {
        held_.push_back({address, port, exclusive});
    }
    int startups = 0;  // successful WSAStartup calls not yet matched by a WSACleanup
    std::size_t openSockets() const { return open_.size(); }

    int wsaStartup(std::uint16_t version, platform::WsaData& data) override;
    int wsaCleanup() override;
    bool gethostbyname(const std::string& name, platform::HostEntry& entry) override;
    platform::Socket socket(int af, int type, int protocol) override;
    int bind(platform::Socket s, const platform::SockAddrIn& address) override;
    int closesocket(platform::Socket s) override;
    bool listeningProcess(std::uint16_t port, std::uint32_t& processId) override;

private:
    struct Binding {
        Address address;
        std::uint16_t port;
        bool exclusive;
    };
    Record& r_;
    std::vector<Binding> held_;
    std::map<platform::Socket, std::optional<Binding>> open_;
    platform::Socket next_ = 0x200;
};

// The command interpreter: what the "cmd /c ..." lines the program launches do here.
class FakeCommands {
public:
    FakeCommands(FakeServiceManager& scm, FakeRegistry& reg, FakeWindowSystem& ui)
        : scm_(scm), reg_(reg), ui_(ui) {
        // On demand, in a process of its own: as the installers register a service.
        installedAs.config.serviceType = 0x10;
        installedAs.config.startType = platform::kServiceDemandStart;
    }
    // Seconds an installer takes to register its service, by service name; negative: never.
    std::map<std::string, double> registerDelay;
    FakeServiceManager::Service installedAs;  // what a registered service starts as

    void run(const std::string& commandLine);
    // Registers a service as its installer would: service manager and registry entry.
    FakeServiceManager::Service& registerService(const std::string& name,
                                                 const std::string& imagePath,
                                                 std::uint32_t state = platform::kServiceStopped);

private:
    void settle(const std::string& name, double delay, std::uint32_t from, std::uint32_t to);
    FakeServiceManager& scm_;
    FakeRegistry& reg_;
    FakeWindowSystem& ui_;
};

class FakePlatform : public platform::Platform {
public:
    FakePlatform();

    Record record;
    FakeApplication application{record};
    FakeClock clockImpl;
    FakeServiceManager scm{record};
    FakeWindowSystem ui{record, clockImpl};
    FakeProcesses procs{record, clockImpl};
    FakeFiles filesImpl{record};
    FakeEnvironment env{record};
    FakeRegistry reg{record};
    FakeCodec codecImpl;
    FakeShell tray{record};
    FakeSockets net{record};
    FakeCommands commands{scm, reg, ui};

    platform::Application& app() override { return application; }
    platform::Clock& clock() override { return clockImpl; }
    platform::ServiceManager& services() override { return scm; }
    platform::WindowSystem& windows() override { return ui; }
    platform::Shell& shell() override { return tray; }
    platform::Processes& processes() override { return procs; }
    platform::Environment& environment() override { return env; }
    platform::Registry& registry() override { return reg; }
    platform::TextCodec& codec() override { return codecImpl; }
    platform::Sockets& sockets() override { return net; }
    platform::Files& files() override { return filesImpl; }

    static constexpr char kSystemEnvironment[] =
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    int count(const std::string& prefix) const { return record.count(prefix); }
    void fail(const std::string& op, std::uint32_t error) { record.failing[op] = error; }
};

}  // namespace fake
