#include "tests/fake/fake.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/text.h"

namespace fake {

using oapanel::UpperCase;

bool Record::call(const std::string& text, const std::string& op, std::uint32_t* error) {
    calls.push_back(text);
    auto it = failing.find(op);
    if (it == failing.end()) it = failing.find(text);
    if (it == failing.end()) return false;
    if (error) *error = it->second;
    return true;
}

int Record::count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
        return c.compare(0, prefix.size(), prefix) == 0;
    }));
}

std::string Hex(std::uint64_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(n));
    return text;
}

// --- application -------------------------------------------------------------------------

int FakeApplication::messageBox(const std::string& text, std::uint32_t style,
                                const std::string& t) {
    r_.calls.push_back("MessageBox " + text);
    boxes.push_back({text, style, t});
    if (whileOpen) whileOpen(boxes.back());
    if (answers.empty()) return platform::kIdOk;
    const int answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

void FakeApplication::endProcess(std::uint32_t exitCode) {
    r_.calls.push_back("ExitProcess " + std::to_string(exitCode));
    throw ProcessEnded{exitCode};
}

// --- service manager ---------------------------------------------------------------------

FakeServiceManager::Service& FakeServiceManager::install(const std::string& name,
                                                         std::uint32_t state,
                                                         const std::string& binPath) {
    Service& s = installed[UpperCase(name)] = Service{};
    s.state = state;
    s.config.serviceType = 0x10;
    s.config.startType = platform::kServiceDemandStart;
    s.config.binaryPathName = binPath;
    s.config.displayName = name;
    return s;
}

FakeServiceManager::Service* FakeServiceManager::find(const std::string& name) {
    const auto it = installed.find(UpperCase(name));
    return it == installed.end() ? nullptr : &it->second;
}

platform::Handle FakeServiceManager::openSCManager(std::uint32_t access) {
    if (r_.call("OpenSCManagerA " + Hex(access), "OpenSCManagerA", &lastError_)) return 0;
    open_[next_] = "";
    return next_++;
}

platform::Handle FakeServiceManager::openService(platform::Handle manager, const std::string& name,
                                                 std::uint32_t access) {
    if (r_.call("OpenServiceA " + name + " " + Hex(access), "OpenServiceA", &lastError_)) return 0;
    const auto it = open_.find(manager);
    if (it == open_.end() || !it->second.empty()) {
        lastError_ = platform::kErrorInvalidHandle;
        return 0;
    }
    if (!find(name)) {
        lastError_ = platform::kErrorServiceDoesNotExist;
        return 0;
    }
    open_[next_] = UpperCase(name);
    return next_++;
}

FakeServiceManager::Service* FakeServiceManager::opened(platform::Handle service,
                                                        const std::string& text,
                                                        const std::string& op) {
    if (r_.call(text, op, &lastError_)) return nullptr;
    const auto it = open_.find(service);
    Service* s = it == open_.end() || it->second.empty() ? nullptr : find(it->second);
    if (!s) lastError_ = platform::kErrorInvalidHandle;
    return s;
}

bool FakeServiceManager::queryServiceStatus(platform::Handle service,
                                            platform::ServiceStatus& status) {
    Service* s = opened(service, "QueryServiceStatus", "QueryServiceStatus");
    if (!s) return false;
    status = {};
    status.serviceType = 0x10;
    status.currentState = s->state;
    status.win32ExitCode = s->exitCode;
    status.serviceSpecificExitCode = s->specificCode;
    status.processId = s->processId;
    return true;
}

bool FakeServiceManager::queryServiceConfig(platform::Handle service,
                                            platform::ServiceConfig& config,
                                            std::uint32_t bufferSize, std::uint32_t& bytesNeeded) {
    Service* s =
        opened(service, "QueryServiceConfigA " + std::to_string(bufferSize), "QueryServiceConfigA");
    if (!s) return false;
    const auto& c = s->config;
    // The record, then each string with its NUL, as the real call lays them out.
    const std::size_t needed = 36 + c.binaryPathName.size() + c.loadOrderGroup.size() +
                               c.dependencies.size() + c.serviceStartName.size() +
                               c.displayName.size() + 6;
    if (bufferSize < needed) {
        bytesNeeded = static_cast<std::uint32_t>(needed);
        lastError_ = platform::kErrorInsufficientBuffer;
        return false;
    }
    config = c;
    return true;
}

bool FakeServiceManager::notifyStatusChange(platform::Handle service, std::uint32_t stateMask) {
    const auto it = open_.find(service);
    if (r_.call("NotifyServiceStatusChange " + Hex(stateMask), "NotifyServiceStatusChange") ||
        !notifications || it == open_.end() || it->second.empty())
        return false;
    requests_[it->second] |= stateMask;
    return true;
}

bool FakeServiceManager::notified(const std::string& name, std::uint32_t state) {
    const auto it = requests_.find(UpperCase(name));
    const std::uint32_t bit = state == platform::kServiceRunning   ? platform::kNotifyRunning
                              : state == platform::kServiceStopped ? platform::kNotifyStopped
                                                                   : 0;
    if (it == requests_.end() || !(it->second & bit)) return false;
    requests_.erase(it);
    return true;
}

bool FakeServiceManager::closeServiceHandle(platform::Handle handle) {
    r_.calls.push_back("CloseServiceHandle " + Hex(handle));
    if (open_.erase(handle)) return true;
    lastError_ = platform::kErrorInvalidHandle;
    return false;
}

// --- window system -----------------------------------------------------------------------

std::uint32_t FakeWindowSystem::createForm(platform::FormModel& m, platform::FormEvents& e) {
    r_.calls.push_back("CreateWindow");
    if (createError) return createError;
    model = &m;
    events = &e;
    // The designed outer size: the client area plus a frame and a caption bar.
    m.width = m.clientWidth + 240;
    m.height = m.clientHeight + 570;
    e.onLoad();
    m.visible = true;
    return 0;
}

void FakeWindowSystem::controlChanged(int controlId, platform::Change what) {
    r_.calls.push_back("Mirror " + std::to_string(controlId) + " " +
                       std::to_string(static_cast<int>(what)));
    platform::Control* c = model ? model->find(controlId) : nullptr;
    if (!c) return;
    if (c->kind == platform::ControlKind::Timer) {
        if (c->enabled && c->interval > 0)
            timerDue_[controlId] = clock_.monotonic + c->interval / 1000.0;
        else
            timerDue_.erase(controlId);
    }
    if (what == platform::Change::Geometry && c->kind == platform::ControlKind::ListBox)
        c->height = listHeight(c->height);
}

void FakeWindowSystem::listRemovedFirst(int id) {
    r_.calls.push_back("LB_DELETESTRING " + std::to_string(id) + " 0");
}

platform::Handle FakeWindowSystem::extractIcon(const std::string& exePath, int index) {
    r_.calls.push_back("ExtractIconA " + exePath + " " + std::to_string(index));
    liveIcons.insert(nextIcon_);
    return nextIcon_++;
}

void FakeWindowSystem::after(double seconds, std::function<void()> what) {
    agenda_.emplace(clock_.monotonic + seconds, std::move(what));
}

void FakeWindowSystem::advance(double seconds) {
    const double target = clock_.monotonic + seconds;
    for (;;) {
        // The earliest of the agenda and the timers that falls within this step.
        double next = target;
        int timer = 0;
        for (const auto& [id, due] : timerDue_)
            if (due <= next) next = due, timer = id;
        const bool agendaFirst = !agenda_.empty() && agenda_.begin()->first <= next;
        if (!agendaFirst && timer == 0) break;
        if (agendaFirst) {
            const auto it = agenda_.begin();
            clock_.monotonic = std::max(clock_.monotonic, it->first);
            auto what = std::move(it->second);
            agenda_.erase(it);
            what();
            if (std::exchange(woken_, false)) return;
        } else {
            clock_.monotonic = std::max(clock_.monotonic, next);
            // A real timer keeps ticking until it is disabled, also while its handler runs.
            timerDue_[timer] = clock_.monotonic + model->find(timer)->interval / 1000.0;
            events->onTimer(timer);
        }
    }
    // A handler run from here may have waited on its own and moved the clock further.
    clock_.monotonic = std::max(clock_.monotonic, target);
}

void FakeWindowSystem::userSelects(int listId, int index) {
    model->find(listId)->selected = index;
    events->onListSelect(listId, index);
}

void FakeWindowSystem::userClicks(int controlId) {
    auto* c = model->find(controlId);
    if (c->kind == platform::ControlKind::CheckBox) c->value = c->value == 1 ? 0 : 1;
    events->onClick(controlId);
}

void FakeWindowSystem::resize(int width, int height, platform::WindowState state) {
    model->width = width;
    model->height = height;
    model->state = state;
    events->onResize();
}

bool FakeWindowSystem::close(int reason) {
    if (events->onQueryUnload(reason)) return false;
    events->onUnload();
    return true;
}

std::vector<std::string> FakeWindowSystem::lines(int from) const {
    std::vector<std::string> out;
    const auto& items = model->find(IDC_lstView)->items;
    for (std::size_t i = static_cast<std::size_t>(from); i < items.size(); ++i)
        out.push_back(items[i].substr(items[i].find(" - ") + 3));
    return out;
}

// --- processes and environment -------------------------------------------------------------

bool FakeProcesses::launch(const std::string& commandLine, std::uint32_t showMode) {
    lastError_ = 0;
    if (r_.call("CreateProcessA " + commandLine, "CreateProcessA", &lastError_)) return false;
    launches.push_back({commandLine, showMode});
    if (onLaunch) onLaunch(commandLine);
    return true;
}

platform::Handle FakeProcesses::start(const std::string& commandLine, std::uint32_t showMode) {
    if (!launch(commandLine, showMode)) return 0;
    ends_[next_] = clock_.monotonic + commandSeconds;
    return next_++;
}

bool FakeFiles::appendFile(const std::string& path, const std::string& bytes) {
    if (r_.call("AppendFile " + path, "AppendFile") || locked.count(path)) return false;
    content[path] += bytes;
    return true;
}

bool FakeFiles::replaceFile(const std::string& from, const std::string& to) {
    if (r_.call("MoveFileEx " + from + " " + to, "MoveFileEx") || locked.count(from) ||
        locked.count(to) || !content.count(from))
        return false;
    content[to] = content[from];
    content.erase(from);
    return true;
}

bool FakeProcesses::launchAndWait(const std::string& commandLine, const std::string&, std::uint32_t,
                                  std::uint32_t showMode, std::uint32_t) {
    return launch(commandLine, showMode);
}

bool FakeProcesses::enumerateProcessDescriptions(
    const std::function<bool(const std::string&)>& visit) {
    if (r_.call("InstancesOf Win32_Process", "InstancesOf")) return false;
    for (std::size_t i = 0; i < running.size(); ++i)
        if (i == failAfter || !visit(running[i])) return i != failAfter;
    return running.size() != failAfter;
}

bool FakeEnvironment::getVariable(const std::string& name, std::string& value) {
    const auto it = variables.find(UpperCase(name));
    if (it == variables.end()) return false;
    value = it->second;
    return true;
}

bool FakeEnvironment::setVariable(const std::string& name, const std::string& value) {
    if (r_.call("SetEnvironmentVariableA " + name + "=" + value, "SetEnvironmentVariableA"))
        return false;
    if (name.empty() || name.find('=') != std::string::npos) return false;
    variables[UpperCase(name)] = value;
    return true;
}

std::string FakeEnvironment::operator[](const std::string& name) {
    std::string value;
    getVariable(name, value);
    return value;
}

std::string FakeEnvironment::expand(const std::string& text) {
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t open = text.find('%', at);
        const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) break;
        out.append(text, at, open - at);
        std::string value;
        // An unknown name is copied with both of its "%" and the scan goes on after it.
        if (getVariable(text.substr(open + 1, close - open - 1), value))
            out += value;
        else
            out.append(text, open, close - open + 1);
        at = close + 1;
    }
    return out + text.substr(at);
}

