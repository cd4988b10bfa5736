// The simulated machine the unit tests run the program against: a test double with real
// semantics (a registry with rights and handles that must be closed, services with states
// that commands change after scripted delays, a clock that moves when events are pumped),
// which records every platform call and can be told to fail any of them. Each interface has
// its own header; this one puts the machine together.
#pragma once

#include "tests/fake/application.h"
#include "tests/fake/commands.h"
#include "tests/fake/files.h"
#include "tests/fake/processes.h"
#include "tests/fake/record.h"
#include "tests/fake/registry.h"
#include "tests/fake/services.h"
#include "tests/fake/shell.h"
#include "tests/fake/sockets.h"
#include "tests/fake/windows.h"

namespace fake {

struct FakePlatform : P::Platform {
    FakePlatform() {
        procs.onLaunch = [this](const std::string& line) { commands.run(line); };
        scm.fireSoon = [this] { ui.notify(); };
        // The servers answer on their ports: the database greets, /oa is there.
        // A real mysqld keeps the connection open after its greeting, waiting for a login.
        net.servers[3307] = {[](auto&) { return MysqlGreeting("5.0.96-fake"); }, 0, 0, true};
        net.servers[8080].answer = [](auto&) -> std::string { return "HTTP/1.0 200 OK\r\n\r\n"; };
        // A machine the panel has run on before: the runtime variable names this folder.
        reg.putText(P::kHkeyLocalMachine, kSystemEnvironment, "JRE_BK_HOME",
                    application.path + "\\jre16bk");
    }

    Record record;
    FakeApplication application{record};
    FakeClock clockImpl;
    FakeServiceManager scm{record};
    FakeWindowSystem ui{record, clockImpl};
    FakeProcesses procs{record, clockImpl};
    FakeFiles filesImpl{record};
    FakeEnvironment env{record};
    FakeRegistry reg{record};
    FakeCodec codecImpl;
    FakeShell tray{record};
    FakeSockets net{record, clockImpl};
    FakeCommands commands{scm, reg, ui, filesImpl};
    FakeLibraries libs{record};
    FakeEventLog events{record};

    P::Application& app() override { return application; }
    P::Clock& clock() override { return clockImpl; }
    P::ServiceManager& services() override { return scm; }
    P::WindowSystem& windows() override { return ui; }
    P::Shell& shell() override { return tray; }
    P::Processes& processes() override { return procs; }
    P::Environment& environment() override { return env; }
    P::Registry& registry() override { return reg; }
    P::TextCodec& codec() override { return codecImpl; }
    P::Sockets& sockets() override { return net; }
    P::Files& files() override { return filesImpl; }
    P::Libraries& libraries() override { return libs; }
    P::EventLog& eventLog() override { return events; }

    static constexpr char kSystemEnvironment[] =
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    int count(const std::string& prefix) const { return record.count(prefix); }
    // Another program, or the service's own death, puts a service into a state; a notification
    // asked for that state arrives.
    void outside(const std::string& name, std::uint32_t state, std::uint32_t exitCode = 0,
                 std::uint32_t specific = 0) {
        scm.enter(name, state, exitCode, specific);
    }
    void fail(const std::string& op, std::uint32_t error) { record.failing[op] = error; }
};

}  // namespace fake
