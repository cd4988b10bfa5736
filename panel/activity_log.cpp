#include "panel/activity_log.h"

#include <algorithm>
#include <cstdio>

namespace oapanel {

std::string ActivityLog::GetLogTime() {
    const platform::LocalTime t = clock_.localTime();
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d - ", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

void ActivityLog::AddLineUnselected(const std::string& text) {
    // Trim before adding so the count never passes the limit, not even for a moment; a line
    // that leaves the list is as final as it gets.
    while (form_.listCount(IDC_lstView) >= kMaxLines) {
        if (written_ == 0) Flush();
        form_.listRemoveFirst(IDC_lstView);
        written_ = std::max(0, written_ - 1);
    }
    form_.listAdd(IDC_lstView, GetLogTime() + text);
}

void ActivityLog::Flush() {
    if (!file_) return;
    const int count = form_.listCount(IDC_lstView);
    std::vector<std::string> lines;
    for (int i = written_; i < count; ++i) lines.push_back(form_.listItem(IDC_lstView, i));
    written_ = count;
    if (file_->Write(lines) || fileFailed_) return;
    // Said once; the lines wait in memory, and the file gets them when it can be written.
    fileFailed_ = true;
    AddLineUnselected("无法写入日志文件：" + file_->path());
}

void ActivityLog::AppendLog(const std::string& text) {
    AddLineUnselected(text);
    SelectLast();
}

void ActivityLog::SelectLast() { form_.listSelect(IDC_lstView, form_.listCount(IDC_lstView) - 1); }

void ActivityLog::ExtendLogLine(const std::string& suffix) {
    const int i = form_.listSelected(IDC_lstView);
    if (i < 0) return;  // nothing selected: no line to extend
    form_.listReplace(IDC_lstView, i, form_.listItem(IDC_lstView, i) + suffix);
}

}  // namespace oapanel
