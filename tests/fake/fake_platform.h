// The simulated machine the unit tests run the program against. It has real semantics (a
// service manager with services and states, handles that must be closed, a clock that moves
// when events are pumped), records every call, and can be told to fail any operation.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/fake/fake_network.h"
#include "tests/fake/fake_processes.h"
#include "tests/fake/fake_registry.h"
#include "tests/fake/fake_shell.h"

namespace fake {

// Thrown by endProcess so that the test, not the process, ends.
struct ProcessEnded {
    std::uint32_t exitCode;
};

// A shared record of platform calls ("OpenSCManagerA", "CloseServiceHandle 0", ...).
using CallLog = std::vector<std::string>;

// Operations told to fail: name -> last error to report.
class Faults {
public:
    void fail(const std::string& op, std::uint32_t error) { failing_[op] = error; }
    void heal(const std::string& op) { failing_.erase(op); }
    // True when `op` is set to fail; its error is stored in `lastError`.
    bool check(const std::string& op, std::uint32_t& lastError) const;

private:
    std::map<std::string, std::uint32_t> failing_;
};

class FakeApplication : public platform::Application {
public:
    struct Box {
        std::string text;
        std::uint32_t style;
        std::string title;
    };

    explicit FakeApplication(CallLog& calls) : calls_(calls) {}

    std::string path = "D:\\OA";
    std::string title = "oapanel";
    std::string exe = "oapanel";
    platform::VersionInfo ver{1, 6, 9};
    bool otherInstance = false;
    std::map<int, std::string> strings{{IDS_CONTACT_LINE, "contact line"}};
    std::vector<Box> boxes;    // every message box shown
    std::vector<int> answers;  // scripted answers, first first; IDOK when none left
    bool ended = false;

    std::string appPath() override { return path; }
    std::string appTitle() override { return title; }
    std::string exeName() override { return exe; }
    platform::VersionInfo version() override { return ver; }
    bool previousInstanceRunning() override { return otherInstance; }
    std::string resourceString(int id) override;
    int messageBox(const std::string& text, std::uint32_t style,
                   const std::string& boxTitle) override;
    [[noreturn]] void endProcess(std::uint32_t exitCode) override;

private:
    CallLog& calls_;
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
        // Seconds from "net start" / "net stop" to the final state; negative: never gets there.
        double startDelay = 1.0;
        double stopDelay = 1.0;
    };

    FakeServiceManager(CallLog& calls, Faults& faults) : calls_(calls), faults_(faults) {}

    std::map<std::string, Service> installed;  // by upper-cased name
    void install(const std::string& name, std::uint32_t state, const std::string& binPath = "",
                 std::uint32_t startType = platform::kServiceDemandStart);
    Service* find(const std::string& name);
    void remove(const std::string& name) { installed.erase(upperName(name)); }
    static std::string upperName(std::string name);

    // Handles opened and not yet closed; every operation should leave this empty.
    std::size_t openHandles() const { return open_.size(); }
    std::vector<platform::Handle> closed;  // every CloseServiceHandle, in order, 0 included

    platform::Handle openSCManager(std::uint32_t access) override;
    platform::Handle openService(platform::Handle manager, const std::string& name,
                                 std::uint32_t access) override;
    bool queryServiceStatus(platform::Handle service, platform::ServiceStatus& status) override;
    bool queryServiceConfig(platform::Handle service, platform::ServiceConfig& config,
                            std::uint32_t bufferSize, std::uint32_t& bytesNeeded) override;
    bool closeServiceHandle(platform::Handle handle) override;
    std::uint32_t lastError() override { return lastError_; }

private:
    bool failed(const std::string& op);

    CallLog& calls_;
    Faults& faults_;
    std::uint32_t lastError_ = 0;
    platform::Handle nextHandle_ = 0x100;
    std::map<platform::Handle, std::string> open_;  // handle -> service key, "" for a manager
};

class FakeWindowSystem : public platform::WindowSystem {
public:
    FakeWindowSystem(CallLog& calls, FakeClock& clock) : calls_(calls), clock_(clock) {}

