// The simulated machine the unit tests run the program against: a test double with real
// semantics (a registry with rights and handles that must be closed, services with states
// that commands change after scripted delays, a clock that moves when events are pumped),
// which records every platform call and can be told to fail any of them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "platform/platform.h"

namespace fake {

namespace P = platform;
using Bytes = std::vector<std::uint8_t>;
using oapanel::UpperCase;

// Thrown by endProcess so that the test, not the process, ends.
struct ProcessEnded {
    std::uint32_t exitCode;
};

std::string Hex(std::uint64_t n);

// Every platform call, as "RegOpenKeyExA HKLM\\SOFTWARE 0x1", plus the failures to inject:
// an operation named in `failing`, by its name or by its whole call, fails with that error.
struct Record {
    std::vector<std::string> calls;
    std::map<std::string, std::uint32_t> failing;
    bool exited = false;  // ExitProcess was called: whatever still unwinds writes no file
    std::function<void(const std::string&)> onCall;  // runs as each recorded call is made

    bool call(const std::string& text, const std::string& op, std::uint32_t* error = nullptr) {
        calls.push_back(text);
        if (onCall) onCall(text);
        auto it = failing.count(op) ? failing.find(op) : failing.find(text);
        if (it == failing.end()) return false;
        if (error) *error = it->second;
        return true;
    }
    int count(const std::string& prefix) const {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const auto& c) {
            return c.compare(0, prefix.size(), prefix) == 0;
        }));
    }
};

struct FakeApplication : P::Application {
    struct Box {
        std::string text;
        std::uint32_t style;
        std::string title;
    };
    explicit FakeApplication(Record& r) : r_(r) {}

    std::string path = "D:\\OA", title = "oapanel", exe = "oapanel";
    P::VersionInfo ver{1, 6, 9};
    bool otherInstance = false;
    std::map<int, std::string> strings{{IDS_CONTACT_LINE, "contact line"}};
    std::vector<Box> boxes;    // every message box shown
    std::vector<int> answers;  // scripted answers, first first; IDOK when none left
    std::function<void(const Box&)> whileOpen;  // runs while a box is open (its own loop)
    bool isElevated = true;                     // the manifest asks for administrator rights

    std::string appPath() override { return path; }
    std::string appTitle() override { return title; }
    std::string exeName() override { return exe; }
    P::VersionInfo version() override { return ver; }
    bool previousInstanceRunning() override { return otherInstance; }
    std::string resourceString(int id) override { return strings.count(id) ? strings[id] : ""; }
    int messageBox(const std::string& text, std::uint32_t style, const std::string& t) override {
        r_.calls.push_back("MessageBox " + text);
        boxes.push_back({text, style, t});
        if (whileOpen) whileOpen(boxes.back());
        if (answers.empty()) return P::kIdOk;
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    [[noreturn]] void endProcess(std::uint32_t code) override {
        r_.calls.push_back("ExitProcess " + std::to_string(code));
        r_.exited = true;
        throw ProcessEnded{code};
    }
    std::string systemMessage(std::uint32_t code) override {           // none above 9999, as for a
        return code < 10000 ? "message " + std::to_string(code) : "";  // service's own codes
    }
    bool elevated() override { return isElevated; }

private:
    Record& r_;
};

// Local time is UTC here: the time of day and the epoch stand still unless a test moves them.
struct FakeClock : P::Clock {
    P::LocalTime now{2012, 1, 9, 5, 32, 50};
    double monotonic = 1000.0;
    std::int64_t epoch = 1326087170;  // 2012-01-09 05:32:50
    P::LocalTime localTime() override { return now; }
    double monotonicSeconds() override { return monotonic; }
    std::int64_t epochSeconds() override { return epoch; }
    P::LocalTime localTimeOf(std::int64_t t) override;
};

class FakeWindowSystem;

class FakeServiceManager : public P::ServiceManager {
public:
    struct Service {
        std::uint32_t state = P::kServiceStopped;
        P::ServiceConfig config{0x10, P::kServiceDemandStart, 0, "", "", 0, "", "", ""};
        double startDelay = 1.0, stopDelay = 1.0;  // seconds to the final state; negative: never
        std::uint32_t failsWith = 0, specificCode = 0;  // a failing start ends STOPPED with these
        std::uint32_t exitCode = 0, processId = 0;      // as the status reports them
        bool refusesStart = false;  // the manager never runs it (program missing, logon failed)
    };
    explicit FakeServiceManager(Record& r) : r_(r) {}

    std::map<std::string, Service> installed;  // by upper-case name
    bool notifications = false;                // as on Vista and later; XP has none
    bool deaf = false;                         // takes requests, never answers them
    std::function<void()> fireSoon;            // a notification is due: the next wait ends
    Service& install(const std::string& name, std::uint32_t state, const std::string& bin = "") {
        Service& s = installed[UpperCase(name)] = Service{};
        s.state = state;
        s.config.binaryPathName = bin;
        s.config.displayName = name;
        return s;
    }
    Service* find(const std::string& name) {
        const auto it = installed.find(UpperCase(name));
        return it == installed.end() ? nullptr : &it->second;
    }
    std::size_t openHandles() const { return open_.size(); }
    // A service changed state: true when a pending notification asked for that state (it
    // fires, and is pending no more).
    bool notified(const std::string& name, std::uint32_t state) {
        return !deaf && std::erase_if(requests_, [&](const auto& r) {
                            return open_[r.first] == UpperCase(name) && (r.second & bitOf(state));
                        }) > 0;
    }

