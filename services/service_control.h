// Installing, starting, stopping and removing the two services. The operations know nothing
// of the window: they write their log lines and wait through a ServiceHost, which the window
// provides (it keeps itself live and adds the progress dots).
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

namespace oapanel {

inline constexpr char kTomcatService[] = "Tomcat6Brackwen";
inline constexpr char kMysqlService[] = "MySQL5Brackwen";

// How long a wait gives a command, and how often it shows that it still waits.
inline constexpr double kWaitLimit = 30.0;
inline constexpr double kDotInterval = 2.0;

class ServiceHost {
public:
    virtual ~ServiceHost() = default;
    // Adds a line to the activity log and selects it.
    virtual void AppendLog(const std::string& text) = 0;
    // Adds a line without moving the selection.
    virtual void AddLineUnselected(const std::string& text) = 0;
    // Appends to the selected line (the user's pick, if they clicked an older one).
    virtual void ExtendLogLine(const std::string& suffix) = 0;
    // Starts a command line with a hidden window; false when it could not be started.
    virtual bool LaunchHidden(const std::string& strCommand) = 0;
    // Waits up to `limit` seconds for `completed` to hold, adding a dot to the selected line
    // every two seconds and keeping the window live. True when completed in time.
    virtual bool WaitWithDots(double limit, const std::function<bool()>& completed) = 0;
};

// Writes "启动 <display name>...", installs the service with strInstallCommand when it is not
// registered, starts it unless it already counts as running, and ends the line with the
// outcome. True when the service runs at the end.
bool StartNTService(platform::Platform& os, ServiceHost& host, const std::string& strDisplayName,
                    const std::string& strServiceName, const std::string& strInstallCommand);

// Writes "停止 <display name>..." and stops the service unless it already counts as stopped.
// True when it counts as stopped at the end.
bool StopNTService(platform::Platform& os, ServiceHost& host, const std::string& strDisplayName,
                   const std::string& strServiceName);

// Deletes a service through "sc delete", without waiting for it.
void DeleteService(ServiceHost& host, const std::string& strServiceName);

}  // namespace oapanel
