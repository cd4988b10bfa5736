#include "panel/activity_log.h"

#include <algorithm>
#include <cstdio>

namespace oapanel {

std::string TimeText(const platform::LocalTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

std::string ActivityLog::GetLogTime() { return TimeText(clock_.localTime()) + " - "; }

LineId ActivityLog::AddLineUnselected(const std::string& text) {
    // Trim before adding so the count never passes the limit, not even for a moment; a line
    // that leaves the list is as final as it gets.
    while (form_.listCount(IDC_lstView) >= kMaxLines) {
        if (written_ == first_) WriteUpTo(first_ + 1);
        form_.listRemoveFirst(IDC_lstView);
        open_.erase(first_++);
    }
    form_.listAdd(IDC_lstView, GetLogTime() + text);
    return first_ + form_.listCount(IDC_lstView) - 1;
}

void ActivityLog::Flush() {
    const LineId end = first_ + form_.listCount(IDC_lstView);
    WriteUpTo(open_.empty() ? end : std::min(end, *open_.begin()));
}

void ActivityLog::FlushAll() { WriteUpTo(first_ + form_.listCount(IDC_lstView)); }

void ActivityLog::WriteUpTo(LineId end) {
    if (!file_) return;
    std::vector<std::string> lines;
    for (; written_ < end; ++written_)
        lines.push_back(form_.listItem(IDC_lstView, Index(written_)));
    const std::string failure = file_->Write(lines);
    // Each reason is said once; the lines wait in memory, and the file gets them when it can
    // be written.
    if (failure.empty() || !said_.insert(failure).second) return;
    AddLineUnselected(failure);
}

LineId ActivityLog::AppendLog(const std::string& text) {
    const LineId line = AddLineUnselected(text);
    SelectLast();
    return line;
}

void ActivityLog::SelectLast() { form_.listSelect(IDC_lstView, form_.listCount(IDC_lstView) - 1); }

void ActivityLog::ExtendLogLine(LineId line, const std::string& suffix) {
    const int i = Index(line);
    if (i < 0 || i >= form_.listCount(IDC_lstView)) return;
    form_.listReplace(IDC_lstView, i, form_.listItem(IDC_lstView, i) + suffix);
}

}  // namespace oapanel