    P::Handle openSCManager(std::uint32_t access) override {
        if (r_.call("OpenSCManagerA " + Hex(access), "OpenSCManagerA", &lastError_)) return 0;
        open_[next_] = "";
        return next_++;
    }
    P::Handle openService(P::Handle manager, const std::string& name,
                          std::uint32_t access) override {
        if (r_.call("OpenServiceA " + name + " " + Hex(access), "OpenServiceA", &lastError_))
            return 0;
        const bool isManager = open_.count(manager) && open_[manager].empty();
        lastError_ = !isManager ? P::kErrorInvalidHandle : P::kErrorServiceDoesNotExist;
        if (!isManager || !find(name)) return 0;
        open_[next_] = UpperCase(name);
        return next_++;
    }
    bool queryServiceStatus(P::Handle service, P::ServiceStatus& status) override {
        Service* s = opened(service, "QueryServiceStatus", "QueryServiceStatus");
        if (s) status = {0x10, s->state, 0, s->exitCode, s->specificCode, 0, 0, s->processId};
        return s;
    }
    bool queryServiceConfig(P::Handle service, P::ServiceConfig& config, std::uint32_t bufferSize,
                            std::uint32_t& needed) override {
        Service* s = opened(service, "QueryServiceConfigA " + std::to_string(bufferSize),
                            "QueryServiceConfigA");
        if (!s) return false;
        const auto& c = s->config;  // the record, then each string with its NUL
        needed = static_cast<std::uint32_t>(36 + c.binaryPathName.size() + c.loadOrderGroup.size() +
                                            c.dependencies.size() + c.serviceStartName.size() +
                                            c.displayName.size() + 6);
        if (bufferSize < needed) return (lastError_ = P::kErrorInsufficientBuffer), false;
        config = c;
        return true;
    }
    bool closeServiceHandle(P::Handle handle) override {
        r_.calls.push_back("CloseServiceHandle " + Hex(handle));
        requests_.erase(handle);  // closing cancels what was asked on it
        if (!open_.erase(handle)) return (lastError_ = P::kErrorInvalidHandle), false;
        return true;
    }
    bool notifyStatusChange(P::Handle service, std::uint32_t mask) override {
        if (r_.call("NotifyServiceStatusChange " + Hex(mask), "NotifyServiceStatusChange") ||
            !notifications || !open_.count(service) || open_[service].empty())
            return false;
        if (const auto it = requests_.find(service); it != requests_.end())
            return it->second == mask || ((lastError_ = P::kErrorAlreadyRegistered), false);
        const Service* s = find(open_[service]);
        if (s && (bitOf(s->state) & mask)) {
            if (fireSoon && !deaf) fireSoon();  // already there: the system queues it at once
        } else {
            requests_[service] = mask;
        }
        return true;
    }
    std::size_t pendingRequests() const { return requests_.size(); }
    std::uint32_t lastError() override { return lastError_; }

private:
    static std::uint32_t bitOf(std::uint32_t state) {
        return state == P::kServiceRunning   ? P::kNotifyRunning
               : state == P::kServiceStopped ? P::kNotifyStopped
                                             : 0;
    }
    Service* opened(P::Handle service, const std::string& text, const std::string& op) {
        if (r_.call(text, op, &lastError_)) return nullptr;
        Service* s =
            open_.count(service) && !open_[service].empty() ? find(open_[service]) : nullptr;
        if (!s) lastError_ = P::kErrorInvalidHandle;
        return s;
    }
    Record& r_;
    std::uint32_t lastError_ = 0;
    P::Handle next_ = 0x100;
    std::map<P::Handle, std::string> open_;        // handle -> service, "" for a manager
    std::map<P::Handle, std::uint32_t> requests_;  // handle -> states asked to hear of
};

class FakeWindowSystem : public P::WindowSystem {
public:
    FakeWindowSystem(Record& r, FakeClock& clock) : r_(r), clock_(clock) {}

    P::FormModel* model = nullptr;
    P::FormEvents* events = nullptr;
    P::Handle smallIcon = 0;
    std::set<P::Handle> liveIcons;
    // What a list box reports as its height after a move (a real one keeps whole lines).
    std::function<int(int)> listHeight = [](int requested) { return requested; };
    std::uint32_t createError = 0;  // CreateWindowExW fails with this error
    bool quit = false;              // the session ended or the program is quitting

    std::uint32_t createForm(P::FormModel& m, P::FormEvents& e) override {
        r_.calls.push_back("CreateWindow");
        if (createError) return createError;
        model = &m, events = &e;
        // The designed outer size: the client area plus a frame and a caption bar.
        m.width = m.clientWidth + 240, m.height = m.clientHeight + 570;
        e.onLoad();
        m.visible = true;
        return 0;
    }
    bool quitting() override { return quit; }
    void controlChanged(int id, P::Change what) override {
        r_.calls.push_back("Mirror " + std::to_string(id) + " " + std::to_string(int(what)));
        P::Control* c = model ? model->find(id) : nullptr;
        const bool timing = what == P::Change::Enabled || what == P::Change::Interval;
        if (c && c->kind == P::ControlKind::Timer && timing && c->enabled && c->interval > 0)
            timerDue_[id] = clock_.monotonic + c->interval / 1000.0;
        else if (c && c->kind == P::ControlKind::Timer && timing)
            timerDue_.erase(id);
        if (c && what == P::Change::Geometry && c->kind == P::ControlKind::ListBox)
            c->height = listHeight(c->height);
    }
    void listAdded(int id) override { r_.calls.push_back("LB_ADDSTRING " + std::to_string(id)); }
    void listReplaced(int id, int) override {
        r_.calls.push_back("LB_REPLACE " + std::to_string(id));
    }
    void listRemovedFirst(int id) override {
        r_.calls.push_back("LB_DELETESTRING " + std::to_string(id));
    }
    void pumpEvents() override { advance(0.01); }
    // Even a zero wait lets a little time pass, as it does on a real machine.
    void waitForEvents(std::uint32_t maxMs) override {
        ++waiting_;
        advance(std::max(maxMs, 1u) / 1000.0);
        --waiting_;
    }
    int run() override { return r_.calls.push_back("GetMessageW"), 0; }  // the test goes on instead
    P::Handle extractIcon(const std::string& exe, int index) override {
        r_.calls.push_back("ExtractIconA " + exe + " " + std::to_string(index));
        liveIcons.insert(nextIcon_);
        return nextIcon_++;
    }
    void setSmallIcon(P::Handle icon) override { smallIcon = icon; }
    void destroyIcon(P::Handle icon) override { liveIcons.erase(icon); }

