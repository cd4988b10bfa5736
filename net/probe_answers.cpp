#include "net/probe_answers.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>

namespace oapanel {

namespace {

using Mysql = MysqlAnswer::Kind;

// A greeting or an error is a few hundred bytes; a length far above that is not a MySQL server.
constexpr std::size_t kMaxPacket = 16 * 1024;
constexpr std::size_t kMaxVersion = 100;
constexpr std::size_t kHeader = 4;

MysqlAnswer Answer(Mysql kind, std::string version = {}) {
    MysqlAnswer answer;
    answer.kind = kind;
    answer.version = std::move(version);
    return answer;
}

unsigned Byte(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

// Protocol 10's initial handshake: the version is the NUL-terminated text after the 0x0A.
// A bad version byte decides at once; a good one is a greeting only once the packet is whole,
// since a greeting cut short is no ready server.
MysqlAnswer Greeting(const std::string& bytes, std::size_t packetEnd) {
    const std::size_t start = kHeader + 1, end = std::min(bytes.size(), packetEnd);
    for (std::size_t at = start; at < end; ++at) {
        const unsigned c = Byte(bytes, at);
        if (c == 0 && at > start) {
            if (bytes.size() < packetEnd) return {};
            return Answer(Mysql::Greeting, bytes.substr(start, at - start));
        }
        if (c < 0x20 || c > 0x7E || at - start == kMaxVersion) return Answer(Mysql::NotMysql);
    }
    return Answer(bytes.size() < packetEnd ? Mysql::NeedMore : Mysql::NotMysql);
}

// An error packet: the 2-byte code, an optional "#" and 5-character SQL state, the message.
MysqlAnswer ErrorPacket(const std::string& bytes, std::size_t packetEnd) {
    if (packetEnd < kHeader + 3) return Answer(Mysql::NotMysql);
    if (bytes.size() < packetEnd) return {};
    MysqlAnswer answer = Answer(Mysql::Error);
    answer.code = static_cast<int>(Byte(bytes, kHeader + 1) | Byte(bytes, kHeader + 2) << 8);
    answer.message = bytes.substr(kHeader + 3, packetEnd - kHeader - 3);
    if (answer.message.size() >= 6 && answer.message[0] == '#') answer.message.erase(0, 6);
    return answer;
}

// Whether byte c can stand at this place of "HTTP/d.d sss": a version digit, a status digit
// (the first 1 to 5, so that only 100..599 fits), or the literal text.
bool FitsStatusLine(std::size_t at, char c) {
    constexpr std::string_view kShape = "HTTP/d.d sdd";
    if (kShape[at] == 's') return c >= '1' && c <= '5';
    if (kShape[at] == 'd') return c >= '0' && c <= '9';
    return c == kShape[at];
}

}  // namespace

MysqlAnswer ReadMysqlAnswer(const std::string& bytes) {
    if (bytes.size() < 3) return {};
    const std::size_t length = Byte(bytes, 0) | Byte(bytes, 1) << 8 | Byte(bytes, 2) << 16;
    if (length == 0 || length > kMaxPacket) return Answer(Mysql::NotMysql);
    if (bytes.size() <= kHeader) return {};
    switch (Byte(bytes, kHeader)) {
        case 0x0A:
            return Greeting(bytes, kHeader + length);
        case 0xFF:
            return ErrorPacket(bytes, kHeader + length);
        default:
            return Answer(Mysql::NotMysql);
    }
}

HttpAnswer ReadHttpAnswer(const std::string& bytes) {
    constexpr std::size_t kStatusEnd = 12;
    for (std::size_t at = 0; at < std::min(bytes.size(), kStatusEnd); ++at)
        if (!FitsStatusLine(at, bytes[at])) return {HttpAnswer::Kind::NotHttp, 0};
    if (bytes.size() < kStatusEnd) return {};
    if (bytes.size() > kStatusEnd &&
        std::string_view(" \r\n").find(bytes[kStatusEnd]) == std::string_view::npos)
        return {HttpAnswer::Kind::NotHttp, 0};
    const int status = (bytes[9] - '0') * 100 + (bytes[10] - '0') * 10 + (bytes[11] - '0');
    return {HttpAnswer::Kind::Status, status};
}

}  // namespace oapanel
