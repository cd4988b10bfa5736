// The servers' own logs: where they are, which bytes of them a start added, and the error line
// in those bytes. The logs are written by other programs in the system's ANSI code page (or,
// now and then, UTF-8), so every byte of them is untrusted text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/server_kind.h"
#include "base/text.h"

namespace oapanel {

// The web container's log files in tomcat6\logs, by name (case-insensitive): catalina.*.log,
// localhost.*.log, jakarta_service_*.log, commons-daemon.*.log, *stderr*.log.
bool IsWebContainerLog(const std::string& fileName);
// A database error log found by listing the data folder: *.err (case-insensitive).
bool IsDatabaseErrorLog(const std::string& fileName);

// Where the database writes its errors, from mysql5\my.ini (its bytes; may be absent: empty):
// the [mysqld] section's log-error (also log_error) and datadir, read as mysqld reads them.
// datadir is relative to mysqlFolder unless absolute, by default mysqlFolder + "\\data";
// log-error is relative to the data folder unless absolute, and gets ".err" when it names no
// extension; an empty errorLog means "every *.err file in dataFolder" (also when log-error has
// no value). Absolute: "X:\...", "\\server\..." or a leading backslash.
struct DatabaseLogPlaces {
    std::string errorLog;
    std::string dataFolder;
};
// The bytes are read as the server logs are: UTF-8 where they are, else the system's code page,
// in which an administrator's my.ini is written.
DatabaseLogPlaces ReadMysqlIni(const std::string& iniBytes, const std::string& mysqlFolder,
                               const AnsiDecoder& fromAnsi);

// Which bytes of a log file to read after a start: the file's size when the start began
// (-1: it did not exist) and now (-1: it does not exist now). Only what was added counts; a
// file that got shorter was replaced and is read whole; at most the last `cap` bytes. Nothing
// when nothing was added. fromLineStart says whether the span begins at the start of a line
// (the start of what was added, or of the file): when it does not, the first, partial line of
// the span must not be taken for a whole one.
struct LogSpan {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    bool fromLineStart = true;
};
std::optional<LogSpan> AddedSpan(std::int64_t sizeBefore, std::int64_t sizeNow,
                                 std::int64_t cap = 64 * 1024);

// Which error line tells what happened. A failed start: the first one, since servers end every
// failed start with the same general lines ("[ERROR] Aborting", "Catalina.start"). A server that
// ran for hours and died: the last one, since it logged many errors that it survived.
enum class LogPick { Cause, Final };

// The server's own error line in the bytes read (LF or CRLF lines), as ShownText gives it
// (maxChars 200, "…"). Database: a line containing "[ERROR]" or "InnoDB: Error:". WebContainer:
// a line that begins with "SEVERE:" or "严重:" (also "严重："), or that contains "[error]" (any
// case); when the next line names a Java exception ("java.net.BindException: Address already in
// use: JVM_Bind"), that line is added after "；". The trailers every failure ends with never
// count: "[ERROR] Aborting" and the wrapper's "ServiceStart returned …". Each line is decoded on
// its own with ShownText's rules before it is matched. Nothing when no line matches.
std::optional<std::string> ErrorLine(ServerKind kind, LogPick pick, const std::string& bytes,
                                     bool fromLineStart, const AnsiDecoder& fromAnsi);

}  // namespace oapanel