    // Things that happen at a moment of virtual time. Pumping and waiting move the clock and
    // run what has come due, in time order, with the ticks of enabled timers; a wake() from
    // one of them ends the wait under way there.
    void after(double seconds, std::function<void()> what) {
        agenda_.emplace(clock_.monotonic + seconds, std::move(what));
    }
    void advance(double seconds);
    void wake() { woken_ = true; }
    // A service notification arrived: the window hears of it, and the wait under way ends.
    void notify() {
        after(0, [this] { noticed_ = woken_ = true; });
    }

    // What the user and Windows do.
    void userSelects(int list, int index) {
        model->find(list)->selected = index;
        events->onListSelect(list, index);
    }
    void userClicks(int id) {  // a check box changes its value first
        if (auto* c = model->find(id); c->kind == P::ControlKind::CheckBox) c->value = 1 - c->value;
        events->onClick(id);
    }
    bool userMovesMouse(int id, int x, int y) { return events->onMouseMove(id, x, y); }
    void resize(int width, int height, P::WindowState state = P::WindowState::Normal) {
        model->width = width, model->height = height, model->state = state;
        events->onResize();
    }
    bool close(int reason) {  // true when the window was unloaded
        if (events->onQueryUnload(reason)) return false;
        events->onUnload();
        return true;
    }
    void endSession() {  // Windows shuts down: the program is quitting, the window goes
        quit = true;
        close(2);
    }
    const P::Control& control(int id) const { return *model->find(id); }
    bool timersRunning() const { return !timerDue_.empty(); }
    std::vector<std::string> lines(int from = 0) const {  // the log without time prefixes
        std::vector<std::string> out;
        const auto& items = model->find(IDC_lstView)->items;
        for (auto i = static_cast<std::size_t>(from); i < items.size(); ++i)
            out.push_back(items[i].substr(items[i].find(" - ") + 3));
        return out;
    }

private:
    Record& r_;
    FakeClock& clock_;
    P::Handle nextIcon_ = 0x9000;
    std::multimap<double, std::function<void()>> agenda_;
    std::map<int, double> timerDue_;
    bool woken_ = false, noticed_ = false;
    int waiting_ = 0;  // nested waits under way
};

class FakeProcesses : public P::Processes {
public:
    struct Launch {
        std::string commandLine;
        std::uint32_t showMode;
    };
    FakeProcesses(Record& r, FakeClock& clock) : r_(r), clock_(clock) {}

    std::vector<std::string> running;                // the Description of every process WMI lists
    std::size_t failAfter = SIZE_MAX;                // WMI fails after handing out this many
    std::map<std::uint32_t, std::string> names;      // executable names by process id
    double commandSeconds = 0.2;                     // how long a started command runs
    std::map<std::string, std::uint32_t> exitCodes;  // by command line; 0 when not named
    std::vector<Launch> launches;
    std::function<void(const std::string&)> onLaunch;  // runs before the launch returns
    std::size_t openProcesses() const { return ends_.size(); }

    bool launch(const std::string& line, std::uint32_t showMode) override {
        lastError_ = 0;
        if (r_.call("CreateProcessA " + line, "CreateProcessA", &lastError_)) return false;
        launches.push_back({line, showMode});
        if (onLaunch) onLaunch(line);
        return true;
    }
    bool launchAndWait(const std::string& line, const std::string&, std::uint32_t,
                       std::uint32_t showMode, std::uint32_t) override {
        return launch(line, showMode);
    }
    P::Handle start(const std::string& line, std::uint32_t showMode) override {
        if (!launch(line, showMode)) return 0;
        ends_[next_] = {clock_.monotonic + commandSeconds, line};
        return next_++;
    }
    bool hasEnded(P::Handle process) override {
        r_.call("WaitForSingleObject " + ends_.at(process).second, "WaitForSingleObject");
        return clock_.monotonic >= ends_.at(process).first;
    }
    bool exitCode(P::Handle process, std::uint32_t& code) override {
        const auto& [end, line] = ends_.at(process);
        code = clock_.monotonic < end ? P::kStillActive
                                      : (exitCodes.count(line) ? exitCodes.at(line) : 0);
        return true;
    }
    void closeProcess(P::Handle process) override { ends_.erase(process); }
    std::uint32_t lastError() override { return lastError_; }
    std::string processName(std::uint32_t id) override { return names.count(id) ? names[id] : ""; }
    bool enumerateProcessDescriptions(
        const std::function<bool(const std::string&)>& visit) override {
        if (r_.call("InstancesOf Win32_Process", "InstancesOf")) return false;
        for (std::size_t i = 0; i < running.size(); ++i)
            if (i == failAfter || !visit(running[i])) return i != failAfter;
        return running.size() != failAfter;
    }

private:
    Record& r_;
    FakeClock& clock_;
    std::uint32_t lastError_ = 0;
    std::map<P::Handle, std::pair<double, std::string>> ends_;  // when it ends, its line
    P::Handle next_ = 0x4000;
};

struct FakeFiles : P::Files {
    explicit FakeFiles(Record& r) : r_(r) {}
    std::map<std::string, std::string> content;  // files by full path
    std::set<std::string> existing;              // other names that exist: folders, programs
    std::set<std::string> locked;  // files another program holds: writes and renames fail
    std::set<std::string> links;   // names that are links (a reparse point, or a second name)
    std::size_t room = SIZE_MAX;   // bytes the disk still takes
    std::map<std::string, P::AccessList> access;  // folders' access lists; others unreadable
    // Each file's index, given out when first asked for: a test erases it to make the file anew.
    std::map<std::string, std::uint64_t> ids;

