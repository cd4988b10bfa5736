#pragma once

#include <map>

#include "platform/platform.h"

namespace win32 {

// The Service Control Manager through advapi32's ANSI functions.
class ServiceManager : public platform::ServiceManager {
public:
    platform::Handle openSCManager(std::uint32_t access) override;
    platform::Handle openService(platform::Handle manager, const std::string& name,
                                 std::uint32_t access) override;
    bool queryServiceStatus(platform::Handle service, platform::ServiceStatus& status) override;
    bool queryServiceConfig(platform::Handle service, platform::ServiceConfig& config,
                            std::uint32_t bufferSize, std::uint32_t& bytesNeeded) override;
    bool closeServiceHandle(platform::Handle handle) override;
    bool notifyStatusChange(platform::Handle service, std::uint32_t stateMask) override;
    bool notifiedStatus(platform::Handle service, platform::ServiceStatus& status) override;
    std::uint32_t lastError() override { return lastError_; }

    struct Notify;  // one notification request and the record the system writes into

private:
    std::uint32_t lastError_ = 0;
    std::map<platform::Handle, Notify*> notifies_;  // the request made on each open handle
};

}  // namespace win32
