#include "services/server_log_watch.h"

#include <algorithm>

namespace oapanel {

namespace {
constexpr std::size_t kIniLimit = 64 * 1024;  // a my.ini is a few KB; more is not a my.ini
}  // namespace

ServerLogWatch::ServerLogWatch(platform::Files& files, ServerKind kind, const std::string& appPath,
                               const AnsiDecoder& fromAnsi)
    : files_(files), kind_(kind) {
    if (kind == ServerKind::WebContainer) {
        folder_ = appPath + "\\tomcat6\\logs";
    } else {
        const std::string mysql = appPath + "\\mysql5";
        std::string ini;
        if (!files.readFile(mysql + "\\my.ini", 0, kIniLimit, ini)) ini.clear();
        const DatabaseLogPlaces places = ReadMysqlIni(ini, mysql, fromAnsi);
        folder_ = places.dataFolder;
        single_ = places.errorLog;
    }
    for (const auto& path : Candidates()) before_[path] = files_.fileSize(path);
}

std::vector<std::string> ServerLogWatch::Candidates() {
    if (!single_.empty()) return {single_};
    std::vector<std::string> names, paths;
    if (!files_.listFolder(folder_, names)) return {};
    std::sort(names.begin(), names.end());
    for (const auto& name : names)
        if (kind_ == ServerKind::WebContainer ? IsWebContainerLog(name) : IsDatabaseErrorLog(name))
            paths.push_back(folder_ + "\\" + name);
    return paths;
}

std::optional<std::string> ServerLogWatch::ErrorLine(LogPick pick, const AnsiDecoder& fromAnsi) {
    for (const auto& path : Candidates()) {
        const auto was = before_.find(path);
        const auto span = AddedSpan(was == before_.end() ? -1 : was->second, files_.fileSize(path));
        std::string bytes;
        if (!span ||
            !files_.readFile(path, span->offset, static_cast<std::size_t>(span->length), bytes))
            continue;
        if (auto line = oapanel::ErrorLine(kind_, pick, bytes, span->fromLineStart, fromAnsi))
            return line;
    }
    return std::nullopt;
}

}  // namespace oapanel
