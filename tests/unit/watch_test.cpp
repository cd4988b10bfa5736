// The watch of both services for as long as the panel runs, the tries after a server answered,
// and what the event log says of the time the panel was away: tables over the server rows.
#include <algorithm>
#include <functional>

#include "services/service_history.h"
#include "system/servers.h"
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using oapanel::Server;
using platform::kServiceRunning;
using platform::kServiceStopped;

// "<name>" stands for the server's name, "<ready>" for its ready line after a start by someone
// else, "<last>" for the last error line it wrote before it died.
std::string For(const Server& server, std::string text) {
    const bool db = server.kind == oapanel::ServerKind::Database;
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"<name>", server.name},
          {"<ready>",
           db ? "MySQL 已就绪（5.0.96-fake，用时 0 秒）" : "OA 已就绪（HTTP 200，用时 0 秒）"},
          {"<last>", db ? "[ERROR] Out of memory"
                        : "SEVERE: x；java.lang.OutOfMemoryError: Java heap space"}})
        for (std::size_t at; (at = text.find(from)) != std::string::npos;)
            text.replace(at, from.size(), to);
    return text;
}

// Both servers started by the panel and answering, the window hidden in the tray.
void Ready(Machine& m) {
    m.loadAndAutoStart();
    m.os.ui.advance(2);
    m.os.ui.close(0);
}

