// The activity log kept on disk too: oapanel.log in the application folder, UTF-8 with a
// byte-order mark (Notepad on a Chinese Windows reads it right), renamed to oapanel.log.1 at
// 1 MB. A file that cannot be written costs the panel nothing: the lines wait for the next try.
// The panel runs as administrator in a folder users may write, so it never writes through a
// link there, nor renames one or onto one: that could make it change a file of someone else's
// choosing. A file that cannot be renamed grows to 2 MB at most.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace oapanel {

// The time of the file's last line ("YYYY-MM-DD HH:mm:SS - …"), when it has one.
std::optional<platform::LocalTime> LastLineTime(platform::Files& files, const std::string& path);

class LogFile {
public:
    static constexpr std::int64_t kLimit = 1 << 20;      // renamed to .1 beyond this
    static constexpr std::int64_t kHardLimit = 2 << 20;  // never written beyond this
    static constexpr std::size_t kMaxWaiting = 32767;    // lines kept while the file refuses them

    LogFile(platform::Files& files, std::string path) : files_(files), path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    // Appends the lines after any that could not be written before. Empty when all of them
    // reached the file and it could be renamed when due, else the sentence that says what went
    // wrong (what did not reach the file is kept for the next call; what did is not written
    // twice).
    std::string Write(const std::vector<std::string>& lines);

private:
    platform::Files& files_;
    std::string path_;
    void Drop(std::size_t bytes);
    std::deque<std::string> waiting_;
};

}  // namespace oapanel
