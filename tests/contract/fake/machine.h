// The simulated machine of the unit tests, as the contract cases see it: arranged directly.
#pragma once

#include "tests/fake/fake.h"

namespace contract {

struct Machine {
    fake::FakePlatform os;

    Machine() {
        os.procs.running = {"smss.exe", os.application.exe + ".exe", "explorer.exe"};
        os.scm.notifications = true;  // as on Vista and later
        os.libs.exports["WS2_32.DLL"] = {"WSAStartup"};
    }
    // A server on loopback that sends the bytes to whoever connects, then closes; a program of
    // its own listens there.
    std::uint16_t serve(const std::string& bytes) {
        os.net.servers[40123].answer = [bytes](const std::string&) { return bytes; };
        os.net.listeners[40123] = 1911;
        os.net.hold(platform::kInAddrLoopback, 40123);
        return 40123;
    }
    std::uint16_t unusedPort() { return 40124; }
    std::string systemFolder() { return os.libs.systemFolder; }
    std::string folder() {
        os.filesImpl.existing.insert("C:\\oapanel-contract");
        return "C:\\oapanel-contract";
    }
    void hardLink(const std::string& path, const std::string& target) {
        os.filesImpl.content[path] = os.filesImpl.content[target];
        os.filesImpl.links.insert({path, target});
    }
    std::string databaseServer() { return "C:\\OA\\mysql5\\bin\\mysqld2.exe"; }
};

}  // namespace contract
