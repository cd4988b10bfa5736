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
    std::vector<Box> boxes;         // every message box shown
    std::vector<int> answers;       // scripted answers, first first; IDOK when none left
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
    };

    FakeServiceManager(CallLog& calls, Faults& faults) : calls_(calls), faults_(faults) {}

    std::map<std::string, Service> installed;  // by upper-cased name
    void install(const std::string& name, std::uint32_t state, const std::string& binPath = "",
                 std::uint32_t startType = platform::kServiceDemandStart);
    Service* find(const std::string& name);

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
    bool fileExists(const std::string& path) override { return files.count(path) > 0; }
    platform::Handle extractIcon(const std::string& exePath, int index) override;
    void setSmallIcon(platform::Handle icon) override;
    void destroyIcon(platform::Handle icon) override;

    // What the user does.
    void userSelects(int listId, int index);
    void userClicks(int controlId);

private:
    CallLog& calls_;
    FakeClock& clock_;
    platform::Handle nextIcon_ = 0x9000;
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

    platform::Application& app() override { return application; }
    platform::Clock& clock() override { return clockImpl; }
    platform::ServiceManager& services() override { return scm; }
    platform::WindowSystem& windows() override { return ui; }

    // How many recorded calls start with `prefix`.
    int count(const std::string& prefix) const;
};

}  // namespace fake
