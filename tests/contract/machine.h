// What a contract case needs besides the platform interfaces: each side arranges and inspects
// its machine in its own way (the simulated one directly, the real one through Windows).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace contract {

// Every case's registry work stays below this key of HKEY_CURRENT_USER.
inline constexpr char kKey[] = "Software\\oapanel-contract";

class Machine {
public:
    virtual ~Machine() = default;
    virtual platform::Platform& os() = 0;
    // The database server's program: started with --install NAME it registers service NAME,
    // which listens on a port of its own.
    virtual std::string databaseServer() = 0;
    virtual std::string iconFile() = 0;  // a file that loads as an icon
    virtual void showWindow() = 0;       // the program's window, which owns the tray icon
    // A port nobody holds now; another program listening on one until the machine goes.
    virtual std::uint16_t freePort() = 0;
    virtual void listen(const std::array<std::uint8_t, 4>& address, std::uint16_t port) = 0;
    // This host's first address as the system's resolver gives it.
    virtual std::vector<std::uint8_t> hostAddress() = 0;
    virtual std::string tempFolder() = 0;  // ends in a backslash
};

std::unique_ptr<Machine> makeMachine();

}  // namespace contract
