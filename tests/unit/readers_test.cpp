// The readers of what comes from outside: the servers' first answers on their ports, their own
// logs, and the database's my.ini.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "net/probe_answers.h"
#include "services/server_log.h"
#include "tests/fake/fake.h"

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
    // the bytes that came, what they are, the version or the error's message, the error's code
    const std::tuple<std::string, K, std::string, int> rows[] = {
        {greeting, K::Greeting, "5.0.91-community", 0},
        {greeting + "more", K::Greeting, "5.0.91-community", 0},  // the next packet is not read
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
        {withHeader("\t5.0.91\0"s + std::string(40, '\x01')), K::NotMysql, "", 0},  // protocol 9
        {withHeader("\x0A" + std::string(101, '5') + '\0'), K::NotMysql, "", 0},
        {withHeader("\x0A" + std::string(100, '5') + '\0'), K::Greeting, std::string(100, '5'), 0},
        {packet(std::string(300, ' ')) + "\n5.0\x7F", K::NotMysql, "", 0},  // before the end
    };
    for (const auto& [bytes, kind, versionOrMessage, code] : rows) {
        const MysqlAnswer a = ReadMysqlAnswer(bytes);
        EXPECT_EQ(a.kind, kind) << bytes.substr(0, 40);
        EXPECT_EQ(a.kind == K::Error ? a.message : a.version, versionOrMessage);
        EXPECT_EQ(a.code, code);
        // Arriving a byte at a time, a ready answer is ready only with its last byte.
        const std::size_t whole = 4 + std::uint8_t(bytes[0]) + 256 * std::uint8_t(bytes[1]);
        for (std::size_t n = 0; kind != K::NotMysql && n < std::min(whole, bytes.size()); ++n)
            ASSERT_EQ(ReadMysqlAnswer(bytes.substr(0, n)).kind, K::NeedMore) << n;
    }
}

TEST(ReadersTest, HttpStatusLine) {
    using K = HttpAnswer::Kind;
    const std::pair<std::string, int> statuses[] = {
        {"HTTP/1.1 200 OK\r\n", 200},
        {"HTTP/1.0 302\r\nLocation: /oa/", 302},
        {"HTTP/1.1 404", 404},
        {"HTTP/1.1 503 " + std::string(10240, 'x'), 503}};
    for (const auto& [bytes, status] : statuses)
        EXPECT_TRUE(ReadHttpAnswer(bytes).kind == K::Status &&
                    ReadHttpAnswer(bytes).status == status)
            << bytes.substr(0, 20);
    // Not HTTP as soon as a byte cannot continue a status line: one "J" is enough.
    for (const std::string& bytes : {"J"s, "HTTP/1.1 600 x"s, "HTTP/1.1 099 x"s, "HTTP/1.1 2000"s,
                                     "HTTP/1.1  200"s, "HTTP/2 200 OK"s, withHeader("\n5.0.91\0"s)})
        EXPECT_TRUE(ReadHttpAnswer(bytes).kind == K::NotHttp && ReadHttpAnswer(bytes).status == 0)
            << bytes;
    for (const char* bytes : {"", "HTTP/1.1 5"})
        EXPECT_TRUE(ReadHttpAnswer(bytes).kind == K::NeedMore && ReadHttpAnswer(bytes).status == 0);
}

