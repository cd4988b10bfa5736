#include "services/server_log.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <limits>
#include <map>
#include <string_view>
#include <vector>

namespace oapanel {

namespace {

// Whether a file name fits a pattern whose "*" stands for any run of characters, ignoring
// case. On a mismatch only the last star is moved on, so a long name costs no more than
// name times pattern.
bool FitsPattern(const std::string& name, const std::string& pattern) {
    const std::string n = UpperCase(name), p = UpperCase(pattern);
    std::size_t i = 0, j = 0, star = std::string::npos, resume = 0;
    while (i < n.size()) {
        if (j < p.size() && p[j] == '*')
            star = j++, resume = i;
        else if (j < p.size() && p[j] == n[i])
            ++i, ++j;
        else if (star != std::string::npos)
            j = star + 1, i = ++resume;
        else
            return false;
    }
    while (j < p.size() && p[j] == '*') ++j;
    return j == p.size();
}

std::string TrimSpace(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// An option's value as mysqld reads it: surrounding quotes go, a "#" outside them starts a
// comment, "\\" is one backslash and "\s" a blank (how my.ini files spell Windows paths), and
// forward slashes are Windows' backslashes.
std::string OptionValue(const std::string& raw) {
    std::string text = TrimSpace(raw);
    if (!text.empty() && (text[0] == '"' || text[0] == '\'')) {
        text = text.substr(1, text.find(text[0], 1) - 1);
    } else {
        text = TrimSpace(text.substr(0, text.find('#')));
    }
    std::string value;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char next = at + 1 < text.size() ? text[at + 1] : '\0';
        if (text[at] == '\\' && (next == '\\' || next == 's')) {
            value += next == 's' ? ' ' : '\\';
            ++at;
        } else {
            value += text[at] == '/' ? '\\' : text[at];
        }
    }
    return value;
}

bool IsAbsolute(const std::string& path) {
    return (!path.empty() && path[0] == '\\') ||
           (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
            path[1] == ':' && path[2] == '\\');
}

std::string PlaceIn(const std::string& folder, const std::string& path) {
    if (IsAbsolute(path) || folder.empty()) return path;
    return folder.back() == '\\' ? folder + path : folder + "\\" + path;
}

// The options of the server's section, by upper-case name with "_" as "-"; later values win.
std::map<std::string, std::string> ServerOptions(const std::string& ini) {
    std::map<std::string, std::string> options;
    bool inServerSection = false;
    for (std::size_t start = 0; start < ini.size();) {
        const std::size_t end = std::min(ini.find('\n', start), ini.size());
        const std::string line = TrimSpace(ini.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            inServerSection =
                EqualsIgnoringCase(TrimSpace(line.substr(1, line.find(']') - 1)), "mysqld");
        } else if (inServerSection) {
            const std::size_t equals = line.find('=');
            std::string name = UpperCase(TrimSpace(line.substr(0, equals)));
            std::replace(name.begin(), name.end(), '_', '-');
            options[name] = equals == std::string::npos ? "" : OptionValue(line.substr(equals + 1));
        }
    }
    return options;
}

// A dotted Java class name ending in Exception or Error, alone or before ": message".
bool NamesJavaException(const std::string& line) {
    const std::string name = line.substr(0, line.find(':'));
    if (!name.ends_with("Exception") && !name.ends_with("Error")) return false;
    std::size_t parts = 0;
    for (std::size_t start = 0; start <= name.size(); ++parts) {
        const std::size_t end = std::min(name.find('.', start), name.size());
        const std::string_view part(name.data() + start, end - start);
        const auto javaChar = [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
        };
        if (part.empty() || std::isdigit(static_cast<unsigned char>(part[0])) ||
            !std::all_of(part.begin(), part.end(), javaChar))
            return false;
        start = end + 1;
    }
    return parts >= 2;
}

bool IsErrorLine(ServerKind kind, const std::string& line) {
    if (kind == ServerKind::Database)
        return line.find("[ERROR]") != std::string::npos ||
               line.find("InnoDB: Error:") != std::string::npos;
    return line.starts_with("SEVERE:") || line.starts_with("严重:") || line.starts_with("严重：") ||
           ContainsIgnoringCase(line, "[error]");
}

// The lines every failed start ends with, whatever its cause: the database's "Aborting" and
// the service wrapper's "ServiceStart returned 1".
bool IsTrailer(const std::string& line) {
    const std::size_t error = line.find("[ERROR]");
    return (error != std::string::npos && TrimSpace(line.substr(error + 7)) == "Aborting") ||
           ContainsIgnoringCase(line, "ServiceStart returned");
}

// The whole lines of the bytes; a line the span began inside of is no line at all.
std::vector<std::string> WholeLines(const std::string& bytes, bool fromLineStart) {
    std::vector<std::string> lines;
    std::size_t start = fromLineStart ? 0 : bytes.find('\n');
    if (start == std::string::npos) return lines;
    for (start += fromLineStart ? 0 : 1; start < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

bool IsWebContainerLog(const std::string& fileName) {
    for (const char* pattern : {"catalina.*.log", "localhost.*.log", "jakarta_service_*.log",
                                "commons-daemon.*.log", "*stderr*.log"})
        if (FitsPattern(fileName, pattern)) return true;
    return false;
}

bool IsDatabaseErrorLog(const std::string& fileName) { return FitsPattern(fileName, "*.err"); }

DatabaseLogPlaces ReadMysqlIni(const std::string& iniBytes, const std::string& mysqlFolder,
                               const AnsiDecoder& fromAnsi) {
    auto options = ServerOptions(DecodedText(iniBytes, fromAnsi));
    DatabaseLogPlaces places;
    const std::string& dataDir = options["DATADIR"];
    places.dataFolder = PlaceIn(mysqlFolder, dataDir.empty() ? "data" : dataDir);
    while (places.dataFolder.size() > 3 && places.dataFolder.back() == '\\')
        places.dataFolder.pop_back();
    const std::string& errorLog = options["LOG-ERROR"];
    if (errorLog.empty()) return places;
    places.errorLog = PlaceIn(places.dataFolder, errorLog);
    // mysqld gives a name without an extension its own.
    if (errorLog.find('.', errorLog.find_last_of('\\') + 1) == std::string::npos)
        places.errorLog += ".err";
    return places;
}

std::optional<LogSpan> AddedSpan(std::int64_t sizeBefore, std::int64_t sizeNow, std::int64_t cap) {
    if (sizeNow <= 0 || cap <= 0) return std::nullopt;
    // A file shorter than before was replaced during the start: all of it is new.
    const std::int64_t added = sizeBefore > 0 && sizeBefore <= sizeNow ? sizeBefore : 0;
    if (added == sizeNow) return std::nullopt;
    LogSpan span;
    span.offset = std::max(added, sizeNow - cap);
    span.length = sizeNow - span.offset;
    span.fromLineStart = span.offset == added;
    return span;
}

std::optional<std::string> ErrorLine(ServerKind kind, LogPick pick, const std::string& bytes,
                                     bool fromLineStart, const AnsiDecoder& fromAnsi) {
    // Matched on the whole line, cut for showing only afterwards.
    constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();
    const std::vector<std::string> lines = WholeLines(bytes, fromLineStart);
    const bool first = pick == LogPick::Cause;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::size_t i = first ? n : lines.size() - 1 - n;
        std::string line = ShownText(lines[i], fromAnsi, kWhole);
        if (!IsErrorLine(kind, line) || IsTrailer(line)) continue;
        if (kind == ServerKind::WebContainer && i + 1 < lines.size()) {
            const std::string next = ShownText(lines[i + 1], fromAnsi, kWhole);
            if (NamesJavaException(next)) line += "；" + next;
        }
        return ShownText(line, fromAnsi);
    }
    return std::nullopt;
}

}  // namespace oapanel
