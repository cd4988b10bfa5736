#include "panel/messages.h"

#include "panel/activity_log.h"

namespace oapanel {

std::string ReadinessTitle(const Server& server, const ProbeResult& result) {
    return std::string(server.readiness) +
           (result.kind == ProbeResult::Kind::Ready ? " 已就绪" : " 未就绪");
}

std::string ReadinessDetail(const Server& server, const ProbeResult& r) {
    const bool database = server.kind == ServerKind::Database;
    const std::string port = std::to_string(server.port);
    switch (r.kind) {
        case ProbeResult::Kind::Ready:
            return "（" + (database ? r.version : "HTTP " + std::to_string(r.status)) + "，用时 " +
                   std::to_string(r.seconds) + " 秒）";
        case ProbeResult::Kind::ErrorPacket:
            return "错误 " + std::to_string(r.code) + "：" + r.message;
        case ProbeResult::Kind::NotTheServer:
            if (!r.ownerId) return "端口 " + port + " 上的程序不是 " + server.name;
            return "端口 " + port + " 上的程序不是 " + server.name + "（" +
                   (r.ownerExe.empty() ? "" : r.ownerExe + "，") + "进程 " +
                   std::to_string(r.ownerId) + "）";
        case ProbeResult::Kind::NoAnswer:
            if (database) return "端口 " + port + " 60 秒内未应答";
            if (r.status) return "/oa 仍返回 HTTP " + std::to_string(r.status);
            return "300 秒内 /oa 未应答";
    }
    return {};
}

std::string ReadinessLine(const Server& server, const ProbeResult& result) {
    const bool ready = result.kind == ProbeResult::Kind::Ready;
    return ReadinessTitle(server, result) + (ready ? "" : "：") + ReadinessDetail(server, result);
}

std::string ServerLogLine(const Server& server, const std::string& line) {
    return std::string(server.name) + " 日志：" + line;
}

std::string FailureText(const Server& server, const Outcome& outcome) {
    if (outcome.serverLine.empty()) return outcome.reason;
    return outcome.reason + "\n" + ServerLogLine(server, outcome.serverLine);
}

std::string SystemLine(bool starting, bool ok) {
    return std::string(starting ? "启动" : "停止") + " 澜栖OA..." + (ok ? "成功" : "失败");
}

std::string ChangeLine(const Server& server, WatchChange change, const std::string& reason) {
    switch (change) {
        case WatchChange::StoppedByOther:
            return std::string(server.name) + " 已被其他程序停止";
        case WatchChange::Died:
            return std::string(server.name) + " 意外停止：" + reason;
        case WatchChange::StartedByOther:
            return std::string(server.name) + " 已被其他程序启动";
    }
    return {};
}

std::string HangLine(const Server& server, const ProbeResult& last) {
    const std::string title = std::string(server.readiness) + " 无应答：";
    const std::string times = " 连续 3 次";
    if (server.kind == ServerKind::Database) {
        if (last.kind == ProbeResult::Kind::ErrorPacket)
            return title + "错误 " + std::to_string(last.code) + "：" + last.message;
        return title + "端口 " + std::to_string(server.port) + times + "未应答";
    }
    if (last.status) return title + "/oa" + times + "返回 HTTP " + std::to_string(last.status);
    return title + "/oa" + times + "未应答";
}

std::string RecoveryLine(const Server& server, const ProbeResult& result) {
    const bool database = server.kind == ServerKind::Database;
    return std::string(server.readiness) + " 已恢复（" +
           (database ? result.version : "HTTP " + std::to_string(result.status)) + "）";
}

std::string HistoryLine(const Server& server, int times, const platform::LocalTime& t) {
    return std::string("上次运行以来 ") + server.name + " 意外停止 " + std::to_string(times) +
           " 次，最近一次 " + TimeText(t);
}

std::pair<std::string, std::string> SplitAtColon(const std::string& line) {
    const std::size_t colon = line.find("：");
    if (colon == std::string::npos) return {line, {}};
    return {line.substr(0, colon), line.substr(colon + std::string("：").size())};
}

std::string RemovalLine(const Server& server, bool deleting) {
    return (deleting ? "删除 " : "正在停止 ") + std::string(server.name) + " 服务";
}

}  // namespace oapanel
