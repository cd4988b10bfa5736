// The readers of what comes from outside: the servers' first answers on their ports.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "net/probe_answers.h"

namespace unit {
namespace {

using namespace oapanel;
using namespace std::string_literals;

std::string packet(const std::string& payload) {
    const auto n = payload.size();
    return {char(n & 0xFF), char(n >> 8 & 0xFF), char(n >> 16), '\0'};
}
std::string withHeader(const std::string& payload) { return packet(payload) + payload; }

TEST(ReadersTest, MysqlGreetingAndErrorPacket) {
    using K = MysqlAnswer::Kind;
    const std::string greeting = withHeader("\n5.0.91-community\0"s + std::string(40, '\x01'));
    const struct {
        std::string bytes;
        K kind;
        std::string versionOrMessage;
        int code;
    } rows[] = {
        {greeting, K::Greeting, "5.0.91-community", 0},
        {greeting + "more", K::Greeting, "5.0.91-community", 0},  // the next packet is not read
        {greeting.substr(0, 30), K::NeedMore, "", 0},             // version whole, packet not
        {"\x05\0\0\0Z"s + std::string(1 << 20, 'x'), K::NotMysql, "", 0},  // neither 0x0A nor 0xFF
        {"HTTP/1.1 400", K::NotMysql, "", 0},   // a length past any greeting
        {"\0\0\0\0\x0A"s, K::NotMysql, "", 0},  // an empty packet
        {withHeader("\xFF\x10\x04#08004Too many connections"), K::Error, "Too many connections",
         1040},
        {withHeader("\xFF\x6A\x04Host 'pc' is not allowed"), K::Error, "Host 'pc' is not allowed",
         1130},
        {withHeader("\xFF\x6A\x04#0800"), K::Error, "#0800", 1130},  // too short for a state
        {withHeader("\xFF\x10"), K::NotMysql, "", 0},
        {withHeader("\n5.0\x01\0"s), K::NotMysql, "", 0},
        {withHeader("\x0A\0"s), K::NotMysql, "", 0},   // no version
        {withHeader("\n5.0.91"), K::NotMysql, "", 0},  // not terminated
        {withHeader("\x0A" + std::string(101, '5') + '\0'), K::NotMysql, "", 0},
        {withHeader("\x0A" + std::string(100, '5') + '\0'), K::Greeting, std::string(100, '5'), 0},
        {packet(std::string(300, ' ')) + "\n5.0\x7F", K::NotMysql, "", 0},  // before the end
    };
    for (const auto& r : rows) {
        const MysqlAnswer a = ReadMysqlAnswer(r.bytes);
        EXPECT_EQ(a.kind, r.kind) << r.bytes.substr(0, 40);
        EXPECT_EQ(a.kind == K::Error ? a.message : a.version, r.versionOrMessage);
        EXPECT_EQ(a.code, r.code);
        // Arriving a byte at a time, a ready answer is ready only with its last byte.
        const std::size_t whole = 4 + std::uint8_t(r.bytes[0]) + 256 * std::uint8_t(r.bytes[1]);
        for (std::size_t n = 0; r.kind != K::NotMysql && n < std::min(whole, r.bytes.size()); ++n)
            ASSERT_EQ(ReadMysqlAnswer(r.bytes.substr(0, n)).kind, K::NeedMore) << n;
    }
}

TEST(ReadersTest, HttpStatusLine) {
    using K = HttpAnswer::Kind;
    const struct {
        std::string bytes;
        K kind;
        int status;
    } rows[] = {
        {"HTTP/1.1 200 OK\r\n", K::Status, 200},
        {"HTTP/1.0 302\r\nLocation: /oa/", K::Status, 302},
        {"HTTP/1.1 404", K::Status, 404},
        {"HTTP/1.1 503 " + std::string(10240, 'x'), K::Status, 503},
        {"", K::NeedMore, 0},
        {"HTTP/1.1 5", K::NeedMore, 0},
        {"J", K::NotHttp, 0},  // decided by the first byte
        {"HTTP/1.1 600 x", K::NotHttp, 0},
        {"HTTP/1.1 099 x", K::NotHttp, 0},
        {"HTTP/1.1 2000", K::NotHttp, 0},
        {"HTTP/1.1  200", K::NotHttp, 0},
        {"HTTP/2 200 OK", K::NotHttp, 0},
        {withHeader("\n5.0.91\0"s), K::NotHttp, 0},
    };
    for (const auto& r : rows) {
        const HttpAnswer a = ReadHttpAnswer(r.bytes);
        EXPECT_EQ(a.kind, r.kind) << r.bytes.substr(0, 20);
        EXPECT_EQ(a.status, r.status) << r.bytes.substr(0, 20);
    }
}

}  // namespace
}  // namespace unit