TEST_F(PanelTest, TheWatchSaysWhatHappenedToAServiceThatThePanelDidNot) {
    const auto log = [](Machine& m, const Server& s, const std::string& db,
                        const std::string& web) {
        const bool isDb = s.kind == oapanel::ServerKind::Database;
        const std::string folder = isDb ? "D:\\OA\\mysql5\\data" : "D:\\OA\\tomcat6\\logs";
        m.os.filesImpl.existing.insert(folder);
        m.os.filesImpl.content[folder + (isDb ? "\\pc.err" : "\\catalina.2012-01-09.log")] +=
            isDb ? db : web;
    };
    const auto stopped = [](Machine& m, const Server& s) {
        m.os.outside(s.service, kServiceStopped);
        m.os.ui.advance(5);
    };
    const struct {
        std::function<void(Machine&, const Server&)> act;
        std::string lines;  // what the watch adds, "|" between lines
        bool running;       // the server's label after it
        std::function<void(Machine&, const Server&)> before = nullptr;
        double within = 0;      // seconds to the first line where the system tells, else 2
        bool toldOnly = false;  // only a notification can see it
    } cases[] = {
        {[](auto& m, auto& s) { m.os.outside(s.service, kServiceStopped); },
         "<name> 已被其他程序停止", false},
        {[&](auto& m, auto& s) {
             log(m, s, "[ERROR] survived\n[ERROR] Out of memory\n[ERROR] Aborting\n",
                 "SEVERE: survived\nSEVERE: x\njava.lang.OutOfMemoryError: Java heap space\n");
             m.os.outside(s.service, kServiceStopped, 1067);
         },
         "<name> 意外停止：服务已停止（错误 1067：message 1067）|<name> 日志：<last>", false},
        {[](auto& m, auto& s) { m.os.outside(s.service, kServiceStopped, 1066, 1); },
         "<name> 意外停止：服务已停止（服务自身的错误代码 1）", false},
        {[](auto& m, auto& s) {  // stopped and deleted: said once, and no storm of queries after
             m.os.outside(s.service, kServiceStopped);
             m.os.scm.installed.erase(oapanel::UpperCase(s.service));
         },
         "<name> 已被其他程序停止", false},
        {[](auto& m, auto& s) { m.os.outside(s.service, kServiceRunning); },
         "<name> 已被其他程序启动|<ready>", true, stopped},
        // What it logged before someone else started it again is not why it died now.
        {[](auto& m, auto& s) { m.os.outside(s.service, kServiceStopped, 1067); },
         "<name> 意外停止：服务已停止（错误 1067：message 1067）", false,
         [&](auto& m, auto& s) {
             log(m, s, "[ERROR] old\n", "SEVERE: old\n");
             stopped(m, s);
             m.os.outside(s.service, kServiceRunning);
             m.os.ui.advance(5);
         }},
        // Restarted at once after a crash (recovery settings): only the notification saw it.
        {[](auto& m, auto& s) {
             m.os.outside(s.service, kServiceStopped, 1067);
             m.os.outside(s.service, kServiceRunning);
         },
         "<name> 意外停止：服务已停止（错误 1067：message 1067）|<name> 已被其他程序启动|<ready>",
         true, nullptr, 0, true},
        {[](auto& m, auto& s) {  // the panel's own stop, a crash racing it: no news
             m.os.ui.after(0.5, [&] { m.os.scm.find(s.service)->exitCode = 1067; });
             m.click(s.kind == oapanel::ServerKind::Database ? IDC_cmdMysql : IDC_cmdTomcat);
         },
         "停止 <name>...成功", false, nullptr, 10},
    };
    for (const bool notified : {true, false})
        for (const Server& server : oapanel::TheServers())
            for (const auto& c : cases) {
                if (c.toldOnly && !notified) continue;
                Machine m;
                m.os.scm.notifications = notified;
                Ready(m);
                if (c.before) c.before(m, server);
                const int before = m.count();
                const auto balloons = [&] {
                    return std::count_if(m.os.tray.balloons.begin(), m.os.tray.balloons.end(),
                                         [&](auto& b) { return b.title.starts_with(server.name); });
                };
                const auto ballooned = balloons();
                const double at = m.os.clockImpl.monotonic;
                c.act(m, server);
                while (m.count() == before && m.os.clockImpl.monotonic < at + 10)
                    m.os.ui.advance(0.01);
                const double seen = m.os.clockImpl.monotonic - at;
                const std::string connect = "connect " + std::to_string(server.port);
                const int tries = m.os.count(connect);
                m.os.ui.advance(60);
                EXPECT_TRUE(c.running || m.os.count(connect) == tries)
                    << "a stopped server is not asked";
                std::string lines;
                for (const auto& line : m.lines(before)) lines += (lines.empty() ? "" : "|") + line;
                EXPECT_EQ(lines, For(server, c.lines));
                EXPECT_LE(seen, (c.within ? c.within : notified ? 0 : 2) + 0.05) << lines;
                EXPECT_EQ(m.ctl(server.kind == oapanel::ServerKind::Database ? IDC_lblMysql
                                                                             : IDC_lblTomcat)
                              .caption.ends_with("已启动"),
                          c.running);
                // Everything that takes OA down is a balloon in the tray too.
                EXPECT_EQ(balloons() - ballooned, c.lines.find("停止：") != std::string::npos ||
                                                      c.lines.find("程序停止") != std::string::npos)
                    << lines;
                EXPECT_LT(m.os.count("OpenServiceA"), 200) << "no storm of queries";
                m.expectNothingOpen();
            }
}

// Windows takes the requests and never answers them: a look every 30 s finds the first change,
// and from then on that service is looked at every 2 s.
TEST_F(PanelTest, AWatchThatWindowsNeverTellsLooksForItself) {
    os.scm.notifications = os.scm.deaf = true;
    Ready(*this);
    const auto seen = [&](std::uint32_t state) {
        const int before = count();
        const double at = os.clockImpl.monotonic;
        os.outside("Tomcat6Brackwen", state);
        while (count() == before && os.clockImpl.monotonic < at + 60) os.ui.advance(0.1);
        return os.clockImpl.monotonic - at;
    };
    EXPECT_LE(seen(kServiceStopped), 30.1);
    EXPECT_LE(seen(kServiceRunning), 2.1);
}

