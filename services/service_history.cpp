#include "services/service_history.h"

#include <algorithm>

namespace oapanel {

namespace {

constexpr std::size_t kHead = 56;  // EVENTLOGRECORD up to its source name
constexpr std::uint32_t kBufferBytes = 64 * 1024;
constexpr std::uint32_t kMostBytes = 512 * 1024;  // one record is at most this big

std::uint32_t Word(const std::vector<std::uint8_t>& b, std::size_t at, int bytes = 4) {
    std::uint32_t n = 0;
    for (int i = bytes - 1; i >= 0; --i) n = n << 8 | b[at + static_cast<std::size_t>(i)];
    return n;
}

// One code point as UTF-8: a lead byte that says how many follow, six bits in each of them.
void AppendUtf8(std::string& out, std::uint32_t c) {
    static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    const int tail = (c >= 0x80) + (c >= 0x800) + (c >= 0x10000);
    out += static_cast<char>(kLead[tail] | c >> 6 * tail);
    for (int i = tail - 1; i >= 0; --i) out += static_cast<char>(0x80 | (c >> 6 * i & 0x3F));
}

// The NUL-terminated UTF-16 text at `at`, which must end before `end`; as UTF-8.
std::string Utf16At(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t end) {
    std::string out;
    for (; at + 1 < end; at += 2) {
        std::uint32_t c = Word(b, at, 2);
        if (c == 0) return out;
        if (c >= 0xD800 && c < 0xDC00 && at + 3 < end) {  // a pair: one code point
            const std::uint32_t low = Word(b, at + 2, 2);
            if (low >= 0xDC00 && low < 0xE000)
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), at += 2;
        }
        AppendUtf8(out, c);
    }
    return {};  // no end within the record: no text
}

bool IsCrash(std::uint32_t id) { return id == 7031 || id == 7034 || id == 7023 || id == 7024; }

}  // namespace

std::vector<LogRecord> ReadRecords(const std::vector<std::uint8_t>& bytes) {
    std::vector<LogRecord> records;
    for (std::size_t at = 0; bytes.size() - at >= kHead;) {
        const std::size_t length = Word(bytes, at);
        if (length < kHead || length > bytes.size() - at) break;
        LogRecord r;
        r.time = Word(bytes, at + 12);
        r.eventId = Word(bytes, at + 20) & 0xFFFF;
        r.source = Utf16At(bytes, at + kHead, at + length);
        const std::size_t strings = Word(bytes, at + 26, 2), offset = Word(bytes, at + 36);
        if (strings > 0 && offset >= kHead && offset < length)
            r.firstString = Utf16At(bytes, at + offset, at + length);
        records.push_back(std::move(r));
        at += length;
    }
    return records;
}

std::vector<Crashes> CountCrashes(platform::EventLog& log, const std::vector<std::string>& names,
                                  const std::function<bool(std::int64_t time)>& recent) {
    std::vector<Crashes> crashes(names.size());
    const platform::Handle handle = log.openEventLog("System");
    if (!handle) return crashes;
    std::vector<std::uint8_t> bytes;
    std::uint32_t size = kBufferBytes, needed = 0;
    for (bool more = true; more;) {
        if (!log.readEventLog(handle,
                              platform::kEventLogSequentialRead | platform::kEventLogBackwardsRead,
                              size, bytes, needed)) {
            // A record bigger than the buffer: once more with room for it, within reason.
            if (log.lastError() != platform::kErrorInsufficientBuffer || needed <= size ||
                needed > kMostBytes)
                break;
            size = needed;
            continue;
        }
        const std::vector<LogRecord> records = ReadRecords(bytes);
        if (records.empty()) break;
        for (const LogRecord& r : records) {
            if (!recent(r.time)) {
                more = false;
                break;
            }
            if (!IsCrash(r.eventId) || r.source != "Service Control Manager") continue;
            const auto name = std::find(names.begin(), names.end(), r.firstString);
            if (name == names.end()) continue;
            Crashes& c = crashes[static_cast<std::size_t>(name - names.begin())];
            if (c.count++ == 0) c.latest = r.time;
        }
    }
    log.closeEventLog(handle);
    return crashes;
}

}  // namespace oapanel
