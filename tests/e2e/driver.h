// What the commands of oadriver share: output, deadlines, polling and finding the panel's
// windows. driver.cpp holds the command table and main().
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace oadriver {

constexpr wchar_t kMainClass[] = L"oapanel.frmMain";
constexpr int kOk = 0, kFailed = 1, kUsage = 2;

using Args = std::span<const std::wstring>;

std::string toUtf8(std::wstring_view w);
// One line of UTF-8 to stdout (CR dropped).
void printLine(std::wstring_view w);
// Reports why a command failed on stderr; returns kFailed.
int fail(std::wstring_view why);

class Deadline {
public:
    explicit Deadline(double seconds) : end_(GetTickCount64() + ULONGLONG(seconds * 1000)) {}
    bool passed() const { return GetTickCount64() >= end_; }
    // What a single cross-process message may take: never less than a short grace.
    UINT messageBudgetMs() const {
        ULONGLONG now = GetTickCount64();
        return UINT(now < end_ ? std::max<ULONGLONG>(end_ - now, 200) : 200);
    }

private:
    ULONGLONG end_;
};

// The pause between two looks of a waiting command (--poll). The default is gentle on the
// panel; the benchmark asks for a few milliseconds to time what it sees.
extern DWORD gPollMs;

// Polls probe until it yields a value or the deadline passes (one last try at the end).
template <class T>
std::optional<T> waitFor(const Deadline& deadline, const std::function<std::optional<T>()>& probe) {
    for (;;) {
        bool last = deadline.passed();
        if (auto value = probe()) return value;
        if (last) return std::nullopt;
        Sleep(gPollMs);
    }
}

std::optional<LRESULT> send(const Deadline& d, HWND w, UINT msg, WPARAM wp = 0, LPARAM lp = 0);
std::optional<std::wstring> textOf(const Deadline& d, HWND w);
std::wstring classOf(HWND w);
std::vector<HWND> topLevelWindows();
// The panel's main window, shown or (unless visibleOnly) hidden, once it exists.
std::optional<HWND> mainWindow(const Deadline& d, bool visibleOnly = false);
int withControl(Args a, const Deadline& d, const std::function<int(HWND)>& use);
// A number written in decimal or as 0x hex, within [0, max].
std::optional<unsigned long> parseNumber(std::wstring_view s, unsigned long max);

// driver_window.cpp: geometry, the window itself, the tray callback, services and time.
int rect(Args a, const Deadline& d);
int clientSize(Args a, const Deadline& d);
int windowRect(Args a, const Deadline& d);
int resize(Args a, const Deadline& d);
int isVisibleWindow(Args a, const Deadline& d);
int trayShown(Args a, const Deadline& d);
int close(Args a, const Deadline& d);
int postTray(Args a, const Deadline& d);
int waitService(Args a, const Deadline& d);
int stamp(Args a, const Deadline& d);

// driver_menu.cpp: the tray icon's pop-up menu.
int menuItems(Args a, const Deadline& d);
int menuPick(Args a, const Deadline& d);

}  // namespace oadriver
