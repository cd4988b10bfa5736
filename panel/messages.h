// The words the panel shows and writes, each kind of message in one place, put together from
// what the engine and the operations found. Every text here is the panel's, as users know it.
#pragma once

#include <string>
#include <utility>

#include "net/readiness.h"
#include "services/service_control.h"
#include "system/oa_system.h"
#include "system/servers.h"

namespace oapanel {

// "MySQL 已就绪", "OA 未就绪": what a readiness check found, as a title.
std::string ReadinessTitle(const Server& server, const ProbeResult& result);
// What follows the title: "（5.0.96，用时 1 秒）", or the reason a check gave up.
std::string ReadinessDetail(const Server& server, const ProbeResult& result);
// The whole line: "MySQL 已就绪（5.0.96，用时 1 秒）", "OA 未就绪：/oa 仍返回 HTTP 404".
std::string ReadinessLine(const Server& server, const ProbeResult& result);
// "Tomcat 日志：…": the server's own error line.
std::string ServerLogLine(const Server& server, const std::string& line);
// A failure's balloon: its reason, and the server's own line under it.
std::string FailureText(const Server& server, const Outcome& outcome);
// "启动 澜栖OA...成功", "停止 澜栖OA...失败".
std::string SystemLine(bool starting, bool ok);
// "正在停止 Tomcat 服务", "删除 Tomcat 服务".
std::string RemovalLine(const Server& server, bool deleting);
// "Tomcat 已被其他程序停止", "Tomcat 意外停止：服务已停止（…）", "Tomcat 已被其他程序启动".
std::string ChangeLine(const Server& server, WatchChange change, const std::string& reason);
// "OA 无应答：/oa 连续 3 次未应答", "MySQL 无应答：错误 1040：Too many connections".
std::string HangLine(const Server& server, const ProbeResult& last);
// "OA 已恢复（HTTP 200）", "MySQL 已恢复（5.0.96）".
std::string RecoveryLine(const Server& server, const ProbeResult& result);
// "上次运行以来 Tomcat 意外停止 2 次，最近一次 2026-12-07 03:12:45".
std::string HistoryLine(const Server& server, int times, const platform::LocalTime& latest);
// A balloon's title and text from a line: up to its "：" and after it.
std::pair<std::string, std::string> SplitAtColon(const std::string& line);

}  // namespace oapanel
