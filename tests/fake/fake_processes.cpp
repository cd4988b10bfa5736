#include "tests/fake/fake_processes.h"

#include <algorithm>
#include <cctype>

#include "tests/fake/fake_platform.h"

namespace fake {

// --- processes -----------------------------------------------------------------------

bool FakeProcesses::create(const std::string& commandLine, std::uint32_t showMode, bool wait) {
    calls_.push_back("CreateProcessA " + commandLine);
    std::uint32_t error = 0;
    if (faults_.check("CreateProcessA", error)) return false;
    launches.push_back({commandLine, showMode, wait});
    if (onLaunch) onLaunch(commandLine);
    return true;
}

bool FakeProcesses::launch(const std::string& commandLine, std::uint32_t showMode) {
    return create(commandLine, showMode, false);
}

bool FakeProcesses::launchAndWait(const std::string& commandLine, const std::string&, std::uint32_t,
                                  std::uint32_t showMode, std::uint32_t) {
    return create(commandLine, showMode, true);
}

bool FakeProcesses::processDescriptions(std::vector<std::string>& descriptions) {
    calls_.push_back("InstancesOf Win32_Process");
    descriptions.clear();
    std::uint32_t error = 0;
    if (!wmiAvailable || faults_.check("InstancesOf", error)) return false;
    descriptions = running;
    return true;
}

// --- environment -----------------------------------------------------------------------

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::toupper(x) < std::toupper(y); });
}

bool FakeEnvironment::getVariable(const std::string& name, std::string& value) {
    auto it = variables.find(name);
    if (it == variables.end()) return false;
    value = it->second;
    return true;
}

bool FakeEnvironment::setVariable(const std::string& name, const std::string& value) {
    calls_.push_back("SetEnvironmentVariableA " + name + "=" + value);
    std::uint32_t error = 0;
    if (faults_.check("SetEnvironmentVariableA", error)) return false;
    if (name.empty() || name.find('=') != std::string::npos) return false;
    variables[name] = value;
    return true;
}

std::string FakeEnvironment::expand(const std::string& text) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find('%', at);
        const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) break;
        out.append(text, at, open - at);
        auto it = variables.find(text.substr(open + 1, close - open - 1));
        // An unknown name is copied with both of its "%" and the scan goes on after it.
        if (it != variables.end())
            out += it->second;
        else
            out.append(text, open, close - open + 1);
        at = close + 1;
    }
    out.append(text, at, std::string::npos);
    return out;
}

bool FakeEnvironment::broadcastSettingChange(const std::string& area, std::uint32_t timeoutMs) {
    calls_.push_back("SendMessageTimeoutA WM_SETTINGCHANGE " + area);
    std::uint32_t error = 0;
    if (faults_.check("SendMessageTimeoutA", error)) return false;
    broadcasts.push_back({area, timeoutMs});
    return true;
}

}  // namespace fake
