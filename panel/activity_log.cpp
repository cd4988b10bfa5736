#include "panel/activity_log.h"

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
    // Trim before adding so the count never passes the limit, not even for a moment.
    while (form_.listCount(IDC_lstView) >= kMaxLines) form_.listRemoveFirst(IDC_lstView);
    form_.listAdd(IDC_lstView, GetLogTime() + text);
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
