// The simulated command interpreter: it understands the command lines the panel launches
// and changes the simulated services after their scripted delays, or never.
#include "tests/fake/fake_platform.h"

namespace fake {

namespace {

const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// The word after `marker` up to the next blank, or "" when the marker is absent.
std::string wordAfter(const std::string& s, const std::string& marker) {
    const auto at = s.find(marker);
    if (at == std::string::npos) return {};
    const auto from = at + marker.size();
    return s.substr(from, s.find(' ', from) - from);
}

}  // namespace

void FakeCommands::run(const std::string& commandLine) {
    if (!startsWith(commandLine, "cmd /c ")) return;
    const std::string command = commandLine.substr(7);
    if (startsWith(command, "net start ")) return netStart(command.substr(10));
    if (startsWith(command, "net stop ")) return netStop(command.substr(9));
    if (startsWith(command, "sc delete ")) return scDelete(command.substr(10));
    // The bundle's installers: the web container's script and the database server itself.
    const std::string program = command.substr(0, command.find(' '));
    if (command.find("\\tomcat6\\bin\\service.bat install ") != std::string::npos) {
        const std::string bin = program.substr(0, program.rfind('\\'));
        return install("Tomcat6Brackwen", bin + "\\tomcat6svc.exe --service Tomcat6Brackwen");
    }
    const std::string name = wordAfter(command, " --install ");
    if (!name.empty()) install(name, program + " --service " + name);
}

void FakeCommands::install(const std::string& name, const std::string& imagePath) {
    const double delay = installers[name].registerDelay;
    if (delay < 0 || scm_.find(name)) return;  // never registers, or already there
    ui_.after(delay, [this, name, imagePath] { registerService(name, imagePath); });
}

void FakeCommands::registerService(const std::string& name, const std::string& imagePath) {
    FakeServiceManager::Service service = installedAs;
    service.config.binaryPathName = imagePath;
    service.config.displayName = name;
    scm_.installed[FakeServiceManager::upperName(name)] = service;
    reg_.putText(platform::kHkeyLocalMachine, kServicesKey + name, "ImagePath", imagePath,
                 platform::kRegExpandSz);
}

void FakeCommands::netStart(const std::string& name) {
    auto* s = scm_.find(name);
    if (!s || s->state != platform::kServiceStopped) return;
    s->state = platform::kServiceStartPending;
    if (s->startDelay < 0) return;
    ui_.after(s->startDelay, [this, name] {
        if (auto* t = scm_.find(name); t && t->state == platform::kServiceStartPending)
            t->state = platform::kServiceRunning;
    });
}

void FakeCommands::netStop(const std::string& name) {
    auto* s = scm_.find(name);
    if (!s || s->state == platform::kServiceStopped) return;
    if (s->stopDelay < 0) return;  // the service ignores the request
    s->state = platform::kServiceStopPending;
    ui_.after(s->stopDelay, [this, name] {
        if (auto* t = scm_.find(name); t && t->state == platform::kServiceStopPending)
            t->state = platform::kServiceStopped;
    });
}

void FakeCommands::scDelete(const std::string& name) {
    if (!scm_.find(name)) return;
    scm_.remove(name);
    reg_.deleteKey(platform::kHkeyLocalMachine, kServicesKey + name);
}

}  // namespace fake
