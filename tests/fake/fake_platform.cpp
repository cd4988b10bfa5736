#include "tests/fake/fake_platform.h"

#include "tests/fake/fake_text.h"

#include <algorithm>
#include <cctype>

namespace fake {

namespace {}  // namespace

bool Faults::check(const std::string& op, std::uint32_t& lastError) const {
    auto it = failing_.find(op);
    if (it == failing_.end()) return false;
    lastError = it->second;
    return true;
}

// --- application ---------------------------------------------------------------------

std::string FakeApplication::resourceString(int id) {
    auto it = strings.find(id);
    return it == strings.end() ? std::string() : it->second;
}

int FakeApplication::messageBox(const std::string& text, std::uint32_t style,
                                const std::string& boxTitle) {
    calls_.push_back("MessageBox " + text);
    boxes.push_back({text, style, boxTitle});
    if (answers.empty()) return platform::kIdOk;
    const int answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

void FakeApplication::endProcess(std::uint32_t exitCode) {
    calls_.push_back("ExitProcess " + std::to_string(exitCode));
    ended = true;
    throw ProcessEnded{exitCode};
}

// --- service manager ---------------------------------------------------------------

void FakeServiceManager::install(const std::string& name, std::uint32_t state,
                                 const std::string& binPath, std::uint32_t startType) {
    Service s;
    s.state = state;
    s.config.serviceType = 0x10;
    s.config.startType = startType;
    s.config.binaryPathName = binPath;
    s.config.displayName = name;
    installed[upper(name)] = s;
}

std::string FakeServiceManager::upperName(std::string name) { return upper(std::move(name)); }

FakeServiceManager::Service* FakeServiceManager::find(const std::string& name) {
    auto it = installed.find(upper(name));
    return it == installed.end() ? nullptr : &it->second;
}

bool FakeServiceManager::failed(const std::string& op) { return faults_.check(op, lastError_); }

platform::Handle FakeServiceManager::openSCManager(std::uint32_t access) {
    calls_.push_back("OpenSCManagerA " + hex(access));
    if (failed("OpenSCManagerA")) return 0;
    const platform::Handle h = nextHandle_++;
    open_[h] = "";
    return h;
}

platform::Handle FakeServiceManager::openService(platform::Handle manager, const std::string& name,
                                                 std::uint32_t access) {
    calls_.push_back("OpenServiceA " + name + " " + hex(access));
    auto it = open_.find(manager);
    if (manager == 0 || it == open_.end() || !it->second.empty()) {
        lastError_ = platform::kErrorInvalidHandle;
        return 0;
    }
    if (failed("OpenServiceA")) return 0;
    if (!find(name)) {
        lastError_ = platform::kErrorServiceDoesNotExist;
        return 0;
    }
    const platform::Handle h = nextHandle_++;
    open_[h] = upper(name);
    return h;
}

bool FakeServiceManager::queryServiceStatus(platform::Handle service,
                                            platform::ServiceStatus& status) {
    calls_.push_back("QueryServiceStatus");
    auto it = open_.find(service);
    if (it == open_.end() || it->second.empty()) {
        lastError_ = platform::kErrorInvalidHandle;
        return false;
    }
    if (failed("QueryServiceStatus")) return false;
    status = {};
    status.serviceType = 0x10;
    status.currentState = installed[it->second].state;
    return true;
}

bool FakeServiceManager::queryServiceConfig(platform::Handle service,
                                            platform::ServiceConfig& config,
                                            std::uint32_t bufferSize, std::uint32_t& bytesNeeded) {
    calls_.push_back("QueryServiceConfigA " + std::to_string(bufferSize));
    auto it = open_.find(service);
    if (it == open_.end() || it->second.empty()) {
        lastError_ = platform::kErrorInvalidHandle;
        return false;
    }
    if (failed("QueryServiceConfigA")) return false;
    const auto& c = installed[it->second].config;
    // The record, then each string with its terminating NUL, as the real call lays them out.
    const std::size_t needed = 36 + c.binaryPathName.size() + 1 + c.loadOrderGroup.size() + 1 +
                               c.dependencies.size() + 2 + c.serviceStartName.size() + 1 +
                               c.displayName.size() + 1;
    if (bufferSize < needed) {
        bytesNeeded = static_cast<std::uint32_t>(needed);
        lastError_ = platform::kErrorInsufficientBuffer;
        return false;
    }
    config = c;
    return true;
}

bool FakeServiceManager::closeServiceHandle(platform::Handle handle) {
    calls_.push_back("CloseServiceHandle " + hex(handle));
    closed.push_back(handle);
    if (open_.erase(handle) == 0) {
        lastError_ = platform::kErrorInvalidHandle;
        return false;
    }
    return true;
}

// --- window system -------------------------------------------------------------------

void FakeWindowSystem::createForm(platform::FormModel& m, platform::FormEvents& e) {
    calls_.push_back("CreateWindow");
    model = &m;
    events = &e;
    // The designed outer size: the client area plus a frame and a caption bar.
    m.width = m.clientWidth + 240;
    m.height = m.clientHeight + 570;
    e.onLoad();
    m.visible = true;
}

void FakeWindowSystem::controlChanged(int controlId, platform::Change what) {
    if (model) {
        const auto* c = model->find(controlId);
        if (c && c->kind == platform::ControlKind::Timer) {
            if (c->enabled && c->interval > 0)
                timerDue_[controlId] = clock_.monotonic + c->interval / 1000.0;
            else
                timerDue_.erase(controlId);
        }
    }
    if (what == platform::Change::Geometry && model) {
        auto* c = model->find(controlId);
        if (c && c->kind == platform::ControlKind::ListBox) c->height = listHeight(c->height);
    }
    calls_.push_back("Mirror " + std::to_string(controlId) + " " +
                     std::to_string(static_cast<int>(what)));
}

void FakeWindowSystem::listAdded(int controlId) {
    calls_.push_back("LB_ADDSTRING " + std::to_string(controlId));
}

void FakeWindowSystem::listReplaced(int controlId, int index) {
    calls_.push_back("LB_REPLACE " + std::to_string(controlId) + " " + std::to_string(index));
}

void FakeWindowSystem::listRemovedFirst(int controlId) {
    calls_.push_back("LB_DELETESTRING " + std::to_string(controlId) + " 0");
}

void FakeWindowSystem::pumpEvents() {
    ++pumps;
    advance(pumpStep);
}

void FakeWindowSystem::waitForEvents(std::uint32_t maxMs) {
    ++pumps;
    // Even a zero wait lets a little time pass, as it does on a real machine.
    advance(std::max<std::uint32_t>(maxMs, 1) / 1000.0);
}

void FakeWindowSystem::at(double when, std::function<void()> what) {
    agenda_.emplace(when, std::move(what));
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
            auto it = agenda_.begin();
            clock_.monotonic = std::max(clock_.monotonic, it->first);
            auto what = std::move(it->second);
            agenda_.erase(it);
            what();
        } else {
            clock_.monotonic = std::max(clock_.monotonic, next);
            // A real timer keeps ticking until it is disabled, also while its handler runs.
            const auto* c = model->find(timer);
            timerDue_[timer] = clock_.monotonic + c->interval / 1000.0;
            if (events) events->onTimer(timer);
        }
    }
    // A handler run from here may have waited on its own and moved the clock further.
    clock_.monotonic = std::max(clock_.monotonic, target);
}

