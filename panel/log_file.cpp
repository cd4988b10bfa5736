#include "panel/log_file.h"

namespace oapanel {

bool LogFile::Write(const std::vector<std::string>& lines) {
    for (const auto& line : lines) waiting_.push_back(line + "\r\n");
    while (waiting_.size() > kMaxWaiting) waiting_.pop_front();
    std::string bytes;
    for (const auto& line : waiting_) bytes += line;
    if (bytes.empty()) return true;

    std::int64_t size = files_.fileSize(path_);
    if (size > 0 && size + static_cast<std::int64_t>(bytes.size()) > kLimit &&
        files_.replaceFile(path_, path_ + ".1"))
        size = files_.fileSize(path_);
    // A new file, or one emptied by someone else, starts with the byte-order mark.
    if (size <= 0) bytes.insert(0, "\xEF\xBB\xBF");
    if (!files_.appendFile(path_, bytes)) return false;
    waiting_.clear();
    return true;
}

}  // namespace oapanel