TEST(ReadersTest, TheServersErrorLineInWhatTheStartAddedAndWhereTheDatabaseWritesIt) {
    const auto gbk = [](const std::string& utf8) { return fake::FakeCodec().toAnsi(utf8); };
    const AnsiDecoder fromAnsi = [](const std::string& s) { return fake::FakeCodec().fromAnsi(s); };
    using S = ServerKind;
    const std::string oldError = "120301 9:00:00 [ERROR] Can't start server: Bind on TCP/IP\n";
    const std::string x70k(70 * 1024, 'x');
    // A start's cause is its first error; a death's, the last one before it.
    const LogPick C = LogPick::Cause, F = LogPick::Final;
    using Text = std::optional<std::string>;
    // the log before the start (none: no file) and now, the line shown (none: nothing)
    const std::tuple<S, LogPick, Text, std::string, Text> rows[] = {
        {S::Database, C, oldError, oldError + "120304 10:00:00 [Note] ready\n", std::nullopt},
        {S::Database, C, oldError,
         oldError + "2 [ERROR] Can't start server\r\n2 [ERROR] Aborting\r\n",
         "2 [ERROR] Can't start server"},
        {S::Database, C, "", "InnoDB: Error: log file size\n3 [ERROR] x\n",
         "InnoDB: Error: log file size"},
        {S::Database, F, "", "1 [ERROR] survived\n2 [ERROR] Out of memory\n3 [ERROR] Aborting\n",
         "2 [ERROR] Out of memory"},
        {S::WebContainer, C, "", "[error] Failed creating java\n[error] x\n",
         "[error] Failed creating java"},
        {S::Database, C, oldError + oldError, "[ERROR] new", "[ERROR] new"},  // replaced
        {S::WebContainer, C, std::nullopt,
         gbk("2012-3-4 Http11Protocol init\n  严重: 端口已占用\n"), "严重: 端口已占用"},
        {S::WebContainer, C, "", gbk("严重：初始化失败\n"), "严重：初始化失败"},
        {S::WebContainer, C, "", "严重: 端口\xEF\xBF\xBD占用\n", "严重: 端口?占用"},  // UTF-8
        {S::Database, C, "", "[ERROR]\tbell\x07\x7F \xFF \x81\x20x\r", "[ERROR] bell?? ? ? x"},
        {S::Database, C, "", "[ERROR] " + std::string(300, 'y'),
         "[ERROR] " + std::string(192, 'y') + "…"},
        // Cut: no whole line.
        {S::Database, C, "", std::string(100 * 1024, 'y') + " [ERROR]", std::nullopt},
        {S::Database, C, "", x70k + " [ERROR] cut\n[Note] ok\n", std::nullopt},
        {S::Database, C, "", x70k + "\n[ERROR] late\n", "[ERROR] late"},
        {S::WebContainer, C, "",
         "SEVERE: Error initializing endpoint\r\njava.net.BindException: Address in use\r\n"
         "\tat x.init(X.java:509)\r\nSEVERE: Catalina.start: \r\norg.x.LifecycleException: x\r\n",
         "SEVERE: Error initializing endpoint；java.net.BindException: Address in use"},
        {S::WebContainer, F, "",
         "SEVERE: y\nSEVERE: x\njava.lang.OutOfMemoryError\n[error] ServiceStart returned 1\n",
         "SEVERE: x；java.lang.OutOfMemoryError"},
        {S::WebContainer, C, "", "SEVERE: x\nSomeError: not dotted\n", "SEVERE: x"},
        {S::WebContainer, C, "", "[Error] Failed creating jvm\nINFO: x\n",
         "[Error] Failed creating jvm"},
        {S::WebContainer, C, "", "INFO: SEVERE: no\n", std::nullopt},
    };
    for (const auto& [kind, pick, before, now, shown] : rows) {
        const auto span = AddedSpan(before ? std::int64_t(before->size()) : -1, now.size());
        const auto line = span ? ErrorLine(kind, pick, now.substr(span->offset, span->length),
                                           span->fromLineStart, fromAnsi)
                               : std::nullopt;
        EXPECT_EQ(line, shown) << now.substr(0, 60);
    }
    EXPECT_EQ(AddedSpan(10, -1), std::nullopt) << "a log that is gone now";

    // my.ini, the error log and the data folder it gives
    const std::tuple<std::string, std::string, std::string> inis[] = {
        {"", "", "D:\\OA\\mysql5\\data"},
        {"[mysqld]\ndatadir=mydata\nlog-error=logs/mysql\n",
         "D:\\OA\\mysql5\\mydata\\logs\\mysql.err", "D:\\OA\\mysql5\\mydata"},
        {"[client]\nDataDir=C:/x\n[ MySQLd ]\n# log-error=C:/no.err\nLog_Error = "
         "\"C:\\\\my\\slogs\\\\a.err\" # old\ndatadir='E:/db/'\n",
         "C:\\my logs\\a.err", "E:\\db"},
        {"[mysqld]\r\nlog-error=a.err\r\nlog-error\r\n", "", "D:\\OA\\mysql5\\data"},
        {"[mysqld]\nlog_error=//srv/logs/db.err\ndatadir=\\db\n", "\\\\srv\\logs\\db.err", "\\db"},
        {gbk("[mysqld]\ndatadir=E:/数据库/data\n"), "", "E:\\数据库\\data"},  // the code page
    };
    for (const auto& [ini, errorLog, dataFolder] : inis) {
        const DatabaseLogPlaces places = ReadMysqlIni(ini, "D:\\OA\\mysql5", fromAnsi);
        EXPECT_EQ(places.errorLog + "|" + places.dataFolder, errorLog + "|" + dataFolder) << ini;
    }
    EXPECT_TRUE(IsWebContainerLog("Catalina.2012-03-04.log") &&
                IsWebContainerLog("tomcat6-stderr.2012-03-04.log") &&
                IsWebContainerLog("jakarta_service_20120304.log") &&
                IsDatabaseErrorLog("PC-01.ERR"));
    EXPECT_FALSE(IsWebContainerLog("catalina.log") || IsWebContainerLog("access.2012.log.txt") ||
                 IsDatabaseErrorLog("my.err.bak"));
}

}  // namespace
}  // namespace unit
