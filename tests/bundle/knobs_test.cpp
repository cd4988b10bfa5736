#include "stub_logic.h"

#include <gtest/gtest.h>

#include <string>

namespace oapanel::stub {
namespace {

using std::chrono::milliseconds;

TEST(Knobs, EmptyOrMissingFileMeansAWellBehavedServer) {
    EXPECT_EQ(parse_knobs(""), Knobs{});
    EXPECT_EQ(parse_knobs("# nothing to change\r\n\r\n"), Knobs{});
}

TEST(Knobs, EveryKeyIsRead) {
    const Knobs k = parse_knobs(
        "register_delay=100\n"
        "register=never\n"
        "start_delay=200\n"
        "start=never\n"
        "crash_after=300\n"
        "stop=refuse\n"
        "stop_delay=400\n");
    EXPECT_EQ(k.register_delay, milliseconds(100));
    EXPECT_TRUE(k.register_never);
    EXPECT_EQ(k.start_delay, milliseconds(200));
    EXPECT_TRUE(k.start_never);
    ASSERT_TRUE(k.crash_after.has_value());
    EXPECT_EQ(*k.crash_after, milliseconds(300));
    EXPECT_TRUE(k.stop_refuse);
    EXPECT_EQ(k.stop_delay, milliseconds(400));
}

TEST(Knobs, CrashAfterZeroIsStillACrash) {
    // Zero must not be confused with "not set": it means die as soon as RUNNING.
    const Knobs k = parse_knobs("crash_after=0");
    ASSERT_TRUE(k.crash_after.has_value());
    EXPECT_EQ(*k.crash_after, milliseconds(0));
}

TEST(Knobs, WindowsEditorsAndSloppyWhitespaceAreTolerated) {
    // A BOM, CRLF endings, blanks around keys, values and '=', tabs, no final newline.
    const Knobs k =
        parse_knobs("\xEF\xBB\xBFstart_delay=1500\r\n  stop_delay =\t250 \r\n\tstop = refuse");
    EXPECT_EQ(k.start_delay, milliseconds(1500));
    EXPECT_EQ(k.stop_delay, milliseconds(250));
    EXPECT_TRUE(k.stop_refuse);
}

TEST(Knobs, KeysAndWordsIgnoreCase) {
    const Knobs k = parse_knobs("Register=Never\r\nSTART=NEVER\r\nStop_Delay=7\r\n");
    EXPECT_TRUE(k.register_never);
    EXPECT_TRUE(k.start_never);
    EXPECT_EQ(k.stop_delay, milliseconds(7));
}

TEST(Knobs, CommentsAreSkippedWholeOrAtLineEnd) {
    const Knobs k = parse_knobs(
        "# start=never\n"
        "   # register=never\n"
        "start_delay=500 # half a second\n"
        "stop=refuse# no blank before the comment\n");
    EXPECT_FALSE(k.start_never);
    EXPECT_FALSE(k.register_never);
    EXPECT_EQ(k.start_delay, milliseconds(500));
    EXPECT_TRUE(k.stop_refuse);
}

TEST(Knobs, BadNumbersLeaveTheDefault) {
    for (const char* bad : {"start_delay=", "start_delay=abc", "start_delay=500ms",
                            "start_delay=-5", "start_delay=1e3", "start_delay=1 2",
                            "start_delay=99999999999999999999", "crash_after=soon"}) {
        const Knobs k = parse_knobs(bad);
        EXPECT_EQ(k, Knobs{}) << bad;
    }
}

TEST(Knobs, ABadLineDoesNotSpoilTheOthers) {
    const Knobs k = parse_knobs("start_delay=oops\nstop_delay=20\nno equals sign\nstart=never\n");
    EXPECT_EQ(k.start_delay, milliseconds(0));
    EXPECT_EQ(k.stop_delay, milliseconds(20));
    EXPECT_TRUE(k.start_never);
}

TEST(Knobs, UnknownKeysAndWordsChangeNothing) {
    EXPECT_EQ(parse_knobs("start=slowly\nstop=always\nregister=maybe\nspeed=9\n"), Knobs{});
    // A key must match whole words, not a prefix.
    EXPECT_EQ(parse_knobs("start_delay_extra=5\nstart_=never\n"), Knobs{});
}

TEST(Knobs, LaterLinesOverrideEarlierOnes) {
    const Knobs k = parse_knobs("stop_delay=10\nstop_delay=30\nstop_delay=bad\n");
    EXPECT_EQ(k.stop_delay, milliseconds(30));
}

TEST(HttpReply, TheApplicationPageIsServedWithAndWithoutTrailingSlash) {
    for (const char* path : {"/oa/", "/oa", "/oa/?x=1"}) {
        const std::string reply = http_reply(std::string("GET ") + path + " HTTP/1.1\r\n\r\n");
        EXPECT_TRUE(reply.starts_with("HTTP/1.0 200 OK\r\n")) << path;
        EXPECT_NE(reply.find("<html>"), std::string::npos) << path;
    }
}

TEST(HttpReply, OtherPathsAreNotFound) {
    for (const char* path : {"/", "/oax", "/oa/index.jsp", "/OA/", "/other/oa/"}) {
        const std::string reply = http_reply(std::string("GET ") + path + " HTTP/1.0\r\n\r\n");
        EXPECT_TRUE(reply.starts_with("HTTP/1.0 404 Not Found\r\n")) << path;
    }
}

TEST(HttpReply, ContentLengthMatchesTheBody) {
    const std::string reply = http_reply("GET /oa/ HTTP/1.1\r\nHost: x\r\n\r\n");
    const auto head_end = reply.find("\r\n\r\n");
    ASSERT_NE(head_end, std::string::npos);
    const std::string body = reply.substr(head_end + 4);
    EXPECT_NE(reply.find("Content-Length: " + std::to_string(body.size()) + "\r\n"),
              std::string::npos);
}

TEST(HttpReply, HeadHasNoBodyAndOddRequestsAreRefused) {
    const std::string head = http_reply("HEAD /oa/ HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(head.starts_with("HTTP/1.0 200 OK\r\n"));
    EXPECT_TRUE(head.ends_with("\r\n\r\n"));
    EXPECT_TRUE(http_reply("POST /oa/ HTTP/1.0\r\n\r\n").starts_with("HTTP/1.0 405 "));
    EXPECT_TRUE(http_reply("garbage").starts_with("HTTP/1.0 400 "));
    EXPECT_TRUE(http_reply("\r\n\r\n").starts_with("HTTP/1.0 400 "));
}

}  // namespace
}  // namespace oapanel::stub

namespace oapanel::stub {
namespace {

TEST(Knobs, APortMustBeAPortNumber) {
    EXPECT_EQ(parse_knobs("port=41234").port, std::optional<std::uint16_t>(41234));
    for (const char* bad : {"port=0", "port=65536", "port=-1", "port=80x", "port="})
        EXPECT_FALSE(parse_knobs(bad).port.has_value()) << bad;
}

}  // namespace
}  // namespace oapanel::stub