// A server that answered is asked every 30 s; three misses in a row are said once, the next
// answer too. The tries pause while the panel stops it, not when a start finds it running;
// 10,000 of them leave nothing open.
TEST_F(PanelTest, AServerThatStopsAnsweringIsSaidOnceAndSoIsItsRecovery) {
    const std::string error = std::string("\x11\x00\x00\x01\xFF\x10\x04#08004", 13) + "Too many";
    const struct {
        oapanel::ServerKind kind;
        fake::FakeSockets::Server badly;
        std::string hung;
    } cases[] = {
        {oapanel::ServerKind::Database,
         {[](auto&) { return std::string(); }, 0, 0, true},
         "MySQL 无应答：端口 3307 连续 3 次未应答"},
        {oapanel::ServerKind::Database,
         {[&](auto&) { return error; }},
         "MySQL 无应答：错误 1040：Too many"},
        {oapanel::ServerKind::WebContainer,
         {[](auto&) { return std::string("HTTP/1.1 503 x\r\n"); }},
         "OA 无应答：/oa 连续 3 次返回 HTTP 503"},
        {oapanel::ServerKind::WebContainer,
         {[](auto&) { return std::string(); }, 0, 0, true},
         "OA 无应答：/oa 连续 3 次未应答"},
    };
    for (const auto& c : cases) {
        Machine m;
        Ready(m);
        const Server& server = oapanel::ServerOf(c.kind);
        const bool db = c.kind == oapanel::ServerKind::Database;
        // 启动 OA after the other server stopped: this one's start finds it running, and its
        // tries go on.
        m.click(db ? IDC_cmdTomcat : IDC_cmdMysql), m.click(IDC_cmdOA), m.os.ui.advance(5);
        auto& answers = m.os.net.servers[server.port];
        const auto well = answers;
        answers = c.badly;
        const int before = m.count();
        m.os.ui.advance(80);
        EXPECT_TRUE(m.lines(before).empty()) << "two misses are no hang";
        m.os.ui.advance(200);
        EXPECT_EQ(m.lines(before), std::vector<std::string>{c.hung}) << "said once";
        EXPECT_EQ(m.os.tray.balloons.back().title, c.hung.substr(0, c.hung.find("：")));
        answers = well;
        m.os.ui.advance(31);
        EXPECT_EQ(m.lines(before),
                  (std::vector<std::string>{
                      c.hung, db ? "MySQL 已恢复（5.0.96-fake）" : "OA 已恢复（HTTP 200）"}));
        // Stopped by the panel, it is asked no more until it answers after its next start.
        m.click(db ? IDC_cmdMysql : IDC_cmdTomcat);
        const int tries = m.os.count("connect " + std::to_string(server.port));
        m.os.ui.advance(100);
        EXPECT_EQ(m.os.count("connect " + std::to_string(server.port)), tries);
        m.expectNothingOpen();
    }
    Machine m;
    Ready(m);
    m.os.net.servers[8080] = cases[2].badly;
    int tries = 0;
    for (int i = 0; i < 102; ++i, m.os.record.calls.clear()) {
        m.os.ui.advance(3000);
        tries += m.os.count("connect 8080");
    }
    EXPECT_GE(tries, 10000);
    EXPECT_EQ(m.os.net.openSockets() + m.os.net.startups + m.os.scm.openHandles(), 4u)
        << "only the watch's handles, none of the tries'";
    EXPECT_TRUE(m.os.ui.close(2));  // Windows ends the session
    EXPECT_FALSE(m.os.ui.timersRunning()) << "no timer once the window is gone";
    m.expectNothingOpen();
}

// An EVENTLOGRECORD as the service manager writes it: the head, the source, the computer, then
// the insertion strings; `cut` takes bytes off its end, `length` overrides its length field.
fake::Bytes EventRecord(std::int64_t ago, std::uint32_t id, std::vector<std::u16string> strings,
                        std::u16string source = u"Service Control Manager", int length = -1) {
    fake::Bytes r(56);
    const auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) r[at + i] = std::uint8_t(v >> 8 * i);
    };
    const auto text = [&](const std::u16string& utf16) {
        for (char16_t c : utf16) r.push_back(std::uint8_t(c)), r.push_back(std::uint8_t(c >> 8));
        r.push_back(0), r.push_back(0);
    };
    text(source), text(u"PC");
    put(36, std::uint32_t(r.size()));
    for (const auto& s : strings) text(s);
    put(0, length < 0 ? std::uint32_t(r.size()) : std::uint32_t(length));
    put(12, std::uint32_t(1326087170 - ago)), put(20, 0xC0000000 | id);
    r[26] = std::uint8_t(strings.size());
    return r;
}

