// Processes started, the list WMI gives, and the process's environment.
#pragma once

#include "tests/fake/application.h"

namespace fake {

class FakeProcesses : public Recording<P::Processes> {
public:
    struct Launch {
        std::string commandLine;
        std::uint32_t showMode;
    };
    FakeProcesses(Record& r, FakeClock& clock) : Recording(r), clock_(clock) {}

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
        if (r_.call("CreateProcessA " + line, &lastError_)) return false;
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
        r_.call("WaitForSingleObject " + ends_.at(process).second);
        return clock_.monotonic >= ends_.at(process).first;
    }
    bool exitCode(P::Handle process, std::uint32_t& code) override {
        const auto& [end, line] = ends_.at(process);
        code = clock_.monotonic < end ? P::kStillActive : exitCodes[line];
        return true;
    }
    void closeProcess(P::Handle process) override { ends_.erase(process); }
    std::uint32_t lastError() override { return lastError_; }
    std::string processName(std::uint32_t id) override { return names[id]; }
    bool enumerateProcessDescriptions(
        const std::function<bool(const std::string&)>& visit) override {
        if (r_.call("InstancesOf Win32_Process")) return false;
        for (std::size_t i = 0; i < running.size(); ++i)
            if (i == failAfter || !visit(running[i])) return i != failAfter;
        return running.size() != failAfter;
    }

private:
    FakeClock& clock_;
    std::uint32_t lastError_ = 0;
    std::map<P::Handle, std::pair<double, std::string>> ends_;  // when it ends, its line
    P::Handle next_ = 0x4000;
};

struct FakeEnvironment : Recording<P::Environment> {
    using Recording::Recording;
    std::map<std::string, std::string> variables;  // by upper-case name, as Windows compares
    std::vector<std::string> broadcasts;           // "Environment 5000"

    bool getVariable(const std::string& name, std::string& value) override {
        const auto it = variables.find(UpperCase(name));
        return it != variables.end() && (value = it->second, true);
    }
    bool setVariable(const std::string& name, const std::string& value) override {
        return !r_.call("SetEnvironmentVariableA " + name + "=" + value) && !name.empty() &&
               name.find('=') == name.npos && (variables[UpperCase(name)] = value, true);
    }
    std::string operator[](const std::string& name) const {
        const auto it = variables.find(UpperCase(name));
        return it == variables.end() ? "" : it->second;
    }
    std::string expand(const std::string& text) override {  // an unknown %NAME% stays
        std::string out, value;
        std::size_t at = 0, open, close;
        while ((open = text.find('%', at)) != std::string::npos &&
               (close = text.find('%', open + 1)) != std::string::npos) {
            const bool known = getVariable(text.substr(open + 1, close - open - 1), value);
            out +=
                text.substr(at, open - at) + (known ? value : text.substr(open, close - open + 1));
            at = close + 1;
        }
        return out + text.substr(at);
    }
    bool broadcastSettingChange(const std::string& area, std::uint32_t timeoutMs) override {
        return !r_.call("SendMessageTimeoutA WM_SETTINGCHANGE " + area) &&
               (broadcasts.push_back(area + " " + std::to_string(timeoutMs)), true);
    }
};

}  // namespace fake
