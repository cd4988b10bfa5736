// The words the panel shows and writes, each kind of message in one place, put together from
// what the engine and the operations found. Every text here is the panel's, as users know it.
#pragma once

#include <string>

#include "net/readiness.h"
#include "services/service_control.h"
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

}  // namespace oapanel
