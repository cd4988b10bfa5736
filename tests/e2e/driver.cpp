// oadriver: looks at and pokes a running oapanel from outside, the way a person at the screen
// would, so the end-to-end scripts can check what the panel shows. It runs as its own Windows
// process under the panel's wineserver and only uses window messages, never the panel's code.
//
//   oadriver [--timeout SECONDS] [--poll MS] COMMAND [ARGS...] [+ COMMAND [ARGS...]]...
//
// "A + B" runs the commands back to back in this one process: what they see is milliseconds
// apart, where separate runs would be a Wine process start apart. Each command that waits
// gets the whole timeout. Output is UTF-8, one item a line. Exit code 0 ok, 1 failed, timed
// out or not understood.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

constexpr wchar_t kMainClass[] = L"oapanel.frmMain";
// The tray icon calls the panel back with this message, the mouse message in lParam.
constexpr UINT kTrayCallback = WM_APP + 1;
// On a display without a notification area of its own (Xvfb), Wine shows the icons in a
// window of this class, and shows that window only while it holds at least one icon.
constexpr wchar_t kWineTrayClass[] = L"__winex11_standalone_tray";
constexpr int kOk = 0, kFailed = 1;

DWORD gPollMs = 100;      // the benchmark asks for a few ms to time what it sees
ULONGLONG gDeadline = 0;  // of the command that runs now

// One line of raw UTF-8: the scripts read us through a Linux pipe, so no console conversion.
// Message box texts break lines with CRLF or a lone CR; the scripts compare LF lines.
int print(std::wstring text, DWORD to = STD_OUTPUT_HANDLE) {
    for (size_t at; (at = text.find(L"\r\n")) != text.npos;) text.erase(at, 1);
    std::replace(text.begin(), text.end(), L'\r', L'\n');
    text += L'\n';
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(),
                                            int(bytes.size()), nullptr, nullptr)));
    DWORD written = 0;
    WriteFile(GetStdHandle(to), bytes.data(), DWORD(bytes.size()), &written, nullptr);
    return kOk;
}

int fail(const std::wstring& why) { return print(L"oadriver: " + why, STD_ERROR_HANDLE), kFailed; }

int check(bool ok, const std::wstring& why) { return ok ? kOk : fail(why); }

DWORD msLeft() {
    const ULONGLONG now = GetTickCount64();
    return DWORD(gDeadline > now ? gDeadline - now : 0);
}

// Polls until done() or the deadline passes (one last try at the end).
bool waitUntil(const std::function<bool()>& done) {
    for (;; Sleep(gPollMs)) {
        const bool last = GetTickCount64() >= gDeadline;
        if (done()) return true;
        if (last) return false;
    }
}

LRESULT send(HWND w, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    DWORD_PTR result = LRESULT(-1);
    SendMessageTimeoutW(w, msg, wp, lp, SMTO_ABORTIFHUNG, std::max(msLeft(), DWORD(200)), &result);
    return LRESULT(result);
}

// WM_GETTEXT rather than GetWindowTextW: the latter does not ask other processes' controls.
std::wstring textOf(HWND w) {
    std::wstring text(size_t(std::max<LRESULT>(send(w, WM_GETTEXTLENGTH), 0)) + 1, L'\0');
    text.resize(
        size_t(std::max<LRESULT>(send(w, WM_GETTEXT, text.size(), LPARAM(text.data())), 0)));
    return text;
}

// The top-level windows of a class, the visible ones only unless told.
std::vector<HWND> windowsOf(const wchar_t* cls, bool visibleOnly = true) {
    std::vector<HWND> found;
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, cls, nullptr));)
        if (!visibleOnly || IsWindowVisible(w)) found.push_back(w);
    return found;
}

// The first window of a class that shows up (and passes `also`), or nullptr.
HWND waitWindow(const wchar_t* cls, const std::function<bool(HWND)>& also = {},
                bool visibleOnly = true) {
    HWND found = nullptr;
    waitUntil([&] {
        for (HWND w : windowsOf(cls, visibleOnly))
            if (!also || also(w)) return (found = w) != nullptr;
        return false;
    });
    return found;
}

// The main window, shown or hidden in the tray, once it has the control `id` (the window
// exists a moment before its controls); 0 for the window itself.
int withControl(int id, const std::function<int(HWND)>& use) {
    HWND found = waitWindow(
        kMainClass, [&](HWND w) { return !id || GetDlgItem(w, id); }, false);
    if (!found) return fail(L"no main window with control " + std::to_wstring(id));
    return use(id ? GetDlgItem(found, id) : found);
}

std::vector<std::wstring> listLines(HWND list) {
    std::vector<std::wstring> lines;
    for (LRESULT i = 0, count = send(list, LB_GETCOUNT); i < count; ++i) {
        std::wstring line(size_t(std::max<LRESULT>(send(list, LB_GETTEXTLEN, i), 0)) + 1, L'\0');
        line.resize(size_t(std::max<LRESULT>(send(list, LB_GETTEXT, i, LPARAM(line.data())), 0)));
        lines.push_back(line);
    }
    return lines;
}