bool FakeEnvironment::broadcastSettingChange(const std::string& area, std::uint32_t timeoutMs) {
    if (r_.call("SendMessageTimeoutA WM_SETTINGCHANGE " + area, "SendMessageTimeoutA"))
        return false;
    broadcasts.push_back(area + " " + std::to_string(timeoutMs));
    return true;
}

// --- shell --------------------------------------------------------------------------------

long FakeShell::notifyIcon(std::uint32_t message, const platform::NotifyIconData& data) {
    r_.calls.push_back("Shell_NotifyIconA " + std::to_string(message));
    notifications.push_back({message, data});
    if (refuses) return 0;
    if (message == platform::kNimDelete) {
        shown = false;
        return 1;
    }
    if (message == platform::kNimModify && !shown) return 0;
    shown = true;
    picture = data.hIcon;
    return 1;
}

platform::Handle FakeShell::loadIconFile(const std::string& path, int cx, int cy,
                                         std::uint32_t flags) {
    r_.calls.push_back("LoadImageA " + path + " " + std::to_string(cx) + "x" + std::to_string(cy) +
                       " " + std::to_string(flags));
    if (!iconFiles.count(path)) return 0;
    liveIcons.insert(next_);
    loadedFrom[next_] = path;
    return next_++;
}

int FakeShell::popupMenu(const std::vector<platform::MenuItem>& items) {
    r_.calls.push_back("TrackPopupMenu");
    menus.push_back(items);
    return pick(items);
}

