#include "panel/log_file.h"

namespace oapanel {

namespace {
const char kByteOrderMark[] = "\xEF\xBB\xBF";
}  // namespace

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
