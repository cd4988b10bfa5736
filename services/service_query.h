// Asks the Service Control Manager about one service.
#pragma once

#include <cstdint>
#include <string>

#include "base/owner.h"
#include "platform/platform.h"

namespace oapanel {

using ServiceHandle =
    Owner<platform::ServiceManager, &platform::ServiceManager::closeServiceHandle>;

// Opens the service, reads its status and configuration and closes everything again.
// Returns true only when all of that succeeded. Each out-argument is written only when its
// part was read, so the caller's value survives a failure:
//   lState      the current state (1..7), when the status was read
//   lStartType  dwStartType, when the configuration was read
//   strBinPath  the configured command line, trimmed of blanks, when the configuration was read
bool QueryServiceInfo(platform::ServiceManager& scm, std::string strName, std::int32_t& lState,
                      std::int32_t& lStartType, std::string& strBinPath);

// The service's display name, as the service manager writes it into the event log; empty when
// the service is not there.
std::string ServiceDisplayName(platform::ServiceManager& scm, const std::string& strName);

// One service watched for the length of a wait: the manager and the service are opened once
// and closed at the end, so each look is a single status query.
class ServiceWatch {
public:
    ServiceWatch(platform::ServiceManager& scm, const std::string& strName);
    // The current status; false when the service cannot be opened or asked.
    bool Status(platform::ServiceStatus& status);
    // Asks to be woken when the service enters one of the states (kNotifyRunning, ...); false
    // where the system cannot, and the wait has to look more often instead.
    bool Notify(std::uint32_t stateMask);
    // The status the last notification carried, once; false when none came since.
    bool Notified(platform::ServiceStatus& status) {
        return service_ && scm_.notifiedStatus(service_.get(), status);
    }
    // Why the service could not be opened (kErrorServiceDoesNotExist, ...), else 0.
    std::uint32_t OpenError() const { return openError_; }

private:
    platform::ServiceManager& scm_;
    std::string name_;
    ServiceHandle manager_, service_;
    std::uint32_t openError_ = 0;
};

// The readings the callers make of a query.
inline bool CountsAsRunning(bool ok, std::int32_t state) {
    return ok && state != static_cast<std::int32_t>(platform::kServiceStopped);
}
inline bool IsFullyRunning(bool ok, std::int32_t state) {
    return ok && state == static_cast<std::int32_t>(platform::kServiceRunning);
}

}  // namespace oapanel
