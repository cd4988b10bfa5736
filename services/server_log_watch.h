// The server's own words after a failed start: the error line it wrote into its log during
// that start, and only then.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "services/server_log.h"

namespace oapanel {

class ServerLogWatch {
public:
    // Notes the size and identity of each of the server's log files (or that it is missing)
    // now, as the start begins. appPath is the application folder.
    ServerLogWatch(platform::Files& files, ServerKind kind, const std::string& appPath,
                   const AnsiDecoder& fromAnsi);
    // The error line the server added to one of its logs since; the first log, in name order,
    // that has one.
    std::optional<std::string> ErrorLine(LogPick pick, const AnsiDecoder& fromAnsi);

private:
    std::vector<std::string> Candidates();

    platform::Files& files_;
    ServerKind kind_;
    std::string folder_;  // where the candidates are listed
    std::string single_;  // the one file my.ini names, if it does
    struct Noted {
        std::int64_t size = -1;
        platform::FileIdentity identity;
    };
    Noted Note(const std::string& path);

    std::map<std::string, Noted> before_;
};

}  // namespace oapanel
