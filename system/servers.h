// The two servers of the OA system, one row each. Whatever is true of both is written once,
// over this table, and the database comes first: the OA application needs it as it deploys.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/server_kind.h"

namespace oapanel {

struct Server {
    // Its kind says how its logs are found (services/server_log) and how its readiness is asked
    // (net/readiness).
    ServerKind kind;
    const char* name;     // as the activity log and the balloons name it
    const char* service;  // its Windows service
    std::uint16_t port;
    // Its own program, by whose process the panel sees at start-up whether it runs; none: the
    // state of its service tells.
    const char* process;
    // The bundle's installer, with {app} for the application folder.
    const char* install;
    const char* readiness;  // whose answer its readiness check waits for: "MySQL", "OA"
    const char* portCheck;  // how the port check names its port
    const char* startFailed;
    const char* stopFailed;

    std::string InstallCommand(const std::string& appPath) const;
};

inline constexpr std::size_t kServerCount = 2;
using Servers = std::array<Server, kServerCount>;
// In the order the whole system starts.
const Servers& TheServers();
const Server& ServerOf(ServerKind kind);

}  // namespace oapanel