bool FakeShell::shellExecuteOpen(const std::string& url) {
    if (r_.call("ShellExecuteW open " + url, "ShellExecuteW")) return false;
    opened.push_back(url);
    return true;
}

// --- sockets -----------------------------------------------------------------------------

namespace {

std::string text(const FakeSockets::Address& a, std::uint16_t port) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]) + ":" + std::to_string(port);
}

}  // namespace

int FakeSockets::wsaStartup(std::uint16_t version, platform::WsaData& data) {
    std::uint32_t error = 10091;  // WSASYSNOTREADY
    if (r_.call("WSAStartup " + Hex(version), "WSAStartup", &error)) return static_cast<int>(error);
    ++startups;
    data.wVersion = versionInUse;
    data.iMaxSockets = maxSockets;
    return 0;
}

int FakeSockets::wsaCleanup() {
    // Without a start-up to match, the library answers WSANOTINITIALISED.
    if (r_.call("WSACleanup", "WSACleanup") || startups == 0) return platform::kSocketError;
    --startups;
    return 0;
}

bool FakeSockets::gethostbyname(const std::string& name, platform::HostEntry& entry) {
    if (r_.call("gethostbyname " + name, "gethostbyname") || startups == 0 || !resolvable)
        return false;
    entry.h_length = 4;
    entry.h_addr_list = hostAddresses;
    return true;
}