// wait-line SUBSTRING: any line; wait-last-line: only the newest counts, since a word like
// 成功 may already end an older one. The line found (or the last one seen) is printed.
int waitLine(const std::wstring& part, bool lastOnly) {
    return withControl(IDC_lstView, [&](HWND list) {
        std::wstring seen;
        const bool hit = waitUntil([&] {
            auto lines = listLines(list);
            if (lastOnly && lines.size() > 1) lines.erase(lines.begin(), lines.end() - 1);
            for (auto& line : lines)
                if (seen = line; line.find(part) != line.npos) return true;
            return false;
        });
        print(seen);
        return check(hit, L"no activity log line contains " + part);
    });
}

// Shown (1/0), where (a control in the main window's client coordinates, the main window on
// the screen) and its client size.
int printPlace(HWND w) {
    RECT r{}, client{};
    GetWindowRect(w, &r);
    GetClientRect(w, &client);
    if (GetParent(w)) MapWindowPoints(HWND_DESKTOP, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    std::wstring text = IsWindowVisible(w) ? L"1" : L"0";
    for (LONG v : {r.left, r.top, r.right - r.left, r.bottom - r.top, client.right, client.bottom})
        text += L" " + std::to_wstring(v);
    return print(text);
}

// msgbox [BUTTON]: the panel's message box, its buttons on one line, then its text; then the
// button is clicked, if named, and we are back once the box has closed, so the next command
// sees what followed the answer.
int messageBox(const std::wstring* answer) {
    HWND box = waitWindow(L"#32770", [](HWND w) { return textOf(w) == L"oapanel"; });
    if (!box) return fail(L"no message box appeared");
    std::wstring buttons;
    HWND chosen = nullptr;
    for (auto [id, name] : {std::pair{IDOK, L"OK"}, std::pair{IDCANCEL, L"Cancel"}})
        if (HWND b = GetDlgItem(box, id); b && IsWindowVisible(b)) {
            buttons += (buttons.empty() ? L"" : L" ") + std::wstring(name);
            if (answer && *answer == name) chosen = b;
        }
    print(buttons);
    print(textOf(GetDlgItem(box, 0xFFFF)));
    if (!answer) return kOk;
    if (!chosen) return fail(L"the message box has no button " + *answer);
    PostMessageW(chosen, BM_CLICK, 0, 0);
    return check(waitUntil([&] { return !IsWindow(box); }), L"the box did not close");
}

// A right click on the tray icon, then the Nth item picked the way a keyboard user would:
// Down to it (separators are skipped), Enter. Under a loaded X server the focus change of a
// window just hidden can close the menu as it opens; a user would click again, and so do we.
int trayMenu(HWND main, int position) {
    HWND menu = nullptr;
    for (ULONGLONG again = 0; !menu && GetTickCount64() < gDeadline;) {
        if (GetTickCount64() >= again) {
            PostMessageW(main, kTrayCallback, 0, LPARAM(WM_RBUTTONUP));
            again = GetTickCount64() + 3000;
        }
        const auto visible = windowsOf(L"#32768");
        if (!visible.empty())
            menu = visible[0];
        else
            Sleep(gPollMs);
    }
    if (!menu) return fail(L"no pop-up menu appeared");
    for (int i = 0; i <= position; ++i) {
        const WPARAM key = i < position ? VK_DOWN : VK_RETURN;
        PostMessageW(menu, WM_KEYDOWN, key, 1);
        PostMessageW(menu, WM_KEYUP, key, LPARAM(0xC0000001));
    }
    return check(waitUntil([&] { return !IsWindowVisible(menu); }), L"the menu stays");
}

// NAME MISSING|STOPPED|START_PENDING|RUNNING: prints the state reached or the last one seen.
int waitService(const std::wstring& name, const std::wstring& wanted) {
    const wchar_t* states[] = {L"MISSING", L"STOPPED", L"START_PENDING", L"STOP_PENDING",
                               L"RUNNING"};
    const SC_HANDLE scm =
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);  // ours till the end
    std::wstring seen = L"UNKNOWN";
    const bool hit = waitUntil([&] {
        const SC_HANDLE service = OpenServiceW(scm, name.c_str(), SERVICE_QUERY_STATUS);
        SERVICE_STATUS status{};
        if (!service && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
            seen = states[0];
        else if (service && QueryServiceStatus(service, &status))
            seen = status.dwCurrentState < 5 ? states[status.dwCurrentState] : L"OTHER";
        CloseServiceHandle(service);
        return seen == wanted;
    });
    print(seen);
    return check(hit, L"service " + name + L" is " + seen + L", not " + wanted);
}

// Another program listening on PORT on every address, as long as this process runs: the
// socket is left open for the system to close when we end.
int holdPort(int port) {
    WSADATA wsa{};
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(u_short(port));
    const SOCKET s = WSAStartup(MAKEWORD(2, 2), &wsa) ? INVALID_SOCKET
                                                      : socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return check(!bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) && !listen(s, 1),
                 L"cannot listen on port " + std::to_wstring(port));
}

