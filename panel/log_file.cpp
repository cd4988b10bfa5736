#include "panel/log_file.h"

#include <algorithm>
#include <cstdio>

namespace oapanel {

namespace {
const char kByteOrderMark[] = "\xEF\xBB\xBF";
}  // namespace

std::optional<platform::LocalTime> LastLineTime(platform::Files& files, const std::string& path) {
    constexpr std::int64_t kTail = 4096;  // a line is far shorter
    const std::int64_t size = files.fileSize(path);
    std::string tail;
    if (size <= 0 || !files.readFile(path, std::max<std::int64_t>(0, size - kTail), kTail, tail))
        return std::nullopt;
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) tail.pop_back();
    const std::size_t start = tail.rfind('\n');
    const std::string line = start == std::string::npos ? tail : tail.substr(start + 1);
    platform::LocalTime t;
    char dash = 0;
    const std::string stamp = line.rfind(kByteOrderMark, 0) == 0 ? line.substr(3) : line;
    if (std::sscanf(stamp.c_str(), "%4d-%2d-%2d %2d:%2d:%2d %c", &t.year, &t.month, &t.day, &t.hour,
                    &t.minute, &t.second, &dash) != 7 ||
        dash != '-' || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
        t.minute > 59 || t.second > 60)
        return std::nullopt;
    return t;
}

std::string LogFile::Write(const std::vector<std::string>& lines) {
    for (const auto& line : lines) waiting_.push_back(line + "\r\n");
    while (waiting_.size() > kMaxWaiting) waiting_.pop_front();
    std::string bytes;
    for (const auto& line : waiting_) bytes += line;
    if (bytes.empty()) return {};

    std::int64_t size = files_.fileSize(path_);
    const auto grown = [&] { return size + static_cast<std::int64_t>(bytes.size()); };
    std::string stuck;  // why the file could not be moved aside
    if (size > 0 && grown() > kLimit) {
        const platform::FileResult moved = files_.replaceFile(path_, path_ + ".1");
        if (moved == platform::FileResult::Done) size = files_.fileSize(path_);
        if (moved == platform::FileResult::Linked)
            stuck = "无法轮换日志文件：" + path_ + "（文件是链接）";
        // A file that cannot be moved aside, for a while or for good, must not fill the disk:
        // past the hard limit the lines wait as they do for a file that cannot be written.
        if (moved != platform::FileResult::Done && grown() > kHardLimit)
            return stuck.empty() ? "无法轮换日志文件：" + path_ : stuck;
    }
    // A new file, or one emptied by someone else, starts with the byte-order mark.
    const std::size_t mark = size <= 0 ? sizeof kByteOrderMark - 1 : 0;
    bytes.insert(0, kByteOrderMark, mark);
    std::size_t written = 0;
    const platform::FileResult result = files_.appendFile(path_, bytes, written);
    // A full disk may take part of the bytes: those are in the file now.
    Drop(written > mark ? written - mark : 0);
    if (result == platform::FileResult::Done) return stuck;
    return "无法写入日志文件：" + path_ +
           (result == platform::FileResult::Linked ? "（文件是链接）" : "");
}

void LogFile::Drop(std::size_t bytes) {
    while (!waiting_.empty() && bytes >= waiting_.front().size()) {
        bytes -= waiting_.front().size();
        waiting_.pop_front();
    }
    if (!waiting_.empty()) waiting_.front().erase(0, bytes);
}

}  // namespace oapanel
