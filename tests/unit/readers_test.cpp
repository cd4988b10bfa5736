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
        {withHeader("\x09"
                    "5.0.91\0"s +
                    std::string(40, '\x01')),
         K::NotMysql, "", 0},  // protocol 9
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

TEST(ReadersTest, TheServersErrorLineInWhatTheStartAddedAndWhereTheDatabaseWritesIt) {
    const auto gbk = [](const std::string& utf8) { return fake::FakeCodec().toAnsi(utf8); };
    const AnsiDecoder fromAnsi = [](const std::string& s) { return fake::FakeCodec().fromAnsi(s); };
    using S = ServerKind;
    const std::string oldError = "120301 9:00:00 [ERROR] Can't start server: Bind on TCP/IP\n";
    const std::string x70k(70 * 1024, 'x');
    const struct {
        S kind;
        std::optional<std::string> before;  // none: no file when the start began
        std::string now;
        std::optional<std::string> shown;
        LogPick pick = LogPick::Cause;  // the first error of a start, the last before a death
    } rows[] = {
        {S::Database, oldError, oldError + "120304 10:00:00 [Note] ready\n", std::nullopt},
        {S::Database, oldError,
         oldError +
             "2 [ERROR] Can't start server: Bind on TCP/IP port\r\n2 [ERROR] Do you already "
             "have another mysqld server running on port: 3307 ?\r\n2 [ERROR] Aborting\r\n\r\n"
             "2 [Note] mysqld2: Shutdown complete\r\n",
         "2 [ERROR] Can't start server: Bind on TCP/IP port"},
        {S::Database, "",
         "InnoDB: Error: log file .\\ib_logfile0 is of different size 0 5242880 bytes\nInnoDB: "
         "than "
         "specified in the .cnf file 0 10485760 bytes!\n3 [ERROR] Aborting\n\n3 [Note] Shutdown\n",
         "InnoDB: Error: log file .\\ib_logfile0 is of different size 0 5242880 bytes"},
        {S::Database, "", "1 [ERROR] survived\n2 [ERROR] Out of memory\n3 [ERROR] Aborting\n",
         "2 [ERROR] Out of memory", LogPick::Final},
        {S::WebContainer, "",
         "[2012-03-04] [error] Failed creating java C:\\jre\\jvm.dll\n[2012-03-04] [error] The "
         "system cannot find the path specified.\n[2012-03-04] [error] ServiceStart returned 1\n",
         "[2012-03-04] [error] Failed creating java C:\\jre\\jvm.dll"},
        {S::Database, oldError + oldError, "[ERROR] new", "[ERROR] new"},  // replaced
        {S::WebContainer, std::nullopt, gbk("2012-3-4 Http11Protocol init\n  严重: 端口已占用\n"),
         "严重: 端口已占用"},
        {S::WebContainer, "", gbk("严重：初始化失败\n"), "严重：初始化失败"},
        {S::WebContainer, "", "严重: 端口\xEF\xBF\xBD占用\n", "严重: 端口?占用"},  // UTF-8
        {S::Database, "", "[ERROR]\tbell\x07\x7F \xFF \x81\x20x\r", "[ERROR] bell?? ? ? x"},
        {S::Database, "", "[ERROR] " + std::string(300, 'y'),
         "[ERROR] " + std::string(192, 'y') + "…"},
        {S::Database, "", std::string(100 * 1024, 'y') + " [ERROR]", std::nullopt},  // cut, no line
        {S::Database, "", x70k + " [ERROR] cut\n[Note] ok\n", std::nullopt},
        {S::Database, "", x70k + "\n[ERROR] late\n", "[ERROR] late"},
        {S::WebContainer, "",
         "SEVERE: Error initializing endpoint\r\njava.net.BindException: Address already in use: "
         "JVM_Bind\r\n\tat org.apache.tomcat.util.net.JIoEndpoint.init(JIoEndpoint.java:509)\r\n"
         "SEVERE: Catalina.start: \r\norg.apache.catalina.LifecycleException: start failed\r\n",
         "SEVERE: Error initializing endpoint；java.net.BindException: Address already in use: "
         "JVM_Bind"},
        {S::WebContainer, "", "SEVERE: y\nSEVERE: x\njava.lang.OutOfMemoryError\n",
         "SEVERE: x；java.lang.OutOfMemoryError", LogPick::Final},
        {S::WebContainer, "", "SEVERE: x\nSomeError: not dotted\n", "SEVERE: x"},
        {S::WebContainer, "", "[2012-03-04] [Error] Failed creating jvm\nINFO: x\n",
         "[2012-03-04] [Error] Failed creating jvm"},
        {S::WebContainer, "", "INFO: SEVERE: no\n", std::nullopt},
    };
    for (const auto& r : rows) {
        const auto span = AddedSpan(r.before ? std::int64_t(r.before->size()) : -1, r.now.size());
        const auto line = span ? ErrorLine(r.kind, r.pick, r.now.substr(span->offset, span->length),
                                           span->fromLineStart, fromAnsi)
                               : std::nullopt;
        EXPECT_EQ(line, r.shown) << r.now.substr(0, 60);
    }
    EXPECT_EQ(AddedSpan(10, -1), std::nullopt) << "a log that is gone now";

    const struct {
        std::string ini, errorLog, dataFolder;
    } inis[] = {
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
    for (const auto& r : inis) {
        const DatabaseLogPlaces places = ReadMysqlIni(r.ini, "D:\\OA\\mysql5", fromAnsi);
        EXPECT_EQ(places.errorLog + "|" + places.dataFolder, r.errorLog + "|" + r.dataFolder)
            << r.ini;
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
