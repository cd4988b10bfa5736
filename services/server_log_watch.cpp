#include "services/server_log_watch.h"

#include <algorithm>

namespace oapanel {

namespace {

constexpr std::size_t kIniLimit = 64 * 1024;  // a my.ini is a few KB; more is not a my.ini

// Another file under the same name. The index decides: Windows hands a file made under a
// just-deleted name the old one's creation time, and Wine gives the time of the last change
// as the creation time. Only where the system gives no index (0) does the creation time tell.
bool Replaced(const platform::FileIdentity& was, const platform::FileIdentity& now) {
    if (was.index && now.index) return was.index != now.index;
    return was.created && now.created && was.created != now.created;
}

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
    for (const auto& path : Candidates()) before_[path] = Note(path);
}

ServerLogWatch::Noted ServerLogWatch::Note(const std::string& path) {
    Noted noted{files_.fileSize(path), {}};
    if (!files_.fileIdentity(path, noted.identity)) noted.identity = {};
    return noted;
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
        const Noted now = Note(path);
        // A file replaced during the start is new from its first byte, however long it grew.
        const bool same = was != before_.end() && !Replaced(was->second.identity, now.identity);
        const auto span = AddedSpan(same ? was->second.size : -1, now.size);
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
