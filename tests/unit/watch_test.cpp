// The watch of both services for as long as the panel runs, the tries after a server answered,
// and what the event log says of the time the panel was away: tables over the server rows.
#include <algorithm>
#include <functional>

#include "services/service_history.h"
#include "system/servers.h"
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using platform::kServiceRunning;
using platform::kServiceStopped;
using oapanel::Server;

// "<name>" stands for the server's name, "<ready>" for its ready line after a start by someone
// else, "<last>" for the last error line it wrote before it died.
std::string For(const Server& server, std::string text) {
    const bool db = server.kind == oapanel::ServerKind::Database;
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"<name>", server.name},
          {"<ready>", db ? "MySQL 已就绪（5.0.96-fake，用时 0 秒）" : "OA 已就绪（HTTP 200，用时 0 秒）"},
         {"<last>", db ? "[ERROR] Out of memory"
                       : "SEVERE: x；java.lang.OutOfMemoryError: Java heap space"}})
        for (std::size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
    return text;
}

// Both servers started by the panel and answering, the window hidden in the tray.
void Ready(Machine& m) {
    m.loadAndAutoStart();
    m.os.ui.advance(2);
    m.os.ui.close(0);
}

TEST_F(PanelTest, TheWatchSaysWhatHappenedToAServiceThatThePanelDidNot) {
    const auto log = [](Machine& m, const Server& s, const std::string& db, const std::string& web) {
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
        double within = 0;  // seconds to the first line where the system tells, else 2
    } cases[] = {
        {[](auto& m, auto& s) { m.os.outside(s.service, kServiceStopped); }, "<name> 已被其他程序停止",
         false},
        {[&](auto& m, auto& s) {
             log(m, s, "[ERROR] survived\n[ERROR] Out of memory\n[ERROR] Aborting\n",
                 "SEVERE: survived\nSEVERE: x\njava.lang.OutOfMemoryError: Java heap space\n");
             m.os.outside(s.service, kServiceStopped, 1067);
         },
         "<name> 意外停止：服务已停止（错误 1067：message 1067）|<name> 日志：<last>", false},
        {[](auto& m, auto& s) { m.os.outside(s.service, kServiceStopped, 1066, 1); },
         "<name> 意外停止：服务已停止（服务自身的错误代码 1）", false},
        {[](auto& m, auto& s) { m.os.scm.installed.erase(oapanel::UpperCase(s.service)); },
         "<name> 已被其他程序停止", false, nullptr, 2},
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
        {[](auto& m, auto& s) {  // the panel's own stop, a crash racing it: no news
             m.os.ui.after(0.5, [&] { m.os.scm.find(s.service)->exitCode = 1067; });
             m.click(s.kind == oapanel::ServerKind::Database ? IDC_cmdMysql : IDC_cmdTomcat);
         },
         "停止 <name>...成功", false, nullptr, 10},
    };
    for (const bool notified : {true, false})
        for (const Server& server : oapanel::TheServers())
            for (const auto& c : cases) {
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
                while (m.count() == before && m.os.clockImpl.monotonic < at + 10) m.os.ui.advance(0.01);
                const double seen = m.os.clockImpl.monotonic - at;
                m.os.ui.advance(60);
                std::string lines;
                for (const auto& line : m.lines(before)) lines += (lines.empty() ? "" : "|") + line;
                EXPECT_EQ(lines, For(server, c.lines));
                EXPECT_LE(seen, (c.within ? c.within : notified ? 0 : 2) + 0.05) << lines;
                EXPECT_EQ(m.ctl(server.kind == oapanel::ServerKind::Database ? IDC_lblMysql
                                                                            : IDC_lblTomcat)
                              .caption.ends_with("已启动"),
                          c.running);
                // Everything that takes OA down is a balloon in the tray too.
                EXPECT_EQ(balloons() - ballooned, !c.running && !c.lines.starts_with("停止")) << lines;
                EXPECT_LT(m.os.count("OpenServiceA"), 200) << "no storm of queries";
                m.expectNothingOpen();
            }
}

}  // namespace
}  // namespace unit
