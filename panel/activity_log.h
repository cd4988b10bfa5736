// The activity log: the lines of the list box lstView, each with its time prefix.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "panel/form.h"
#include "panel/log_file.h"
#include "platform/platform.h"

namespace oapanel {

// A time as the log shows it: 2012-01-09 05:32:50.
std::string TimeText(const platform::LocalTime& t);

// Names one line for as long as it is in the list, however many older lines leave it.
using LineId = std::int64_t;

class ActivityLog {
public:
    // A list box index is 16-bit signed, so the log holds at most this many lines.
    static constexpr int kMaxLines = 32767;

    ActivityLog(Form& form, platform::Clock& clock) : form_(form), clock_(clock) {}

    // "YYYY-MM-DD HH:mm:SS - " for the current local time.
    std::string GetLogTime();
    // Adds prefix & text as the last line and selects it. At the limit the oldest line goes.
    LineId AppendLog(const std::string& text);
    // Adds a line without moving the selection (for writers that select later, or never).
    LineId AddLineUnselected(const std::string& text);
    // Appends suffix to that line, wherever the selection is; nothing once it left the list.
    void ExtendLogLine(LineId line, const std::string& suffix);
    // Selects the newest line.
    void SelectLast();

    // An operation may still extend the line: it, and every line after it, waits for the
    // file until Close says it is final.
    void HoldOpen(LineId line) { open_.insert(line); }
    void Close(LineId line) { open_.erase(line); }

    // From now on every line also goes to this file, once it reads as it will stay.
    void KeepIn(platform::Files& files, const std::string& path) { file_.emplace(files, path); }
    // Writes the final lines not written yet.
    void Flush();
    // Writes every line as it is: the program ends, and what the window shows is all there is.
    void FlushAll();

private:
    int Index(LineId line) const { return static_cast<int>(line - first_); }
    void WriteUpTo(LineId end);

    Form& form_;
    platform::Clock& clock_;
    std::optional<LogFile> file_;
    LineId first_ = 0;    // the line at the top of the list
    LineId written_ = 0;  // the first line not in the file yet
    std::set<LineId> open_;
    std::set<std::string> said_;  // why the file could not be written
};

}  // namespace oapanel
