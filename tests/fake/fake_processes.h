// The simulated machine's processes and process environment.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace fake {

// From fake_platform.h, which includes this header.
using CallLog = std::vector<std::string>;
class Faults;

class FakeProcesses : public platform::Processes {
public:
    struct Launch {
        std::string commandLine;
        std::uint32_t showMode;
        bool waited;
    };

    FakeProcesses(CallLog& calls, Faults& faults) : calls_(calls), faults_(faults) {}

    std::vector<std::string> running;  // the Description of every process WMI lists
    bool wmiAvailable = true;          // false: no management service on this machine
    std::vector<Launch> launches;      // every process created, in order
    // What a created process does; it runs before the launch returns.
    std::function<void(const std::string&)> onLaunch;

    // "CreateProcessA <command line>" in the log; fails when "CreateProcessA" is set to fail.
    bool launch(const std::string& commandLine, std::uint32_t showMode) override;
    bool launchAndWait(const std::string& commandLine, const std::string& directory,
                       std::uint32_t waitMs, std::uint32_t showMode,
                       std::uint32_t creationFlags) override;
    // "InstancesOf Win32_Process" in the log; fails when WMI is missing or that call is set
    // to fail.
    bool processDescriptions(std::vector<std::string>& descriptions) override;

private:
    bool create(const std::string& commandLine, std::uint32_t showMode, bool wait);

    CallLog& calls_;
    Faults& faults_;
};

// Variable names compare without regard to case, as Windows compares them.
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

class FakeEnvironment : public platform::Environment {
public:
    struct Broadcast {
        std::string area;
        std::uint32_t timeoutMs;
    };

    FakeEnvironment(CallLog& calls, Faults& faults) : calls_(calls), faults_(faults) {}

    std::map<std::string, std::string, NoCaseLess> variables;  // this process's environment
    std::vector<Broadcast> broadcasts;

    bool getVariable(const std::string& name, std::string& value) override;
    // "SetEnvironmentVariableA NAME=value" in the log; an empty name or one holding "=" is
    // refused, as Windows refuses it.
    bool setVariable(const std::string& name, const std::string& value) override;
    // Replaces every %NAME% that is set; a reference to a variable that is not set, and a
    // lone "%", stay as they are.
    std::string expand(const std::string& text) override;
    // "SendMessageTimeoutA WM_SETTINGCHANGE <area>" in the log.
    bool broadcastSettingChange(const std::string& area, std::uint32_t timeoutMs) override;

private:
    CallLog& calls_;
    Faults& faults_;
};

}  // namespace fake