    P::FileResult appendFile(const std::string& path, const std::string& bytes,
                             std::size_t& written) override {
        written = 0;
        if (links.count(path)) return P::FileResult::Linked;
        if (r_.call("AppendFile " + path, "AppendFile") || locked.count(path) || r_.exited)
            return P::FileResult::Failed;
        written = std::min(bytes.size(), room);
        room -= written;
        content[path] += bytes.substr(0, written);
        return written == bytes.size() ? P::FileResult::Done : P::FileResult::Failed;
    }
    std::int64_t fileSize(const std::string& path) override {
        return content.count(path) ? static_cast<std::int64_t>(content[path].size()) : -1;
    }
    P::FileResult replaceFile(const std::string& from, const std::string& to) override {
        if (links.count(from) || links.count(to)) return P::FileResult::Linked;
        if (locked.count(from) || locked.count(to) || !content.count(from))
            return P::FileResult::Failed;
        content[to] = std::exchange(content[from], {});
        content.erase(from);
        ids.erase(to);  // the file keeps its identity under its new name
        if (const auto id = ids.extract(from)) ids[to] = id.mapped();
        return P::FileResult::Done;
    }
    bool fileExists(const std::string& path) override {
        return content.count(path) || existing.count(path);
    }
    bool listFolder(const std::string& folder, std::vector<std::string>& names) override {
        names.clear();
        if (r_.call("FindFirstFileW " + folder, "FindFirstFileW") || !existing.count(folder))
            return false;
        for (const auto& [path, bytes] : content)
            if (path.size() > folder.size() + 1 &&
                path.compare(0, folder.size() + 1, folder + "\\") == 0 &&
                path.find('\\', folder.size() + 1) == std::string::npos)
                names.push_back(path.substr(folder.size() + 1));
        return true;
    }
    bool readFile(const std::string& path, std::int64_t offset, std::size_t count,
                  std::string& bytes) override {
        if (r_.call("ReadFile " + path, "ReadFile") || !content.count(path) || offset < 0)
            return false;
        const std::string& all = content[path];
        bytes = static_cast<std::size_t>(offset) < all.size()
                    ? all.substr(static_cast<std::size_t>(offset), count)
                    : std::string();
        return true;
    }
    bool fileIdentity(const std::string& path, P::FileIdentity& identity) override {
        if (!content.count(path)) return false;
        identity = {ids.try_emplace(path, ++lastId_).first->second, 0};  // no creation time
        return true;
    }
    bool folderAccess(const std::string& path, P::AccessList& list) override {
        if (r_.call("GetNamedSecurityInfoW " + path, "GetNamedSecurityInfoW") ||
            !access.count(path))
            return false;
        list = access[path];
        return true;
    }

private:
    Record& r_;
    std::uint64_t lastId_ = 0;
};

// The system folder and what its DLLs export; a run-time load takes a DLL from there only.
struct FakeLibraries : P::Libraries {
    explicit FakeLibraries(Record& r) : r_(r) {}
    std::string systemFolder = "C:\\Windows\\system32";
    std::map<std::string, std::set<std::string>> exports;  // by DLL name, in upper case
    bool defaultDirectories = true;                        // kernel32 has SetDefaultDllDirectories

    bool setDllDirectory(const std::string& path) override {
        return !r_.call("SetDllDirectoryW \"" + path + "\"", "SetDllDirectoryW");
    }
    bool setDefaultDllDirectories(std::uint32_t flags) override {
        return !r_.call("SetDefaultDllDirectories " + Hex(flags), "SetDefaultDllDirectories") &&
               defaultDirectories;
    }
    P::Handle loadSystemLibrary(const std::string& name) override {
        const std::string path = systemFolder + "\\" + name;
        if (r_.call("LoadLibraryExW " + path, "LoadLibraryExW")) return 0;
        const auto it = exports.find(UpperCase(name));
        if (it == exports.end()) return 0;
        loaded_.push_back({path, it->first});
        return loaded_.size();
    }
    std::string modulePath(P::Handle library) override {
        return library && library <= loaded_.size() ? loaded_[library - 1].first : "";
    }
    bool hasFunction(P::Handle library, const std::string& name) override {
        return library && library <= loaded_.size() &&
               exports[loaded_[library - 1].second].count(name);
    }

private:
    Record& r_;
    std::vector<std::pair<std::string, std::string>> loaded_;  // path, name
};

struct FakeEnvironment : P::Environment {
    explicit FakeEnvironment(Record& r) : r_(r) {}
    std::map<std::string, std::string> variables;  // by upper-case name, as Windows compares
    std::vector<std::string> broadcasts;           // "Environment 5000"

    bool getVariable(const std::string& name, std::string& value) override {
        const auto it = variables.find(UpperCase(name));
        return it != variables.end() && (value = it->second, true);
    }
    bool setVariable(const std::string& name, const std::string& value) override {
        if (r_.call("SetEnvironmentVariableA " + name + "=" + value, "SetEnvironmentVariableA") ||
            name.empty() || name.find('=') != std::string::npos)
            return false;
        variables[UpperCase(name)] = value;
        return true;
    }
    std::string operator[](const std::string& name) {
        std::string value;
        getVariable(name, value);
        return value;
    }
    std::string expand(const std::string& text) override;  // an unknown %NAME% stays
    bool broadcastSettingChange(const std::string& area, std::uint32_t timeoutMs) override {
        if (r_.call("SendMessageTimeoutA WM_SETTINGCHANGE " + area, "SendMessageTimeoutA"))
            return false;
        broadcasts.push_back(area + " " + std::to_string(timeoutMs));
        return true;
    }

private:
    Record& r_;
};

// The Chinese ANSI code page, GBK (936), through iconv: what it cannot hold becomes "?".
struct FakeCodec : P::TextCodec {
    std::string toAnsi(const std::string& utf8) override;
    std::string fromAnsi(const std::string& ansi) override;
};

// A tree of keys below the predefined roots, with case-insensitive names, typed values as raw
// bytes, handles that must be closed, and rights: a key grants at most what grants on it and
// above it allow, and an open or create asking for more is refused, as Windows refuses it.
class FakeRegistry : public P::Registry {
public:
    struct Value {
        std::uint32_t type = P::kRegNone;
        Bytes data;
    };
    explicit FakeRegistry(Record& r) : r_(r) {}