    platform::FormModel* model = nullptr;
    platform::FormEvents* events = nullptr;
    std::set<std::string> files;
    platform::Handle smallIcon = 0;
    std::set<platform::Handle> liveIcons;
    double pumpStep = 0.01;  // seconds of virtual time per pump
    int pumps = 0;

    void createForm(platform::FormModel& m, platform::FormEvents& e) override;
    void controlChanged(int controlId, platform::Change what) override;
    void listAdded(int controlId) override;
    void listReplaced(int controlId, int index) override;
    void listRemovedFirst(int controlId) override;
    void pumpEvents() override;
    void waitForEvents(std::uint32_t maxMs) override;
    bool fileExists(const std::string& path) override { return files.count(path) > 0; }
    platform::Handle extractIcon(const std::string& exePath, int index) override;
    void setSmallIcon(platform::Handle icon) override;
    void destroyIcon(platform::Handle icon) override;

    // Things that happen at a moment of virtual time (a user's click, a service reaching a
    // state). Pumping and waiting move the clock and run what has come due, in time order,
    // together with the ticks of enabled timers.
    void at(double when, std::function<void()> what);
    void after(double seconds, std::function<void()> what) {
        at(clock_.monotonic + seconds, std::move(what));
    }
    void advance(double seconds);

    // What the user and Windows do.
    void userSelects(int listId, int index);
    // A click; a check box changes its value first, as an automatic check box does.
    void userClicks(int controlId);
    // The pointer at x, y twips over a control; true when the program set its shape.
    bool userMovesMouse(int controlId, int x, int y);
    void resize(int width, int height, platform::WindowState state = platform::WindowState::Normal);
    // A close request for the given reason; true when the window was unloaded.
    bool close(int reason);

    // What a list box reports as its height after a move (a real one keeps whole lines).
    std::function<int(int)> listHeight = [](int requested) { return requested; };

private:
    CallLog& calls_;
    FakeClock& clock_;
    platform::Handle nextIcon_ = 0x9000;
    std::multimap<double, std::function<void()>> agenda_;
    std::map<int, double> timerDue_;
};

// The command interpreter: what the program's "cmd /c ..." lines do on this machine.
class FakeCommands {
public:
    struct Installer {
        double registerDelay = 0.5;  // seconds until the service is registered; negative: never
    };

    FakeCommands(FakeServiceManager& scm, FakeRegistry& reg, FakeWindowSystem& ui)
        : scm_(scm), reg_(reg), ui_(ui) {}

    std::map<std::string, Installer> installers;  // by service name
    // Settings a service gets when an installer registers it.
    FakeServiceManager::Service installedAs;

    void run(const std::string& commandLine);
    // Registers a service as its installer would: service manager and registry entry.
    void registerService(const std::string& name, const std::string& imagePath);

private:
    void install(const std::string& name, const std::string& imagePath);
    void netStart(const std::string& name);
    void netStop(const std::string& name);
    void scDelete(const std::string& name);

    FakeServiceManager& scm_;
    FakeRegistry& reg_;
    FakeWindowSystem& ui_;
};

class FakePlatform : public platform::Platform {
public:
    FakePlatform();

    CallLog calls;
    Faults faults;
    FakeApplication application{calls};
    FakeClock clockImpl;
    FakeServiceManager scm{calls, faults};
    FakeWindowSystem ui{calls, clockImpl};
    FakeProcesses procs{calls, faults};
    FakeEnvironment env{calls, faults};
    FakeRegistry reg{calls, faults};
    FakeCodec codecImpl;
    FakeCommands commands{scm, reg, ui};
    FakeShell tray{calls};
    FakeSockets net{calls, faults};

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

    static constexpr char kSystemEnvironmentKey[] =
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    // Sets the system variable JRE_BK_HOME as an earlier run of the panel would have.
    void setRuntimeHome(const std::string& value);

    // How many recorded calls start with `prefix`.
    int count(const std::string& prefix) const;
};

}  // namespace fake
