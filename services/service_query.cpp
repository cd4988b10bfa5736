#include "services/service_query.h"

#include "base/text.h"

namespace oapanel {

ServiceWatch::ServiceWatch(platform::ServiceManager& scm, const std::string& strName)
    : scm_(scm),
      name_(TrimBlanks(strName)),
      manager_(scm, scm.openSCManager(platform::kScManagerConnect)) {
    if (manager_) service_ = {scm, scm.openService(manager_.get(), name_, platform::kGenericRead)};
    if (!service_) openError_ = scm.lastError();
}

bool ServiceWatch::Notify(std::uint32_t stateMask) {
    if (!service_) return false;
    if (scm_.notifyStatusChange(service_.get(), stateMask)) return true;
    if (scm_.lastError() != platform::kErrorAlreadyRegistered) return false;
    // A handle carries one request. Other states need a handle of their own; closing the old
    // one cancels what was asked on it.
    service_.reset();
    service_ = {scm_, scm_.openService(manager_.get(), name_, platform::kGenericRead)};
    return service_ && scm_.notifyStatusChange(service_.get(), stateMask);
}

bool ServiceWatch::Status(platform::ServiceStatus& status) {
    return service_ && scm_.queryServiceStatus(service_.get(), status);
}

std::string ServiceDisplayName(platform::ServiceManager& scm, const std::string& strName) {
    const ServiceHandle manager(scm, scm.openSCManager(platform::kScManagerConnect));
    const ServiceHandle service(
        scm, scm.openService(manager.get(), TrimBlanks(strName), platform::kGenericRead));
    platform::ServiceConfig config;
    std::uint32_t needed = 0;
    if (!service || (!scm.queryServiceConfig(service.get(), config, 0, needed) &&
                     !scm.queryServiceConfig(service.get(), config, needed, needed)))
        return {};
    return config.displayName;
}

bool QueryServiceInfo(platform::ServiceManager& scm, std::string strName, std::int32_t& lState,
                      std::int32_t& lStartType, std::string& strBinPath) {
    const ServiceHandle manager(scm, scm.openSCManager(platform::kScManagerConnect));
    const ServiceHandle service(
        scm, scm.openService(manager.get(), TrimBlanks(strName), platform::kGenericRead));
    if (!service) return false;

    platform::ServiceStatus status;
    if (!scm.queryServiceStatus(service.get(), status)) return false;
    if (status.currentState >= platform::kServiceStopped &&
        status.currentState <= platform::kServicePaused)
        lState = static_cast<std::int32_t>(status.currentState);

    platform::ServiceConfig config;
    std::uint32_t needed = 0;
    const bool sized = scm.queryServiceConfig(service.get(), config, 0, needed) ||
                       scm.lastError() == platform::kErrorInsufficientBuffer;
    if (!scm.queryServiceConfig(service.get(), config, needed, needed)) return false;

    lStartType = static_cast<std::int32_t>(config.startType);
    strBinPath = TrimBlanks(config.binaryPathName);
    return sized;
}

}  // namespace oapanel
