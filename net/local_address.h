// The socket library around the one address query of the start-up, and the
// text of the local host's first address.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace oapanel {

// What runs right before the program ends over a socket-library failure (the panel removes
// its tray icon there).
using BeforeEnd = std::function<void()>;

// Starts Windows Sockets 1.1. When the library does not answer, offers less than version 1.1
// or no socket at all, says so and ends the program.
void StartWinsock(platform::Sockets& sockets, platform::Application& app,
                  const BeforeEnd& beforeEnd = {});

// The local host's first address as the library lists it, in dotted decimal; the empty text
// (after a message) when the host name cannot be resolved.
std::string GetLocalIPAddress(platform::Sockets& sockets, platform::Application& app);

// Shuts the socket library down; when it reports a failure, says so and ends the program.
void StopWinsock(platform::Sockets& sockets, platform::Application& app,
                 const BeforeEnd& beforeEnd = {});

inline std::uint8_t HighByteOf(std::uint16_t wParam) {
    return static_cast<std::uint8_t>((wParam / 256) & 0xFF);
}
inline std::uint8_t LowByteOf(std::uint16_t wParam) {
    return static_cast<std::uint8_t>(wParam & 0xFF);
}

}  // namespace oapanel