platform::Socket FakeSockets::socket(int af, int type, int protocol) {
    const std::string call = "socket " + std::to_string(af) + " " + std::to_string(type) + " " +
                             std::to_string(protocol);
    if (r_.call(call, "socket") || startups == 0 || af != platform::kAfInet ||
        type != platform::kSockStream)
        return platform::kInvalidSocket;
    open_[next_] = std::nullopt;
    return next_++;
}

int FakeSockets::bind(platform::Socket s, const platform::SockAddrIn& address) {
    const auto it = open_.find(s);
    if (r_.call("bind " + text(address.addr, address.port), "bind") || it == open_.end() ||
        it->second)
        return platform::kSocketError;
    const auto clash = [&](const Binding& b) {
        if (b.port != address.port) return false;
        if (b.address == address.addr || address.addr == platform::kInAddrAny) return true;
        return b.address == platform::kInAddrAny && b.exclusive;
    };
    for (const auto& b : held_)
        if (clash(b)) return platform::kSocketError;
    for (const auto& [other, b] : open_)
        if (b && clash(*b)) return platform::kSocketError;
    it->second = Binding{address.addr, address.port, false};
    return 0;
}

bool FakeSockets::listeningProcess(std::uint16_t port, std::uint32_t& processId) {
    if (r_.call("GetExtendedTcpTable", "GetExtendedTcpTable") || !tableReadable ||
        !listeners.count(port))
        return false;
    processId = listeners[port];
    return true;
}

