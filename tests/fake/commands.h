// The command interpreter: what the "cmd /c ..." lines the program launches do here.
#pragma once

#include "tests/fake/files.h"
#include "tests/fake/registry.h"
#include "tests/fake/services.h"
#include "tests/fake/windows.h"

namespace fake {

class FakeCommands {
public:
    FakeCommands(FakeServiceManager& scm, FakeRegistry& reg, FakeWindowSystem& ui, FakeFiles& files)
        : scm_(scm), reg_(reg), ui_(ui), files_(files) {}
    // Seconds an installer takes to register its service, by service name; negative: never.
    std::map<std::string, double> registerDelay;
    double netDelay = 0;  // seconds before "net start" / "net stop" reach the service
    FakeServiceManager::Service installedAs;  // what a registered service starts as

    void run(const std::string& line) {
        if (!line.starts_with("cmd /c ")) return;
        const std::string command = line.substr(7), name = command.substr(command.rfind(' ') + 1);
        const bool start = command.starts_with("net start ");
        if (start || command.starts_with("net stop ")) {
            if (netDelay <= 0) return settle(name, start);
            return ui_.after(netDelay, [this, name, start] { settle(name, start); });
        }
        if (command.starts_with("sc delete ")) {
            scm_.installed.erase(UpperCase(name));
            return reg_.removeKey(P::kHkeyLocalMachine, kServices + name);
        }
        // The bundle's installers: the web container's script and the database server itself.
        const std::string program = command.substr(0, command.find(' '));
        std::string service, image;
        if (command.find("\\tomcat6\\bin\\service.bat install ") != std::string::npos) {
            service = "Tomcat6Brackwen";
            image =
                program.substr(0, program.rfind('\\') + 1) + "tomcat6svc.exe --service " + service;
        } else if (const auto at = command.find(" --install "); at != std::string::npos) {
            service = command.substr(at + 11, command.find(' ', at + 11) - at - 11);
            image = program + " --service " + service;
        } else {
            return;
        }
        const double delay = registerDelay.count(service) ? registerDelay[service] : 0.5;
        if (delay < 0 || scm_.find(service)) return;  // never registers, or already there
        ui_.after(delay, [this, service, image] { registerService(service, image); });
    }
    // Registers a service as its installer would: service manager and registry entry, its
    // program there.
    FakeServiceManager::Service& registerService(const std::string& name, const std::string& image,
                                                 std::uint32_t state = P::kServiceStopped) {
        files_.existing.insert(image.substr(0, image.find(' ')));
        reg_.putText(P::kHkeyLocalMachine, kServices + name, "ImagePath", image, P::kRegExpandSz);
        return scm_.install(name, state, image, installedAs);
    }

private:
    static constexpr char kServices[] = "SYSTEM\\CurrentControlSet\\Services\\";
    void settle(const std::string& name, bool starting) {
        auto* s = scm_.find(name);
        // A start needs a stopped service; a stop anything but a stopped one.
        if (!s || starting != (s->state == P::kServiceStopped)) return;
        // Refused before it runs: it stays STOPPED with the exit code of its last run.
        if (starting && (s->refusesStart || s->config.startType == P::kServiceDisabled)) return;
        const double delay = starting ? s->startDelay : s->stopDelay;
        if (!starting && delay < 0) return;  // the service ignores the stop
        const std::uint32_t pending = starting ? P::kServiceStartPending : P::kServiceStopPending;
        s->state = pending;
        if (delay < 0) return;
        ui_.after(delay, [this, name, pending, starting] {
            auto* t = scm_.find(name);
            if (!t || t->state != pending) return;
            scm_.enter(name, starting && !t->failsWith ? P::kServiceRunning : P::kServiceStopped,
                       starting ? t->failsWith : 0, t->specificCode);
        });
    }
    FakeServiceManager& scm_;
    FakeRegistry& reg_;
    FakeWindowSystem& ui_;
    FakeFiles& files_;
};

}  // namespace fake
