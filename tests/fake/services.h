// The service manager: services with states, handles that must be closed, and the status
// notifications of Vista and later.
#pragma once

#include "tests/fake/record.h"

namespace fake {

// A service as the manager keeps it, and how it behaves when started or stopped.
struct FakeService {
    std::uint32_t state = P::kServiceStopped;
    P::ServiceConfig config{0x10, P::kServiceDemandStart, 0, "", "", 0, "", "", ""};
    double startDelay = 1.0, stopDelay = 1.0;  // seconds to the final state; negative: never
    // A failing start ends STOPPED with the first two; the status reports the other two.
    std::uint32_t failsWith = 0, specificCode = 0, exitCode = 0, processId = 0;
    bool refusesStart = false;  // the manager never runs it (program missing, logon failed)
};

class FakeServiceManager : public Recording<P::ServiceManager> {
public:
    using Service = FakeService;
    using Recording::Recording;

    std::map<std::string, Service> installed;  // by upper-case name
    bool notifications = false;                // as on Vista and later; XP has none
    bool deaf = false;                         // takes requests, never answers them
    std::function<void()> fireSoon;            // a notification is due: the next wait ends
    Service& install(const std::string& name, std::uint32_t state, const std::string& bin = "",
                     Service s = {}) {
        s.state = state, s.config.binaryPathName = bin, s.config.displayName = name;
        return installed[UpperCase(name)] = s;
    }
    Service* find(const std::string& name) {
        const auto it = installed.find(UpperCase(name));
        return it == installed.end() ? nullptr : &it->second;
    }
    std::size_t openHandles() const { return open_.size(); }
    // The service enters a state: a pending notification asked for that state fires, and is
    // pending no more.
    void enter(const std::string& name, std::uint32_t state, std::uint32_t exitCode,
               std::uint32_t specific) {
        Service& s = *find(name);
        s.state = state, s.exitCode = exitCode, s.specificCode = specific;
        s.processId = state == P::kServiceStopped ? 0 : 0x600;
        const auto asked = [&](const auto& r) {
            return open_[r.first] == UpperCase(name) && (r.second & bitOf(state)) && !deaf &&
                   (told_[r.first] = statusOf(s), true);
        };
        if (std::erase_if(requests_, asked) && fireSoon) fireSoon();
    }

    P::Handle openSCManager(std::uint32_t access) override {
        if (r_.call("OpenSCManagerA " + Hex(access), &lastError_)) return 0;
        open_[next_] = "";
        return next_++;
    }
    P::Handle openService(P::Handle manager, const std::string& name,
                          std::uint32_t access) override {
        if (r_.call("OpenServiceA " + name + " " + Hex(access), &lastError_)) return 0;
        const bool isManager = open_.count(manager) && open_[manager].empty();
        lastError_ = !isManager ? P::kErrorInvalidHandle : P::kErrorServiceDoesNotExist;
        if (!isManager || !find(name)) return 0;
        open_[next_] = UpperCase(name);
        return next_++;
    }
    bool queryServiceStatus(P::Handle service, P::ServiceStatus& status) override {
        Service* s = opened(service, "QueryServiceStatus");
        if (s) status = statusOf(*s);
        return s;
    }
    bool queryServiceConfig(P::Handle service, P::ServiceConfig& config, std::uint32_t bufferSize,
                            std::uint32_t& needed) override {
        Service* s = opened(service, "QueryServiceConfigA " + std::to_string(bufferSize));
        if (!s) return false;
        const auto& c = s->config;  // the record, then each string with its NUL
        needed = std::uint32_t(36 + c.binaryPathName.size() + c.loadOrderGroup.size() +
                               c.dependencies.size() + c.serviceStartName.size() +
                               c.displayName.size() + 6);
        if (bufferSize < needed) return (lastError_ = P::kErrorInsufficientBuffer), false;
        config = c;
        return true;
    }
    bool closeServiceHandle(P::Handle handle) override {
        r_.call("CloseServiceHandle " + Hex(handle));
        requests_.erase(handle), told_.erase(handle);  // closing cancels what was asked on it
        return open_.erase(handle) || ((lastError_ = P::kErrorInvalidHandle), false);
    }
    bool notifyStatusChange(P::Handle service, std::uint32_t mask) override {
        if (r_.call("NotifyServiceStatusChange " + Hex(mask)) || !notifications ||
            !open_.count(service) || open_[service].empty())
            return false;
        if (const auto it = requests_.find(service); it != requests_.end())
            return it->second == mask || ((lastError_ = P::kErrorAlreadyRegistered), false);
        told_.erase(service);
        if (const Service* s = find(open_[service]); !s || !(bitOf(s->state) & mask))
            requests_[service] = mask;
        else if (fireSoon && !deaf)
            told_[service] = statusOf(*s), fireSoon();  // already there: queued at once
        return true;
    }
    bool notifiedStatus(P::Handle service, P::ServiceStatus& status) override {
        const auto it = told_.find(service);
        if (it == told_.end()) return false;
        status = it->second, told_.erase(it);
        return true;
    }
    std::uint32_t lastError() override { return lastError_; }

private:
    // SERVICE_NOTIFY_STOPPED is 0x1, and the bits of the other states follow in their order.
    static std::uint32_t bitOf(std::uint32_t state) { return 1u << (state - 1); }
    static P::ServiceStatus statusOf(const Service& s) {
        return {0x10, s.state, 0, s.exitCode, s.specificCode, 0, 0, s.processId};
    }
    Service* opened(P::Handle service, const std::string& call) {
        if (r_.call(call, &lastError_)) return nullptr;
        Service* s =
            open_.count(service) && !open_[service].empty() ? find(open_[service]) : nullptr;
        if (!s) lastError_ = P::kErrorInvalidHandle;
        return s;
    }
    std::uint32_t lastError_ = 0;
    P::Handle next_ = 0x100;
    std::map<P::Handle, std::string> open_;        // handle -> service, "" for a manager
    std::map<P::Handle, std::uint32_t> requests_;  // handle -> states asked to hear of
    std::map<P::Handle, P::ServiceStatus> told_;   // handle -> the status a firing carried
};

}  // namespace fake
