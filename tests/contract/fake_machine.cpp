// The simulated machine of the unit tests, arranged directly.
#include "tests/contract/machine.h"
#include "tests/fake/fake.h"

namespace contract {

namespace {

class FakeMachine : public Machine {
public:
    FakeMachine() { os_.procs.running = {os_.application.exe + ".exe"}; }

    platform::Platform& os() override { return os_; }
    std::string databaseServer() override { return "C:\\OA\\mysql5\\bin\\mysqld2.exe"; }
    std::string iconFile() override {
        os_.tray.iconFiles.insert("C:\\OA\\tomcat6\\bin\\stop.ico");
        return "C:\\OA\\tomcat6\\bin\\stop.ico";
    }
    void showWindow() override {}
    std::uint16_t freePort() override { return nextPort_++; }
    void listen(const std::array<std::uint8_t, 4>& address, std::uint16_t port) override {
        os_.net.hold(address, port);
        os_.net.listeners[port] = 0;
    }
    std::string tempFolder() override { return "C:\\Temp\\"; }
    std::vector<std::uint8_t> hostAddress() override { return os_.net.hostAddresses.front(); }

private:
    fake::FakePlatform os_;
    std::uint16_t nextPort_ = 47001;
};

}  // namespace

std::unique_ptr<Machine> makeMachine() { return std::make_unique<FakeMachine>(); }

}  // namespace contract