// What the service manager recorded while the panel was away: since the last line of the log
// file, else the last day, never more than a week back; records checked before they are read.
TEST_F(PanelTest, TheEventLogSaysWhatHappenedWhileThePanelWasAway) {
    const std::string kTomcat = "上次运行以来 Tomcat 意外停止 ", kSince = "2012-01-09 05:00:00";
    const struct {
        std::vector<fake::Bytes> records;  // newest first
        std::string lastLine;              // of oapanel.log; none: no file
        std::vector<std::string> lines;
    } cases[] = {
        {{EventRecord(1970, 7034, {u"Tomcat6Brackwen"}),
          EventRecord(3600, 7031, {u"Tomcat6Brackwen"}),
          EventRecord(3700, 7023, {u"澜栖数据库 𝄞", u"x"}),
          EventRecord(3800, 7024, {u"澜栖数据库 𝄞"}), EventRecord(3900, 7036, {u"Tomcat6Brackwen"}),
          EventRecord(4000, 7034, {u"Other"}),
          EventRecord(4100, 7034, {u"Tomcat6Brackwen"}, u"Other source"),
          EventRecord(4200, 7034, {})},
         "",
         {"上次运行以来 MySQL 意外停止 2 次，最近一次 2012-01-09 04:31:10",
          kTomcat + "2 次，最近一次 " + kSince}},
        {{EventRecord(1970, 7034, {u"Tomcat6Brackwen"}),
          EventRecord(90000, 7034, {u"Tomcat6Brackwen"})},
         "",
         {kTomcat + "1 次，最近一次 " + kSince}},  // a day back only
        {{EventRecord(1970, 7034, {u"Tomcat6Brackwen"}),
          EventRecord(3600, 7034, {u"Tomcat6Brackwen"})},
         "2012-01-09 04:40:00 - x",
         {kTomcat + "1 次，最近一次 " + kSince}},
        {{EventRecord(8 * 86400, 7034, {u"Tomcat6Brackwen"})}, "2011-12-29 04:40:00 - x", {}},
        {{EventRecord(1970, 7034, {u"Tomcat6Brackwen"}, u"Service Control Manager", 500),
          EventRecord(1980, 7034, {u"Tomcat6Brackwen"})},
         "",
         {}},  // longer than the bytes
        {{EventRecord(1970, 7034, {u"Tomcat6Brackwen"}, u"Service Control Manager", 0)}, "", {}},
        {{fake::Bytes(40, 0xFF)}, "", {}},  // cut short
    };
    for (const auto& c : cases) {
        Machine m;
        for (const char* name : {"Tomcat6Brackwen", "MySQL5Brackwen"})
            m.os.commands.registerService(name, "D:\\OA\\t.exe");
        // Matched by display name, which may be any text: one outside the BMP too.
        m.os.scm.find("MySQL5Brackwen")->config.displayName = "澜栖数据库 𝄞";
        m.os.events.records = c.records;
        if (!c.lastLine.empty())
            m.os.filesImpl.content["D:\\OA\\oapanel.log"] =
                "\xEF\xBB\xBFold\r\n" + c.lastLine + "\r\n";
        ASSERT_FALSE(m.load());
        EXPECT_EQ(m.lines(1), c.lines);
        EXPECT_EQ(m.os.count("CloseEventLog"), 1);
    }
    os.events.readable = false;  // a log that cannot be read says nothing
    ASSERT_FALSE(load());
    EXPECT_EQ(count(), 1);
}

}  // namespace
}  // namespace unit