platform::Handle FakeWindowSystem::extractIcon(const std::string& exePath, int index) {
    calls_.push_back("ExtractIconA " + exePath + " " + std::to_string(index));
    const platform::Handle h = nextIcon_++;
    liveIcons.insert(h);
    return h;
}

void FakeWindowSystem::setSmallIcon(platform::Handle icon) {
    calls_.push_back("WM_SETICON ICON_SMALL " + hex(icon));
    smallIcon = icon;
}

void FakeWindowSystem::destroyIcon(platform::Handle icon) {
    calls_.push_back("DestroyIcon " + hex(icon));
    liveIcons.erase(icon);
}

void FakeWindowSystem::userSelects(int listId, int index) {
    model->find(listId)->selected = index;
    events->onListSelect(listId, index);
}

void FakeWindowSystem::userClicks(int controlId) {
    auto* c = model->find(controlId);
    if (c && c->kind == platform::ControlKind::CheckBox) c->value = c->value == 1 ? 0 : 1;
    events->onClick(controlId);
}

bool FakeWindowSystem::userMovesMouse(int controlId, int x, int y) {
    return events->onMouseMove(controlId, x, y);
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

// --- the machine -----------------------------------------------------------------------

FakePlatform::FakePlatform() {
    procs.onLaunch = [this](const std::string& commandLine) { commands.run(commandLine); };
    // A machine the panel has run on before: the runtime variable names this folder.
    setRuntimeHome(application.path + "\\jre16bk");
}

void FakePlatform::setRuntimeHome(const std::string& value) {
    reg.putText(platform::kHkeyLocalMachine, kSystemEnvironmentKey, "JRE_BK_HOME", value);
}

int FakePlatform::count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
        return c.compare(0, prefix.size(), prefix) == 0;
    }));
}

}  // namespace fake
