// The activity log: the lines of the list box lstView, each with its time prefix.
#pragma once

#include <optional>
#include <string>

#include "panel/form.h"
#include "panel/log_file.h"
#include "platform/platform.h"

namespace oapanel {

class ActivityLog {
public:
    // A list box index is 16-bit signed, so the log holds at most this many lines.
    static constexpr int kMaxLines = 32767;

    ActivityLog(Form& form, platform::Clock& clock) : form_(form), clock_(clock) {}

    // "YYYY-MM-DD HH:mm:SS - " for the current local time.
    std::string GetLogTime();
    // Adds prefix & text as the last line and selects it. At the limit the oldest line goes.
    void AppendLog(const std::string& text);
    // Adds a line without moving the selection (for writers that select later, or never).
    void AddLineUnselected(const std::string& text);
    // Appends suffix to the selected line: the user's pick, if they clicked an older one.
    void ExtendLogLine(const std::string& suffix);
    // Selects the newest line.
    void SelectLast();

    // From now on every line also goes to this file, once Flush says it reads as it will stay.
    void KeepIn(platform::Files& files, const std::string& path) { file_.emplace(files, path); }
    // Writes the lines not written yet. Called when no operation is under way any more.
    void Flush();

private:
    Form& form_;
    platform::Clock& clock_;
    std::optional<LogFile> file_;
    int written_ = 0;  // lines at the top of the list already in the file
    bool fileFailed_ = false;
};

}  // namespace oapanel
