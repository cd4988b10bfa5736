#include "services/basService.h"

#include "base/text.h"

namespace oapanel {

namespace {

// Closes its service-manager handle on every path, also when the handle is 0: the manager
// and the service handle are always both closed, service first.
class ScHandle {
public:
    ScHandle(platform::ServiceManager& scm, platform::Handle h) : scm_(scm), h_(h) {}
    ~ScHandle() { scm_.closeServiceHandle(h_); }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    platform::Handle get() const { return h_; }

private:
    platform::ServiceManager& scm_;
    platform::Handle h_;
};

}  // namespace

ServiceWatch::ServiceWatch(platform::ServiceManager& scm, const std::string& strName)
    : scm_(scm), name_(TrimBlanks(strName)) {
    manager_ = scm.openSCManager(platform::kScManagerConnect);
    if (manager_) service_ = scm.openService(manager_, name_, platform::kGenericRead);
    if (!service_) openError_ = scm.lastError();
}

ServiceWatch::~ServiceWatch() {
    if (service_) scm_.closeServiceHandle(service_);
    if (manager_) scm_.closeServiceHandle(manager_);
}

bool ServiceWatch::Notify(std::uint32_t stateMask) {
    if (!service_) return false;
    if (scm_.notifyStatusChange(service_, stateMask)) return true;
    if (scm_.lastError() != platform::kErrorAlreadyRegistered) return false;
    // A handle carries one request. Other states need a handle of their own; closing the old
    // one cancels what was asked on it.
    scm_.closeServiceHandle(service_);
    service_ = scm_.openService(manager_, name_, platform::kGenericRead);
    return service_ && scm_.notifyStatusChange(service_, stateMask);
}

bool ServiceWatch::Status(platform::ServiceStatus& status) {
    return service_ && scm_.queryServiceStatus(service_, status);
}

bool QueryServiceInfo(platform::ServiceManager& scm, std::string strName, std::int32_t& lState,
                      std::int32_t& lStartType, std::string& strBinPath) {
    bool result = true;
    ScHandle manager(scm, scm.openSCManager(platform::kScManagerConnect));
    if (manager.get() == 0) result = false;  // the service cannot be opened either

    ScHandle service(scm,
                     scm.openService(manager.get(), TrimBlanks(strName), platform::kGenericRead));
    if (service.get() == 0) return false;

    platform::ServiceStatus status;
    if (!scm.queryServiceStatus(service.get(), status)) return false;
    if (status.currentState >= platform::kServiceStopped &&
        status.currentState <= platform::kServicePaused)
        lState = static_cast<std::int32_t>(status.currentState);

    platform::ServiceConfig config;
    std::uint32_t needed = 0;
    if (!scm.queryServiceConfig(service.get(), config, 0, needed) &&
        scm.lastError() != platform::kErrorInsufficientBuffer)
        result = false;
    if (!scm.queryServiceConfig(service.get(), config, needed, needed)) return false;

    lStartType = static_cast<std::int32_t>(config.startType);
    strBinPath = TrimBlanks(config.binaryPathName);
    return result;
}

}  // namespace oapanel