    // Shaping and inspecting the machine: nothing recorded and no right checked.
    void put(P::Handle root, const std::string& path, const std::string& name, std::uint32_t type,
             Bytes data) {
        Key& k = make(root, path);
        if (Value* v = k.value(name))
            *v = {type, std::move(data)};
        else
            k.values.push_back({name, {type, std::move(data)}});
    }
    void putText(P::Handle root, const std::string& path, const std::string& name,
                 const std::string& utf8, std::uint32_t type = P::kRegSz) {
        const std::string ansi = FakeCodec().toAnsi(utf8) + '\0';
        put(root, path, name, type, Bytes(ansi.begin(), ansi.end()));
    }
    void addKey(P::Handle root, const std::string& path) { make(root, path); }
    void removeKey(P::Handle root, const std::string& path) {
        const std::string full = place(root, path);
        std::erase_if(keys_, [&](const auto& k) { return below(k.first, full); });
    }
    bool hasKey(P::Handle root, const std::string& path) { return keys_.count(place(root, path)); }
    std::optional<Value> get(P::Handle root, const std::string& path, const std::string& name) {
        const auto it = keys_.find(place(root, path));
        if (it == keys_.end() || !it->second.value(name)) return std::nullopt;
        return *it->second.value(name);
    }
    std::string text(P::Handle root, const std::string& path, const std::string& name) {
        const auto v = get(root, path, name);
        if (!v) return "<none>";
        std::string s(v->data.begin(), v->data.end());
        return FakeCodec().fromAnsi(s.empty() || s.back() ? s : s.substr(0, s.size() - 1));
    }
    void grant(P::Handle root, const std::string& path, std::uint32_t rights) {
        grants_[place(root, path)] = rights;
    }
    void makeReadOnly(P::Handle root, const std::string& path = "") {
        grant(root, path, P::kKeyRead);
    }
    void denyAccess(P::Handle root, const std::string& path) { grant(root, path, 0); }
    std::size_t openKeys() const { return open_.size(); }

    long openKey(P::Handle root, const std::string& path, std::uint32_t access,
                 P::Handle& key) override {
        return hand(root, path, access, false, "RegOpenKeyExA", key);
    }
    long createKey(P::Handle root, const std::string& path, std::uint32_t access,
                   P::Handle& key) override {
        return hand(root, path, access, true, "RegCreateKeyExA", key);
    }
    long queryValue(P::Handle key, const std::string& name, std::uint32_t* type, Bytes* data,
                    std::uint32_t& size) override {
        Key* k = nullptr;
        if (const long e =
                use(key, P::kKeyQueryValue, "RegQueryValueExA " + Hex(key) + " " + name, k))
            return e;
        const Value* v = k->value(name);
        if (!v) return P::kErrorFileNotFound;
        if (type) *type = v->type;
        const bool fits = !data || size >= v->data.size();
        size = static_cast<std::uint32_t>(v->data.size());
        if (data) *data = fits ? v->data : Bytes{};
        return fits ? P::kRegOk : P::kErrorMoreData;
    }
    long setValue(P::Handle key, const std::string& name, std::uint32_t type,
                  const Bytes& data) override {
        Key* k = nullptr;
        const std::string call =
            "RegSetValueExA " + Hex(key) + " " + name + " " + std::to_string(type);
        if (const long e = use(key, P::kKeySetValue, call, k)) return e;
        if (Value* v = k->value(name))
            *v = {type, data};
        else
            k->values.push_back({name, {type, data}});
        return P::kRegOk;
    }
    long deleteValue(P::Handle key, const std::string& name) override {
        Key* k = nullptr;
        if (const long e = use(key, P::kKeySetValue, "RegDeleteValueA " + Hex(key) + " " + name, k))
            return e;
        return std::erase_if(
                   k->values,
                   [&](const auto& v) { return oapanel::EqualsIgnoringCase(v.first, name); })
                   ? P::kRegOk
                   : P::kErrorFileNotFound;
    }
    long deleteKey(P::Handle root, const std::string& path) override;
    long enumKey(P::Handle key, std::uint32_t index, std::string& name,
                 std::uint32_t bufferChars) override {
        Key* k = nullptr;
        const std::string call = "RegEnumKeyA " + Hex(key) + " " + std::to_string(index);
        if (const long e = use(key, P::kKeyEnumerateSubKeys, call, k)) return e;
        const auto names = children(k->full);
        if (index >= names.size()) return P::kErrorNoMoreItems;
        const std::string& found = keys_.at(names[index]).name;
        if (FakeCodec().toAnsi(found).size() + 1 > bufferChars) return P::kErrorMoreData;
        name = found;
        return P::kRegOk;
    }
    long enumValue(P::Handle key, std::uint32_t index, std::string& name, std::uint32_t& type,
                   Bytes& data) override {
        Key* k = nullptr;
        const std::string call = "RegEnumValueA " + Hex(key) + " " + std::to_string(index);
        if (const long e = use(key, P::kKeyQueryValue, call, k)) return e;
        if (index >= k->values.size()) return P::kErrorNoMoreItems;
        name = k->values[index].first;
        type = k->values[index].second.type, data = k->values[index].second.data;
        return P::kRegOk;
    }
    long queryInfoKey(P::Handle key, P::KeyInfo& info) override {
        Key* k = nullptr;
        if (const long e = use(key, P::kKeyQueryValue, "RegQueryInfoKeyA " + Hex(key), k)) return e;
        const auto length = [](const std::string& s) {
            return static_cast<std::uint32_t>(FakeCodec().toAnsi(s).size());
        };
        info = {0, 0, static_cast<std::uint32_t>(k->values.size()), 0, 0};
        for (const auto& child : children(k->full))
            info.maxSubKeyLength = std::max(info.maxSubKeyLength, length(keys_[child].name)),
            ++info.subKeys;
        for (const auto& [n, v] : k->values) {
            info.maxValueNameLength = std::max(info.maxValueNameLength, length(n));
            info.maxValueLength =
                std::max(info.maxValueLength, static_cast<std::uint32_t>(v.data.size()));
        }
        return P::kRegOk;
    }
    long closeKey(P::Handle key) override {
        std::uint32_t error = 0;
        // A close reported as failed still gives the handle back, so leak counts stay true.
        const bool known = key >= P::kHkeyClassesRoot || open_.erase(key);
        if (r_.call("RegCloseKey " + Hex(key), "RegCloseKey", &error)) return long(error);
        return known ? P::kRegOk : 6;  // ERROR_INVALID_HANDLE
    }

private:
    struct Key {
        std::string full, name;                             // "HKLM\\A\\B" in upper case; as made
        std::vector<std::pair<std::string, Value>> values;  // in the order first set
        Value* value(const std::string& valueName) {
            for (auto& [n, v] : values)
                if (oapanel::EqualsIgnoringCase(n, valueName)) return &v;
            return nullptr;
        }
    };
    static bool below(const std::string& key, const std::string& top) {
        return key == top || key.compare(0, top.size() + 1, top + "\\") == 0;
    }
    // Where a path below a root (predefined, or an open handle) leads: "HKCU\\SOFTWARE\\X",
    // with the names as written in `names`; or the status of a malformed path or bad handle.
    long where(P::Handle root, const std::string& path, std::string& full,
               std::vector<std::string>* names = nullptr) const;
    std::string place(P::Handle root, const std::string& path,
                      std::vector<std::string>* names = nullptr) const;
    std::uint32_t rightsAt(const std::string& full) const {
        std::uint32_t rights = 0xF003F;
        for (const auto& [at, granted] : grants_)
            if (below(full, at)) rights &= granted;
        return rights;
    }
    std::vector<std::string> children(const std::string& full) const {
        std::vector<std::string> out;
        for (const auto& [key, k] : keys_)
            if (below(key, full) && key.size() > full.size() &&
                key.find('\\', full.size() + 1) == std::string::npos)
                out.push_back(key);
        return out;
    }
    Key& make(P::Handle root, const std::string& path) {
        std::vector<std::string> names;
        std::string full = place(root, path, &names), at = full;
        for (auto name = names.rbegin(); name != names.rend(); ++name, at.resize(at.rfind('\\')))
            if (!keys_.count(at)) keys_[at] = {at, *name, {}};
        return keys_[full];
    }
    long hand(P::Handle root, const std::string& path, std::uint32_t access, bool create,
              const std::string& op, P::Handle& key);
    long use(P::Handle key, std::uint32_t right, const std::string& call, Key*& k);