int FakeSockets::closesocket(platform::Socket s) {
    r_.calls.push_back("closesocket");
    return open_.erase(s) ? 0 : platform::kSocketError;
}

// --- the command interpreter ---------------------------------------------------------------

namespace {

const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

void FakeCommands::run(const std::string& commandLine) {
    if (!startsWith(commandLine, "cmd /c ")) return;
    const std::string command = commandLine.substr(7);
    const std::string name = command.substr(command.rfind(' ') + 1);
    if (startsWith(command, "net start "))
        return settle(name, scm_.find(name) ? scm_.find(name)->startDelay : 0,
                      platform::kServiceStopped, platform::kServiceRunning);
    if (startsWith(command, "net stop "))
        return settle(name, scm_.find(name) ? scm_.find(name)->stopDelay : 0,
                      platform::kServiceRunning, platform::kServiceStopped);
    if (startsWith(command, "sc delete ")) {
        scm_.installed.erase(oapanel::UpperCase(name));
        reg_.removeKey(platform::kHkeyLocalMachine, kServicesKey + name);
        return;
    }
    // The bundle's installers: the web container's script and the database server itself.
    const std::string program = command.substr(0, command.find(' '));
    std::string service, image;
    if (command.find("\\tomcat6\\bin\\service.bat install ") != std::string::npos) {
        service = "Tomcat6Brackwen";
        image = program.substr(0, program.rfind('\\')) + "\\tomcat6svc.exe --service " + service;
    } else if (const auto at = command.find(" --install "); at != std::string::npos) {
        service = command.substr(at + 11, command.find(' ', at + 11) - at - 11);
        image = program + " --service " + service;
    } else {
        return;
    }
    const double delay = registerDelay.count(service) ? registerDelay[service] : 0.5;
    if (delay < 0 || scm_.find(service)) return;  // never registers, or already there
    ui_.after(delay, [this, service, image] { registerService(service, image); });
}

void FakeCommands::settle(const std::string& name, double delay, std::uint32_t from,
                          std::uint32_t to) {
    auto* s = scm_.find(name);
    const std::uint32_t pending = to == platform::kServiceRunning ? platform::kServiceStartPending
                                                                  : platform::kServiceStopPending;
    // A start needs a stopped service; a stop anything but a stopped one.
    if (!s || (from == platform::kServiceStopped) != (s->state == platform::kServiceStopped))
        return;
    if (to == platform::kServiceStopped && delay < 0) return;  // the service ignores the stop
    s->state = pending;
    if (delay < 0) return;
    ui_.after(delay, [this, name, pending, to] {
        auto* t = scm_.find(name);
        if (!t || t->state != pending) return;
        t->state = to == platform::kServiceRunning && t->failsWith ? platform::kServiceStopped : to;
        t->exitCode = t->state == platform::kServiceStopped ? t->failsWith : 0;
        t->processId = t->state == platform::kServiceRunning ? 0x600 : 0;
        if (scm_.notified(name, t->state)) ui_.wake();
    });
}

FakeServiceManager::Service& FakeCommands::registerService(const std::string& name,
                                                           const std::string& imagePath,
                                                           std::uint32_t state) {
    FakeServiceManager::Service& s = scm_.installed[oapanel::UpperCase(name)] = installedAs;
    s.state = state;
    s.config.binaryPathName = imagePath;
    s.config.displayName = name;
    reg_.putText(platform::kHkeyLocalMachine, kServicesKey + name, "ImagePath", imagePath,
                 platform::kRegExpandSz);
    return s;
}

// --- the machine --------------------------------------------------------------------------

FakePlatform::FakePlatform() {
    procs.onLaunch = [this](const std::string& commandLine) { commands.run(commandLine); };
    // A machine the panel has run on before: the runtime variable names this folder.
    reg.putText(platform::kHkeyLocalMachine, kSystemEnvironment, "JRE_BK_HOME",
                application.path + "\\jre16bk");
}

}  // namespace fake
