// oadriver: looks at and pokes a running oapanel from outside, the way a person at the screen
// would, so the end-to-end scripts can check what the panel shows. It runs as its own Windows
// process under the panel's wineserver and only uses window messages, never the panel's code.
//
//   oadriver [--timeout SECONDS] [--poll MS] COMMAND [ARGS...] [+ COMMAND [ARGS...]]...
//
// Output is UTF-8, one item per line. Exit code 0 ok, 1 failed or timed out, 2 usage. Each
// command that waits gets the whole timeout.
#include "tests/e2e/driver.h"

#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "resources/resource.h"

namespace oadriver {

DWORD gPollMs = 100;

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kAppTitle[] = L"oapanel";
constexpr int kMessageBoxTextId = 0xFFFF;

// CommandLineToArgvW hands back one LocalAlloc block that we own.
struct LocalFreeDeleter {
    void operator()(void* p) const { LocalFree(p); }
};
using ArgvBlock = std::unique_ptr<LPWSTR, LocalFreeDeleter>;

// Raw bytes: the scripts read our stdout through a Linux pipe, so no console conversion.
void writeTo(DWORD stdHandle, std::string_view bytes) {
    DWORD written = 0;
    WriteFile(GetStdHandle(stdHandle), bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

int usage(std::wstring_view why);  // lists the commands, so it lives after their table

// Visible ones first: a hidden main window (say, in the tray) only counts when asked for.
std::vector<HWND> mainWindows(bool visibleOnly) {
    std::vector<HWND> shown, hidden;
    for (HWND w : topLevelWindows())
        if (classOf(w) == kMainClass) (IsWindowVisible(w) ? shown : hidden).push_back(w);
    if (!visibleOnly) shown.insert(shown.end(), hidden.begin(), hidden.end());
    return shown;
}

std::optional<HWND> messageBox(const Deadline& d) {
    for (HWND w : topLevelWindows())
        if (IsWindowVisible(w) && classOf(w) == kDialogClass && textOf(d, w) == kAppTitle) return w;
    return std::nullopt;
}

std::optional<int> parseId(std::wstring_view s) {
    auto digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
    if (s.empty() || s.size() > 5 || !std::all_of(s.begin(), s.end(), digit)) return {};
    int id = std::stoi(std::wstring(s));
    return id > 0 && id <= 0xFFFF ? std::optional(id) : std::nullopt;
}

std::optional<std::vector<std::wstring>> listLines(const Deadline& d, HWND list) {
    auto count = send(d, list, LB_GETCOUNT);
    if (!count || *count == LB_ERR) return std::nullopt;
    std::vector<std::wstring> lines;
    for (WPARAM i = 0; i < WPARAM(*count); ++i) {
        auto len = send(d, list, LB_GETTEXTLEN, i);
        if (!len || *len == LB_ERR) return std::nullopt;
        std::wstring line(size_t(*len) + 1, L'\0');
        auto got = send(d, list, LB_GETTEXT, i, LPARAM(line.data()));
        if (!got || *got == LB_ERR) return std::nullopt;
        line.resize(size_t(*got));
        lines.push_back(std::move(line));
    }
    return lines;
}

// The control, once the main window (shown or not) has it: the window exists a moment before
// its controls do.
std::optional<HWND> waitControl(const Deadline& d, int id) {
    return waitFor<HWND>(d, [&]() -> std::optional<HWND> {
        for (HWND main : mainWindows(false))
            if (HWND ctrl = GetDlgItem(main, id)) return ctrl;
        return std::nullopt;
    });
}

std::optional<HWND> control(const Deadline& d, std::wstring_view idText, std::wstring& why) {
    auto id = parseId(idText);
    auto ctrl = id ? waitControl(d, *id) : std::nullopt;
    if (!id)
        why = L"bad control id: " + std::wstring(idText);
    else if (!ctrl)
        why = mainWindows(false).empty() ? L"main window did not appear"
                                         : L"main window has no control " + std::wstring(idText);
    return ctrl;
}

}  // namespace

std::string toUtf8(std::wstring_view w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

void printLine(std::wstring_view w) {
    // Message box texts break lines with CRLF or a lone CR; the scripts compare LF-separated
    // lines.
    std::wstring text;
    for (size_t i = 0; i < w.size(); ++i) {
        if (w[i] != L'\r')
            text += w[i];
        else if (i + 1 == w.size() || w[i + 1] != L'\n')
            text += L'\n';
    }
    writeTo(STD_OUTPUT_HANDLE, toUtf8(text) + "\n");
}

int fail(std::wstring_view why) {
    writeTo(STD_ERROR_HANDLE, "oadriver: " + toUtf8(why) + "\n");
    return kFailed;
}

std::optional<LRESULT> send(const Deadline& d, HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(w, msg, wp, lp, SMTO_ABORTIFHUNG, d.messageBudgetMs(), &result))
        return std::nullopt;
    return LRESULT(result);
}

// WM_GETTEXT rather than GetWindowTextW: the latter does not ask other processes' controls.
std::optional<std::wstring> textOf(const Deadline& d, HWND w) {
    auto len = send(d, w, WM_GETTEXTLENGTH);
    if (!len) return std::nullopt;
    std::wstring text(size_t(*len) + 1, L'\0');
    auto got = send(d, w, WM_GETTEXT, text.size(), LPARAM(text.data()));
    if (!got) return std::nullopt;
    text.resize(size_t(*got));
    return text;
}

std::wstring classOf(HWND w) {
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    return name;
}

std::vector<HWND> topLevelWindows() {
    std::vector<HWND> all;
    EnumWindows(
        [](HWND w, LPARAM out) {
            reinterpret_cast<std::vector<HWND>*>(out)->push_back(w);
            return TRUE;
        },
        LPARAM(&all));
    return all;
}

std::optional<HWND> mainWindow(const Deadline& d, bool visibleOnly) {
    return waitFor<HWND>(d, [=] {
        auto all = mainWindows(visibleOnly);
        return all.empty() ? std::nullopt : std::optional(all.front());
    });
}

std::optional<unsigned long> parseNumber(std::wstring_view s, unsigned long max) {
    std::wstring text(s);
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long value = wcstoul(text.c_str(), &end, 0);
    bool whole = !text.empty() && text[0] != L'-' && *end == L'\0' && errno == 0;
    return whole && value <= max ? std::optional(value) : std::nullopt;
}

int withControl(Args a, const Deadline& d, const std::function<int(HWND)>& use) {
    std::wstring why;
    auto ctrl = control(d, a[0], why);
    return ctrl ? use(*ctrl) : fail(why);
}

namespace {

int withList(const Deadline& d, const std::function<int(HWND)>& use) {
    auto list = waitControl(d, IDC_lstView);
    if (list) return use(*list);
    return fail(mainWindows(false).empty() ? L"main window did not appear"
                                           : L"main window has no activity log");
}

int printText(const Deadline& d, HWND w) {
    auto text = textOf(d, w);
    if (!text) return fail(L"window did not answer WM_GETTEXT");
    printLine(*text);
    return kOk;
}

int waitWindow(Args, const Deadline& d) {
    auto main = mainWindow(d, true);
    return main ? printText(d, *main) : fail(L"main window did not appear");
}

int countWindows(Args, const Deadline&) {
    printLine(std::to_wstring(mainWindows(true).size()));
    return kOk;
}

int waitGone(Args, const Deadline& d) {
    auto gone = waitFor<bool>(
        d, [] { return FindWindowW(kMainClass, nullptr) ? std::nullopt : std::optional(true); });
    return gone ? kOk : fail(L"main window is still there");
}

int text(Args a, const Deadline& d) {
    return withControl(a, d, [&](HWND c) { return printText(d, c); });
}

int waitText(Args a, const Deadline& d) {
    return withControl(a, d, [&](HWND c) {
        std::wstring last;
        auto hit = waitFor<bool>(d, [&]() -> std::optional<bool> {
            last = textOf(d, c).value_or(L"<no answer>");
            return last == a[1] ? std::optional(true) : std::nullopt;
        });
        // The last caption goes to stdout either way, for the caller's failure message.
        printLine(last);
        return hit ? kOk : fail(L"control " + a[0] + L" still reads: " + last);
    });
}

int printFlag(bool on) {
    printLine(on ? L"1" : L"0");
    return kOk;
}

int visible(Args a, const Deadline& d) {
    return withControl(a, d, [](HWND c) { return printFlag(IsWindowVisible(c)); });
}

int enabled(Args a, const Deadline& d) {
    return withControl(a, d, [](HWND c) { return printFlag(IsWindowEnabled(c)); });
}

int list(Args, const Deadline& d) {
    return withList(d, [&](HWND lb) {
        auto lines = listLines(d, lb);
        if (!lines) return fail(L"activity log did not answer");
        for (const auto& line : *lines) printLine(line);
        return kOk;
    });
}

int selected(Args, const Deadline& d) {
    return withList(d, [&](HWND lb) {
        auto sel = send(d, lb, LB_GETCURSEL);
        if (!sel) return fail(L"activity log did not answer");
        printLine(std::to_wstring(*sel == LB_ERR ? -1 : *sel));
        return kOk;
    });
}

int waitLine(Args a, const Deadline& d) {
    return withList(d, [&](HWND lb) {
        auto hit = waitFor<std::wstring>(d, [&]() -> std::optional<std::wstring> {
            for (auto& line : listLines(d, lb).value_or(std::vector<std::wstring>{}))
                if (line.find(a[0]) != std::wstring::npos) return line;
            return std::nullopt;
        });
        if (!hit) return fail(L"no activity log line contains: " + a[0]);
        printLine(*hit);
        return kOk;
    });
}

// Only the newest line counts: a word like "成功" may already end an older one.
int waitLastLine(Args a, const Deadline& d) {
    return withList(d, [&](HWND lb) {
        std::wstring last;
        auto hit = waitFor<bool>(d, [&]() -> std::optional<bool> {
            auto lines = listLines(d, lb);
            if (lines && !lines->empty()) last = lines->back();
            return last.find(a[0]) != std::wstring::npos ? std::optional(true) : std::nullopt;
        });
        printLine(last);
        return hit ? kOk : fail(L"the last activity log line does not contain: " + a[0]);
    });
}

// Posted, not sent: a handler that opens a modal message box must not hold us up. BM_CLICK
// goes through the button itself, so check boxes toggle as they would under the mouse. What a
// person cannot click (hidden, disabled, or on a hidden window) is refused.
int click(Args a, const Deadline& d) {
    return withControl(a, d, [&](HWND c) {
        if (!IsWindowVisible(c)) return fail(L"control " + a[0] + L" is hidden");
        if (!IsWindowEnabled(c)) return fail(L"control " + a[0] + L" is disabled");
        return PostMessageW(c, BM_CLICK, 0, 0) ? kOk : fail(L"could not post the click");
    });
}

std::optional<HWND> waitMessageBox(const Deadline& d) {
    return waitFor<HWND>(d, [&] { return messageBox(d); });
}

int printMessageBox(const Deadline& d, HWND box) {
    HWND label = GetDlgItem(box, kMessageBoxTextId);
    return label ? printText(d, label) : fail(L"message box has no text");
}

int msgbox(Args, const Deadline& d) {
    auto box = waitMessageBox(d);
    return box ? printMessageBox(d, *box) : fail(L"no message box appeared");
}

struct ButtonName {
    int id;
    std::wstring_view name;
};
constexpr ButtonName kButtons[] = {{IDOK, L"OK"},       {IDCANCEL, L"Cancel"}, {IDABORT, L"Abort"},
                                   {IDRETRY, L"Retry"}, {IDIGNORE, L"Ignore"}, {IDYES, L"Yes"},
                                   {IDNO, L"No"}};

int msgboxButtons(Args, const Deadline& d) {
    auto box = waitMessageBox(d);
    if (!box) return fail(L"no message box appeared");
    for (auto [id, name] : kButtons)
        if (HWND b = GetDlgItem(*box, id); b && IsWindowVisible(b)) printLine(name);
    return kOk;
}

int msgboxAnswer(Args a, const Deadline& d) {
    auto named = std::find_if(std::begin(kButtons), std::end(kButtons),
                              [&](const ButtonName& b) { return b.name == a[0]; });
    if (named == std::end(kButtons)) return usage(L"unknown button " + a[0]);
    auto box = waitMessageBox(d);
    if (!box) return fail(L"no message box appeared");
    HWND button = GetDlgItem(*box, named->id);
    if (!button || !IsWindowVisible(button))
        return fail(L"message box has no " + a[0] + L" button");
    if (int rc = printMessageBox(d, *box); rc != kOk) return rc;
    PostMessageW(button, BM_CLICK, 0, 0);
    // Return only once the box has closed, so the next check sees what followed the answer.
    HWND closing = *box;
    auto closed =
        waitFor<bool>(d, [&] { return IsWindow(closing) ? std::nullopt : std::optional(true); });
    return closed ? kOk : fail(L"message box did not close");
}

struct Command {
    std::wstring_view name;
    size_t argCount;
    std::wstring_view argHelp;
    int (*run)(Args, const Deadline&);
};

constexpr Command kCommands[] = {
    {L"wait-window", 0, L"", waitWindow},
    {L"count-windows", 0, L"", countWindows},
    {L"wait-gone", 0, L"", waitGone},
    {L"text", 1, L"ID", text},
    {L"wait-text", 2, L"ID TEXT", waitText},
    {L"visible", 1, L"ID", visible},
    {L"enabled", 1, L"ID", enabled},
    {L"list", 0, L"", list},
    {L"selected", 0, L"", selected},
    {L"wait-line", 1, L"SUBSTRING", waitLine},
    {L"wait-last-line", 1, L"SUBSTRING", waitLastLine},
    {L"click", 1, L"ID", click},
    {L"msgbox", 0, L"", msgbox},
    {L"msgbox-buttons", 0, L"", msgboxButtons},
    {L"msgbox-answer", 1, L"OK|Cancel|Yes|No|...", msgboxAnswer},
    {L"rect", 1, L"ID", rect},
    {L"client-size", 0, L"", clientSize},
    {L"window-rect", 0, L"", windowRect},
    {L"resize", 2, L"WIDTH HEIGHT", resize},
    {L"is-visible-window", 0, L"", isVisibleWindow},
    {L"tray-shown", 0, L"", trayShown},
    {L"close", 0, L"", close},
    {L"post-tray", 1, L"MOUSE_MESSAGE", postTray},
    {L"menu-items", 0, L"", menuItems},
    {L"menu-pick", 1, L"ITEM", menuPick},
    {L"wait-service", 2, L"NAME RUNNING|STOPPED|START_PENDING|STOP_PENDING|MISSING", waitService},
    {L"stamp", 0, L"", stamp},
};

int usage(std::wstring_view why) {
    std::wstring text =
        L"oadriver: " + std::wstring(why) +
        L"\nusage: oadriver [--timeout SECONDS] [--poll MS] COMMAND [ARGS] [+ COMMAND [ARGS]]...\n"
        L"commands:\n";
    for (const auto& c : kCommands)
        text += L"  " + std::wstring(c.name) + L" " + std::wstring(c.argHelp) + L"\n";
    writeTo(STD_ERROR_HANDLE, toUtf8(text));
    return kUsage;
}

std::optional<double> parseSeconds(const std::wstring& s) {
    wchar_t* end = nullptr;
    double v = wcstod(s.c_str(), &end);
    return !s.empty() && *end == L'\0' && v > 0 && v < 86400 ? std::optional(v) : std::nullopt;
}

// One command with its arguments, checked against the table before anything runs.
struct Step {
    const Command* command;
    std::vector<std::wstring> args;
};

const Command* findCommand(std::span<const std::wstring> words, std::wstring& why) {
    const Command* found = nullptr;
    for (const auto& c : kCommands)
        if (!words.empty() && c.name == words[0]) found = &c;
    if (words.empty())
        why = L"missing command";
    else if (!found)
        why = L"unknown command " + words[0];
    else if (words.size() - 1 != found->argCount)
        why = L"wrong arguments for " + words[0];
    return why.empty() ? found : nullptr;
}

}  // namespace
}  // namespace oadriver

int main() {
    using namespace oadriver;
    int argc = 0;
    ArgvBlock argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (!argv) return usage(L"cannot read the command line");
    std::vector<std::wstring> words;
    double timeout = 20;
    for (int i = 1; i < argc; ++i) {
        std::wstring word = argv.get()[i];
        if (word == L"--timeout") {
            auto seconds = i + 1 < argc ? parseSeconds(argv.get()[++i]) : std::nullopt;
            if (!seconds) return usage(L"--timeout needs a number of seconds");
            timeout = *seconds;
        } else if (word == L"--poll") {
            auto ms = i + 1 < argc ? parseNumber(argv.get()[++i], 10000) : std::nullopt;
            if (!ms || *ms == 0) return usage(L"--poll needs a number of milliseconds");
            gPollMs = DWORD(*ms);
        } else {
            words.push_back(std::move(word));
        }
    }
    // "A + B + C" runs the commands back to back in this one process: what they see is
    // milliseconds apart, where separate driver runs would be a Wine process start apart.
    std::vector<Step> steps;
    for (auto begin = words.begin();;) {
        auto end = std::find(begin, words.end(), L"+");
        std::wstring why;
        const Command* command = findCommand({begin, end}, why);
        if (!command) return usage(why);
        steps.push_back({command, {begin + 1, end}});
        if (end == words.end()) break;
        begin = end + 1;
    }
    for (const auto& step : steps)
        if (int rc = step.command->run(step.args, Deadline(timeout)); rc != kOk) return rc;
    return kOk;
}