// What Windows does when the user logs off: it asks the window, tells it the answer, and may
// end the process any time after. We wait for the panel to end by itself instead (wineboot
// --end-session would kill it at once and hide whether it leaves on its own).
int endSession(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);  // closed as we end
    const bool agreed = send(w, WM_QUERYENDSESSION) != 0;
    send(w, WM_ENDSESSION, agreed);
    if (!agreed) return fail(L"the panel would not let the session end");
    return check(WaitForSingleObject(process, msLeft()) == WAIT_OBJECT_0, L"the panel runs on");
}

int run(const std::vector<std::wstring>& a) {
    const std::wstring& c = a[0];
    const size_t n = a.size() - 1;
    const int number = n > 0 ? int(wcstol(a[1].c_str(), nullptr, 0)) : 0;
    if (c == L"wait-window" && n == 0) {
        HWND main = waitWindow(kMainClass);
        return main ? print(textOf(main)) : fail(L"main window did not appear");
    }
    if (c == L"windows" && n == 0) return print(std::to_wstring(windowsOf(kMainClass).size()));
    if (c == L"tray-shown" && n == 0) return print(windowsOf(kWineTrayClass).empty() ? L"0" : L"1");
    if (c == L"text" && n == 1) return withControl(number, [](HWND w) { return print(textOf(w)); });
    if (c == L"place" && n == 1) return withControl(number, printPlace);
    // The outer size in pixels, as if the user had dragged the frame.
    if (c == L"resize" && n == 2)
        return withControl(0, [&](HWND w) {
            const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
            return check(SetWindowPos(w, nullptr, 0, 0, number, _wtoi(a[2].c_str()), flags),
                         L"could not resize the main window");
        });
    if (c == L"list" && n == 0)
        return withControl(IDC_lstView, [](HWND list) {
            for (auto& line : listLines(list)) print(line);
            return kOk;
        });
    if (c == L"selected" && n == 0)
        return withControl(IDC_lstView, [](HWND list) {
            return print(std::to_wstring(send(list, LB_GETCURSEL)));
        });
    // select N: the user clicks line N of the log (the list tells its window, as for a click).
    if (c == L"select" && n == 1)
        return withControl(IDC_lstView, [&](HWND list) {
            const bool set = send(list, LB_SETCURSEL, number) == number;
            send(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
                 LPARAM(list));
            return check(set, L"cannot select " + a[1]);
        });
    if ((c == L"wait-line" || c == L"wait-last-line") && n == 1)
        return waitLine(a[1], c == L"wait-last-line");
    // Posted: a handler that opens a modal message box must not hold us up. What a person
    // cannot click (hidden, disabled) is refused.
    if (c == L"click" && n == 1)
        return withControl(number, [&](HWND b) {
            return check(
                IsWindowVisible(b) && IsWindowEnabled(b) && PostMessageW(b, BM_CLICK, 0, 0),
                L"cannot click " + a[1]);
        });
    // Sent, so that the next command sees what the close box did.
    if (c == L"close" && n == 0)
        return withControl(
            0, [](HWND w) { return check(send(w, WM_CLOSE) == 0, L"WM_CLOSE failed"); });
    // What the shell posts when the mouse does something over the tray icon.
    if (c == L"post-tray" && n == 1)
        return withControl(0, [&](HWND w) {
            return check(PostMessageW(w, kTrayCallback, 0, LPARAM(number)), L"could not post");
        });
    if (c == L"msgbox" && n <= 1) return messageBox(n ? &a[1] : nullptr);
    if (c == L"tray-menu" && n == 1)
        return withControl(0, [&](HWND w) { return trayMenu(w, number); });
    if (c == L"wait-service" && n == 2) return waitService(a[1], a[2]);
    if (c == L"hold-port" && n == 1) return holdPort(number);
    if (c == L"end-session" && n == 0) return withControl(0, endSession);
    // Milliseconds since 1970, to compare with the scripts' clock and the stubs' logs.
    if (c == L"stamp" && n == 0) {
        ULARGE_INTEGER t{};
        GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&t));
        return print(std::to_wstring((t.QuadPart - 116444736000000000ULL) / 10000));
    }
    return fail(L"unknown command or wrong arguments: " + c);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    double timeout = 20;
    std::vector<std::vector<std::wstring>> commands(1);
    for (int i = 1; i < argc; ++i) {
        const std::wstring word = argv[i];
        if (word == L"--timeout" && i + 1 < argc)
            timeout = _wtof(argv[++i]);
        else if (word == L"--poll" && i + 1 < argc)
            gPollMs = DWORD(_wtoi(argv[++i]));
        else if (word == L"+")
            commands.emplace_back();
        else
            commands.back().push_back(word);
    }
    for (const auto& command : commands) {
        gDeadline = GetTickCount64() + ULONGLONG(timeout * 1000);
        if (command.empty() || run(command) != kOk) return kFailed;
    }
    return kOk;
}