    Record& r_;
    std::map<std::string, Key> keys_;
    std::map<P::Handle, std::pair<std::string, std::uint32_t>> open_;  // key, access
    std::map<std::string, std::uint32_t> grants_;
    P::Handle next_ = 0x1000;
};

struct FakeShell : P::Shell {
    struct Notify {
        std::uint32_t message;
        P::NotifyIconData data;
    };
    explicit FakeShell(Record& r) : r_(r) {}

    std::set<std::string> iconFiles;  // icon files that load
    bool refuses = false;             // Shell_NotifyIconW answers 0
    std::vector<Notify> notifications;
    std::set<P::Handle> liveIcons;                // loaded and not yet destroyed
    std::map<P::Handle, std::string> loadedFrom;  // the file each icon came from
    // What the user picks from a pop-up menu (0: dismissed), given its items.
    std::function<int(const std::vector<P::MenuItem>&)> pick = [](const auto&) { return 0; };
    std::vector<std::vector<P::MenuItem>> menus;
    std::vector<std::string> opened;           // every address given to ShellExecuteW "open"
    bool desktopShell = true;                  // Explorer runs and lends its ShellExecute
    std::vector<std::string> openedByDesktop;  // "file arguments" the desktop's shell started
    int refusedAdds = 0;                       // adds refused before the shell is ready (at logon)
    bool shown = false;                        // the notification area shows the icon
    std::uint32_t id = 0;                      // with this id,
    P::Handle picture = 0;                     // this picture,
    std::string tip;                           // this tooltip,
    bool callback = false;                     // and sends the window its mouse messages
    int strays = 0;                            // icons added beside the one shown
    struct Balloon {
        std::string title, text;
        std::uint32_t icon;
    };
    std::vector<Balloon> balloons;

