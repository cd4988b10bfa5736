// oadriver commands about the main window as a whole (its geometry, whether it shows, its
// close box, the tray icon's callback), about the services, and a clock for timing.
#include "tests/e2e/driver.h"

#include <cstdio>
#include <memory>
#include <type_traits>

namespace oadriver {

namespace {

// The tray icon calls the panel back with this message, the mouse message in lParam.
constexpr UINT kTrayCallback = WM_APP + 1;
// On a display without a notification area of its own (Xvfb), Wine shows the icons in a
// window of this class, and shows that window only while it holds at least one icon.
constexpr wchar_t kWineTrayClass[] = L"__winex11_standalone_tray";

int printRect(const RECT& r) {
    printLine(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
              std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top));
    return kOk;
}

int withMain(const Deadline& d, const std::function<int(HWND)>& use) {
    auto main = mainWindow(d);
    return main ? use(*main) : fail(L"main window did not appear");
}

struct StateName {
    DWORD state;
    std::wstring_view name;
};
// MISSING stands for a service that is not registered at all.
constexpr DWORD kMissing = 0;
constexpr StateName kStates[] = {{kMissing, L"MISSING"},
                                 {SERVICE_STOPPED, L"STOPPED"},
                                 {SERVICE_START_PENDING, L"START_PENDING"},
                                 {SERVICE_STOP_PENDING, L"STOP_PENDING"},
                                 {SERVICE_RUNNING, L"RUNNING"},
                                 {SERVICE_CONTINUE_PENDING, L"CONTINUE_PENDING"},
                                 {SERVICE_PAUSE_PENDING, L"PAUSE_PENDING"},
                                 {SERVICE_PAUSED, L"PAUSED"}};

std::wstring stateName(DWORD state) {
    for (auto [s, name] : kStates)
        if (s == state) return std::wstring(name);
    return L"STATE_" + std::to_wstring(state);
}

struct ScHandleCloser {
    void operator()(SC_HANDLE h) const { CloseServiceHandle(h); }
};
using ScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ScHandleCloser>;

// The service's current state, kMissing when it is not registered, nothing when the service
// manager would not say.
std::optional<DWORD> serviceState(SC_HANDLE scm, const std::wstring& name) {
    ScHandle service(OpenServiceW(scm, name.c_str(), SERVICE_QUERY_STATUS));
    if (!service)
        return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? std::optional(kMissing)
                                                              : std::nullopt;
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.get(), &status)) return std::nullopt;
    return status.dwCurrentState;
}

}  // namespace

// The control's rectangle in the main window's client coordinates: left top width height.
int rect(Args a, const Deadline& d) {
    return withControl(a, d, [](HWND c) {
        RECT r{};
        if (!GetWindowRect(c, &r)) return fail(L"control has no rectangle");
        MapWindowPoints(HWND_DESKTOP, GetParent(c), reinterpret_cast<POINT*>(&r), 2);
        return printRect(r);
    });
}

int clientSize(Args, const Deadline& d) {
    return withMain(d, [](HWND w) {
        RECT r{};
        if (!GetClientRect(w, &r)) return fail(L"main window has no client area");
        printLine(std::to_wstring(r.right) + L" " + std::to_wstring(r.bottom));
        return kOk;
    });
}

// The whole window, frame included, in screen coordinates: left top width height.
int windowRect(Args, const Deadline& d) {
    return withMain(d, [](HWND w) {
        RECT r{};
        return GetWindowRect(w, &r) ? printRect(r) : fail(L"main window has no rectangle");
    });
}

// The outer size in pixels, as if the user had dragged the frame; the position stays.
int resize(Args a, const Deadline& d) {
    auto width = parseNumber(a[0], 10000), height = parseNumber(a[1], 10000);
    if (!width || !height) return fail(L"bad size: " + a[0] + L" " + a[1]);
    return withMain(d, [&](HWND w) {
        const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
        return SetWindowPos(w, nullptr, 0, 0, int(*width), int(*height), flags)
                   ? kOk
                   : fail(L"could not resize the main window");
    });
}

int isVisibleWindow(Args, const Deadline& d) {
    return withMain(d, [](HWND w) {
        printLine(IsWindowVisible(w) ? L"1" : L"0");
        return kOk;
    });
}

// 1 while Wine's notification area shows, that is while some program has a tray icon.
int trayShown(Args, const Deadline&) {
    bool shown = false;
    for (HWND w : topLevelWindows())
        if (classOf(w) == kWineTrayClass && IsWindowVisible(w)) shown = true;
    printLine(shown ? L"1" : L"0");
    return kOk;
}

// Sent, not posted, so that the next command sees what the close box did.
int close(Args, const Deadline& d) {
    return withMain(d, [&](HWND w) {
        return send(d, w, WM_CLOSE) ? kOk : fail(L"main window did not handle WM_CLOSE");
    });
}

// What the shell posts when the mouse does something over the tray icon.
int postTray(Args a, const Deadline& d) {
    auto mouseMessage = parseNumber(a[0], 0xFFFF);
    if (!mouseMessage) return fail(L"bad mouse message: " + a[0]);
    return withMain(d, [&](HWND w) {
        return PostMessageW(w, kTrayCallback, 0, LPARAM(*mouseMessage))
                   ? kOk
                   : fail(L"could not post the tray message");
    });
}

// Prints the state reached, or the last one seen when the wait timed out.
int waitService(Args a, const Deadline& d) {
    ScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm) return fail(L"cannot open the service manager");
    std::wstring seen = L"UNKNOWN";
    auto hit = waitFor<bool>(d, [&]() -> std::optional<bool> {
        if (auto state = serviceState(scm.get(), a[0])) seen = stateName(*state);
        return seen == a[1] ? std::optional(true) : std::nullopt;
    });
    printLine(seen);
    return hit ? kOk : fail(L"service " + a[0] + L" is " + seen + L", not " + a[1]);
}

// Local time to the millisecond, in the form the stub servers put in their logs.
int stamp(Args, const Deadline&) {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond, t.wMilliseconds);
    printLine(text);
    return kOk;
}

}  // namespace oadriver
