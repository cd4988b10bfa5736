// Whether the two TCP ports of the OA system are free on this machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace oapanel {

// Result bits of CheckPorts.
inline constexpr std::int16_t kFirstPortInUse = 1;
inline constexpr std::int16_t kSecondPortInUse = 10;

// 0 when both ports are free, +1 when the first is in use, +10 when the second is. A port is
// in use when a socket cannot be bound to it on the loopback address or on all addresses.
// When the socket library cannot be started both count as free. Nothing listens or connects.
std::int16_t CheckPorts(platform::Sockets& sockets, std::uint16_t iFirstPort,
                        std::uint16_t iSecondPort);

// The process listening on a port, as the table of listening endpoints names it.
struct PortOwner {
    std::uint32_t processId = 0;  // 0 when the table does not say
    std::string exeName;          // empty when the process cannot be named
};
// Nothing when the table cannot be read or nothing listens on the port.
std::optional<PortOwner> FindPortOwner(platform::Platform& os, std::uint16_t port);

}  // namespace oapanel