    // The notification area as the shell keeps it: one icon per id, each field changed only
    // when its flag says so, a balloon shown when one is given.
    long notifyIcon(std::uint32_t message, const P::NotifyIconData& data) override {
        r_.calls.push_back("Shell_NotifyIconW " + std::to_string(message));
        notifications.push_back({message, data});
        if (refuses || (message == P::kNimAdd && refusedAdds > 0 && refusedAdds--)) return 0;
        if (message == P::kNimAdd) {
            if (shown && data.uID == id) return 0;
            if (shown) ++strays;
            shown = true, id = data.uID, picture = 0, tip.clear(), callback = false;
        } else if (!shown || data.uID != id) {
            return 0;
        }
        if (message == P::kNimDelete) return shown = false, 1;
        if (data.uFlags & P::kNifIcon) picture = data.hIcon;
        if (data.uFlags & P::kNifTip) tip = data.szTip;
        if (data.uFlags & P::kNifMessage) callback = true;
        if ((data.uFlags & P::kNifInfo) && !data.szInfo.empty())
            balloons.push_back({data.szInfoTitle, data.szInfo, data.dwInfoFlags});
        return 1;
    }
    P::Handle loadIconFile(const std::string& path, int cx, int cy, std::uint32_t flags) override {
        r_.calls.push_back("LoadImageA " + path + " " + std::to_string(cx) + "x" +
                           std::to_string(cy) + " " + std::to_string(flags));
        if (!iconFiles.count(path)) return 0;
        liveIcons.insert(next_);
        loadedFrom[next_] = path;
        return next_++;
    }
    void destroyIcon(P::Handle icon) override { liveIcons.erase(icon); }
    P::Handle storedPicture(P::TrayPicture p) override {
        return p == P::TrayPicture::Stopped ? 0x7001 : 0x7002;
    }
    int popupMenu(const std::vector<P::MenuItem>& items) override {
        menus.push_back(items);
        return pick(items);
    }
    double random() override { return 0.75; }
    bool shellExecuteOpen(const std::string& url) override {
        return !r_.call("ShellExecuteW open " + url, "ShellExecuteW") &&
               (opened.push_back(url), true);
    }
    bool shellExecuteAsDesktopUser(const std::string& file, const std::string& args) override {
        if (r_.call("IShellDispatch2::ShellExecute " + file, "IShellDispatch2") || !desktopShell)
            return false;
        openedByDesktop.push_back(args.empty() ? file : file + " " + args);
        return true;
    }
    void setHandCursor() override { r_.calls.push_back("SetCursor IDC_HAND"); }

private:
    Record& r_;
    P::Handle next_ = 0x8000;
};

// Sockets with Windows' bind rules: a program holding a port on one address keeps others off
// that address; one on the wildcard address keeps them off all only with exclusive use. Servers
// on loopback ports answer connections in virtual time; a call that would block moves the clock
// on without pumping, and the longest such block is kept (the window is frozen meanwhile).
class FakeSockets : public P::Sockets {
public:
    using Address = std::array<std::uint8_t, 4>;
    // What a server does with a connection: `delay` seconds after it, it sends what `answer`
    // makes of the bytes received by then (all at once, or `rate` bytes a second), then closes
    // unless told to stay.
    struct Server {
        std::function<std::string(const std::string& request)> answer;
        double delay = 0, rate = 0;
        bool staysOpen = false;
    };
    FakeSockets(Record& r, FakeClock& clock) : r_(r), clock_(clock) {}
    std::map<std::uint16_t, Server> servers;  // by loopback port
    double longestBlock = 0;                  // seconds a call held the window up

    std::vector<std::vector<std::uint8_t>> hostAddresses{{192, 168, 1, 5}};
    bool resolvable = true, tableReadable = true;
    std::uint16_t versionInUse = P::kWinsockVersion11;
    std::int16_t maxSockets = 32767;
    std::map<std::uint16_t, std::uint32_t> listeners;  // port -> owner, as the table says
    int startups = 0;  // successful WSAStartup calls not yet matched by a WSACleanup
    void hold(const Address& address, std::uint16_t port, bool exclusive = false) {
        held_.push_back({address, port, exclusive});
    }
    std::size_t openSockets() const { return open_.size(); }

    int wsaStartup(std::uint16_t version, P::WsaData& data) override {
        std::uint32_t error = 10091;  // WSASYSNOTREADY
        if (r_.call("WSAStartup " + Hex(version), "WSAStartup", &error)) return int(error);
        ++startups;
        data = {versionInUse, maxSockets};
        return 0;
    }
    int wsaCleanup() override {  // without a start-up to match: WSANOTINITIALISED
        if (r_.call("WSACleanup", "WSACleanup") || startups == 0) return P::kSocketError;
        return --startups, 0;
    }
    bool gethostbyname(const std::string& name, P::HostEntry& entry) override {
        if (r_.call("gethostbyname " + name, "gethostbyname") || !startups || !resolvable)
            return false;
        entry = {4, hostAddresses};
        return true;
    }
    P::Socket socket(int af, int type, int protocol) override {
        if (r_.call("socket " + std::to_string(af) + " " + std::to_string(type) + " " +
                        std::to_string(protocol),
                    "socket") ||
            !startups || af != P::kAfInet || type != P::kSockStream)
            return P::kInvalidSocket;
        open_[next_] = std::nullopt;
        return next_++;
    }
    int bind(P::Socket s, const P::SockAddrIn& a) override;
    int closesocket(P::Socket s) override {
        r_.calls.push_back("closesocket");
        links_.erase(s);
        return open_.erase(s) ? 0 : P::kSocketError;
    }
    int setNonBlocking(P::Socket s) override {
        return open_.count(s) ? (links_[s].nonBlocking = true, 0) : P::kSocketError;
    }
    int connect(P::Socket s, const P::SockAddrIn& a) override;
    int select(P::Socket s, bool forWriting, std::uint32_t timeoutMs) override;
    int send(P::Socket s, const std::string& bytes) override;
    int recv(P::Socket s, std::string& bytes, std::size_t max) override;
    int lastError() override { return lastError_; }
    bool listeningProcess(std::uint16_t port, std::uint32_t& pid) override {
        return !r_.call("GetExtendedTcpTable", "GetExtendedTcpTable") && tableReadable &&
               listeners.count(port) && (pid = listeners[port], true);
    }

private:
    struct Binding {
        Address address;
        std::uint16_t port;
        bool exclusive;
    };
    struct Link {  // a socket's connection to one of the servers
        bool nonBlocking = false;
        const Server* server = nullptr;  // none: refused
        double since = 0;
        std::string request, answer;
        bool answered = false;
        std::size_t taken = 0;  // bytes received
    };
    std::size_t Available(Link& l);  // bytes the server has sent by now
    double ReadyAt(Link& l, bool forWriting);
    int Block(Link& l, bool forWriting, double seconds);
    Record& r_;
    FakeClock& clock_;
    int lastError_ = 0;
    std::map<P::Socket, Link> links_;
    std::vector<Binding> held_;
    std::map<P::Socket, std::optional<Binding>> open_;
    P::Socket next_ = 0x200;
};

// The command interpreter: what the "cmd /c ..." lines the program launches do here.
class FakeCommands {
public:
    FakeCommands(FakeServiceManager& scm, FakeRegistry& reg, FakeWindowSystem& ui, FakeFiles& files)
        : scm_(scm), reg_(reg), ui_(ui), files_(files) {}
    // Seconds an installer takes to register its service, by service name; negative: never.
    std::map<std::string, double> registerDelay;
    double netDelay = 0;  // seconds before "net start" / "net stop" reach the service
    FakeServiceManager::Service installedAs;  // what a registered service starts as

