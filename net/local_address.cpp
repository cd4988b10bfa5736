#include "net/local_address.h"

#include <algorithm>

namespace oapanel {

namespace {

constexpr int kMinSockets = 1;

// Shows the message, then ends the program at once.
void Fail(platform::Application& app, const std::string& strMessage, const BeforeEnd& beforeEnd) {
    app.messageBox(strMessage, platform::kMbOk, app.appTitle());
    if (beforeEnd) beforeEnd();
    app.endProcess(0);
}

}  // namespace

void StartWinsock(platform::Sockets& sockets, platform::Application& app,
                  const BeforeEnd& beforeEnd) {
    platform::WsaData wsaData;
    if (sockets.wsaStartup(platform::kWinsockVersion11, wsaData) != 0)
        Fail(app, "Winsock.dll is not responding.", beforeEnd);
    const int major = LowByteOf(wsaData.wVersion);
    const int minor = HighByteOf(wsaData.wVersion);
    if (major < 1 || (major == 1 && minor < 1))
        Fail(app,
             "Windows Sockets version " + std::to_string(major) + "." + std::to_string(minor) +
                 " is not supported by winsock.dll ",
             beforeEnd);
    if (wsaData.iMaxSockets < kMinSockets)
        Fail(app,
             "This application requires a minimum of " + std::to_string(kMinSockets) +
                 " supported sockets.",
             beforeEnd);
}

std::string GetLocalIPAddress(platform::Sockets& sockets, platform::Application& app) {
    platform::HostEntry entry;
    if (!sockets.gethostbyname("", entry)) {
        app.messageBox("Can't resolve name.", platform::kMbOk, app.appTitle());
        return {};
    }
    // An entry without an address, or a length beyond the bytes there, yields what is there
    // instead of reading past it.
    if (entry.h_addr_list.empty()) return {};
    const auto& address = entry.h_addr_list.front();
    const std::size_t length = std::min<std::size_t>(
        entry.h_length > 0 ? static_cast<std::size_t>(entry.h_length) : 0, address.size());
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0) text += '.';
        text += std::to_string(address[i]);
    }
    return text;
}

void StopWinsock(platform::Sockets& sockets, platform::Application& app,
                 const BeforeEnd& beforeEnd) {
    const int result = sockets.wsaCleanup();
    if (result != 0)
        Fail(app, "Socket error " + std::to_string(result) + " occurred in Cleanup ", beforeEnd);
}

}  // namespace oapanel