    void run(const std::string& commandLine);
    // Registers a service as its installer would: service manager and registry entry, its
    // program there.
    FakeServiceManager::Service& registerService(const std::string& name, const std::string& image,
                                                 std::uint32_t state = P::kServiceStopped) {
        files_.existing.insert(image.substr(0, image.find(' ')));
        FakeServiceManager::Service& s = scm_.installed[UpperCase(name)] = installedAs;
        s.state = state;
        s.config.binaryPathName = image;
        s.config.displayName = name;
        reg_.putText(P::kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Services\\" + name,
                     "ImagePath", image, P::kRegExpandSz);
        return s;
    }

private:
    void settle(const std::string& name, bool starting);
    FakeServiceManager& scm_;
    FakeRegistry& reg_;
    FakeWindowSystem& ui_;
    FakeFiles& files_;
};

// The System event log: what it holds, handed out in reads of the sizes the caller asks for, newest
// record first; each read hands out whole records that fit, as ReadEventLogW does.
struct FakeEventLog : P::EventLog {
    explicit FakeEventLog(Record& r) : r_(r) {}
    std::vector<Bytes> records;  // newest first
    bool readable = true;
    std::size_t next = 0;

    P::Handle openEventLog(const std::string& source) override {
        r_.calls.push_back("OpenEventLogW " + source);
        return readable ? (next = 0, 0x5000) : 0;
    }
    bool readEventLog(P::Handle, std::uint32_t flags, std::uint32_t size, Bytes& out,
                      std::uint32_t& needed) override {
        r_.calls.push_back("ReadEventLogW " + Hex(flags) + " " + std::to_string(size));
        out.clear();
        while (next < records.size() && out.size() + records[next].size() <= size)
            out.insert(out.end(), records[next].begin(), records[next].end()), ++next;
        if (!out.empty()) return true;
        error_ = next < records.size() ? P::kErrorInsufficientBuffer : P::kErrorHandleEof;
        needed = next < records.size() ? static_cast<std::uint32_t>(records[next].size()) : 0;
        return false;
    }
    void closeEventLog(P::Handle) override { r_.calls.push_back("CloseEventLog"); }
    std::uint32_t lastError() override { return error_; }

private:
    Record& r_;
    std::uint32_t error_ = 0;
};

// The first packet a MySQL server sends: protocol 10, its version, then fields nobody reads.
inline std::string MysqlGreeting(const std::string& version) {
    std::string payload = "\x0A" + version + std::string(1, '\0') + std::string(44, '\x01');
    const auto n = payload.size();
    return std::string{char(n & 0xFF), char(n >> 8), char(0), char(0)} + payload;
}

struct FakePlatform : P::Platform {
    FakePlatform() {
        procs.onLaunch = [this](const std::string& line) { commands.run(line); };
        scm.fireSoon = [this] { ui.notify(); };
        // The servers answer on their ports: the database greets, /oa is there.
        // A real mysqld keeps the connection open after its greeting, waiting for a login.
        net.servers[3307] = {[](const std::string&) { return MysqlGreeting("5.0.96-fake"); }, 0, 0,
                             true};
        net.servers[8080].answer = [](const std::string&) {
            return std::string("HTTP/1.0 200 OK\r\n\r\n");
        };
        // A machine the panel has run on before: the runtime variable names this folder.
        reg.putText(P::kHkeyLocalMachine, kSystemEnvironment, "JRE_BK_HOME",
                    application.path + "\\jre16bk");
    }

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
    FakeSockets net{record, clockImpl};
    FakeCommands commands{scm, reg, ui, filesImpl};
    FakeLibraries libs{record};
    FakeEventLog events{record};

    P::Application& app() override { return application; }
    P::Clock& clock() override { return clockImpl; }
    P::ServiceManager& services() override { return scm; }
    P::WindowSystem& windows() override { return ui; }
    P::Shell& shell() override { return tray; }
    P::Processes& processes() override { return procs; }
    P::Environment& environment() override { return env; }
    P::Registry& registry() override { return reg; }
    P::TextCodec& codec() override { return codecImpl; }
    P::Sockets& sockets() override { return net; }
    P::Files& files() override { return filesImpl; }
    P::Libraries& libraries() override { return libs; }
    P::EventLog& eventLog() override { return events; }

    static constexpr char kSystemEnvironment[] =
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    int count(const std::string& prefix) const { return record.count(prefix); }
    // Another program, or the service's own death, puts a service into a state; a notification
    // asked for that state arrives.
    void outside(const std::string& name, std::uint32_t state, std::uint32_t exitCode = 0,
                 std::uint32_t specific = 0) {
        auto& s = *scm.find(name);
        s.state = state, s.exitCode = exitCode, s.specificCode = specific;
        s.processId = state == P::kServiceStopped ? 0 : 0x600;
        if (scm.notified(name, state)) ui.notify();
    }
    void fail(const std::string& op, std::uint32_t error) { record.failing[op] = error; }
};

}  // namespace fake
