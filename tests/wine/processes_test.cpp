// Launching commands, the process list through WMI, and this process's environment, against
// Wine's real kernel32, user32 and WMI. The launched child is a small probe that reports how
// it was started (tests/wine/launch_probe.cpp).
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/environment.h"
#include "platform/win32/handles.h"
#include "platform/win32/processes.h"

namespace {

// The probe was built on the Linux side; Wine sees the Linux root as drive Z:.
std::string probePath() {
    std::string path = "Z:";
    for (const char* p = OAPANEL_LAUNCH_PROBE; *p; ++p) path += *p == '/' ? '\\' : *p;
    return path;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// Runs `work` on a thread of its own and waits for it to end (the win32-threads runtime has
// no std::thread).
DWORD WINAPI runWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}

void runOnOwnThread(const std::function<void()>& work) {
    win32::KernelHandle thread(::CreateThread(
        nullptr, 0, &runWork, const_cast<std::function<void()>*>(&work), 0, nullptr));
    ASSERT_TRUE(thread);
    ::WaitForSingleObject(thread.get(), INFINITE);
}

bool waitUntil(const std::function<bool()>& done, int milliseconds = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct Report {
    unsigned long flags = 0, show = 0, pid = 0, tid = 0;
    int released = 0;
};

// One run of the probe: where it reports, and an event it waits for when held.
class Probe {
public:
    Probe() {
        static int count = 0;
        const std::string id =
            std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++count);
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        report_ = std::string(temp) + "oapanel_probe_" + id + ".txt";
        event_ = "oapanel_probe_" + id;
        ::DeleteFileA(report_.c_str());
        hold_ = ::CreateEventA(nullptr, TRUE, FALSE, event_.c_str());
    }
    // A held probe never outlives its test.
    ~Probe() {
        release();
        if (waitUntil([&] { return report().has_value(); })) waitForExit();
        ::CloseHandle(hold_);
        ::DeleteFileA(report_.c_str());
    }

    std::string commandLine() const { return quoted(probePath()) + " " + quoted(report_); }
    std::string heldCommandLine() const { return commandLine() + " " + event_; }
    void release() const { ::SetEvent(hold_); }

    std::optional<Report> report() const {
        FILE* in = std::fopen(report_.c_str(), "r");
        if (!in) return std::nullopt;
        Report r;
        const int fields =
            std::fscanf(in, "%lu %lu %lu %lu %d", &r.flags, &r.show, &r.pid, &r.tid, &r.released);
        std::fclose(in);
        return fields == 5 ? std::optional<Report>(r) : std::nullopt;
    }
    Report awaitReport() const {
        EXPECT_TRUE(waitUntil([&] { return report().has_value(); })) << "the probe never reported";
        return report().value_or(Report{});
    }
    // The probe's process ends right after its report; this waits until it is gone.
    void waitForExit() const {
        const auto r = report();
        if (!r) return;
        HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, r->pid);
        if (!process) return;
        ::WaitForSingleObject(process, 5000);
        ::CloseHandle(process);
    }

private:
    std::string report_, event_;
    HANDLE hold_ = nullptr;
};

// --- launching -----------------------------------------------------------------------

TEST(Launch, HandsTheShowModeToTheChildAndWaitsWhenAsked) {
    for (const std::uint32_t mode : {platform::kSwHide, platform::kSwShowNormal}) {
        SCOPED_TRACE(mode);
        win32::Processes processes;
        Probe probe;
        ASSERT_TRUE(processes.launchAndWait(probe.commandLine(), "", platform::kInfinite, mode, 0));
        const auto report = probe.report();
        ASSERT_TRUE(report.has_value()) << "launchAndWait returned before the child ended";
        EXPECT_EQ(report->flags & STARTF_USESHOWWINDOW,
                  static_cast<unsigned long>(STARTF_USESHOWWINDOW));
        EXPECT_EQ(report->show, mode);
    }
}

TEST(Launch, ReturnsWhileTheChildStillRuns) {
    win32::Processes processes;
    Probe probe;
    ASSERT_TRUE(processes.launch(probe.heldCommandLine(), platform::kSwHide));
    EXPECT_FALSE(probe.report().has_value());
    probe.release();
    const Report report = probe.awaitReport();
    EXPECT_EQ(report.released, 1) << "the child ran out of time while launch waited for it";
    EXPECT_EQ(report.show, platform::kSwHide);
}

TEST(Launch, ReleasesTheProcessAndThreadHandles) {
    for (const bool wait : {false, true}) {
        SCOPED_TRACE(wait ? "launchAndWait" : "launch");
        win32::Processes processes;
        Probe probe;
        ASSERT_TRUE(wait ? processes.launchAndWait(probe.commandLine(), "", platform::kInfinite,
                                                   platform::kSwHide, 0)
                         : processes.launch(probe.commandLine(), platform::kSwHide));
        const Report report = probe.awaitReport();
        probe.waitForExit();
        // An ended process or thread stays open by its id while anyone holds a handle to it.
        EXPECT_TRUE(waitUntil([&] {
            HANDLE p = ::OpenProcess(SYNCHRONIZE, FALSE, report.pid);
            if (p) ::CloseHandle(p);
            return p == nullptr;
        })) << "a process handle is still open";
        EXPECT_TRUE(waitUntil([&] {
            HANDLE t = ::OpenThread(SYNCHRONIZE, FALSE, report.tid);
            if (t) ::CloseHandle(t);
            return t == nullptr;
        })) << "a thread handle is still open";
    }
}

TEST(Launch, KeepsInheritableHandlesToItself) {
    // The child would hold our pipe's write end open if it inherited it.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    ASSERT_TRUE(::CreatePipe(&read, &write, &inheritable, 0));
    win32::Processes processes;
    Probe probe;
    ASSERT_TRUE(processes.launch(probe.heldCommandLine(), platform::kSwHide));
    ::CloseHandle(write);
    DWORD available = 0;
    const BOOL open = ::PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr);
    const DWORD error = ::GetLastError();
    probe.release();
    probe.awaitReport();
    ::CloseHandle(read);
    EXPECT_FALSE(open) << "the child holds the write end";
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BROKEN_PIPE));
}

TEST(Launch, ReportsOnlyWhetherTheProcessCouldBeCreated) {
    win32::Processes processes;
    EXPECT_TRUE(
        processes.launchAndWait("cmd /c exit 3", "", platform::kInfinite, platform::kSwHide, 0));
    EXPECT_FALSE(processes.launch("Z:\\oapanel\\no such program.exe", platform::kSwHide));
    EXPECT_FALSE(processes.launchAndWait("oapanel_no_such_program", "", platform::kInfinite,
                                         platform::kSwHide, 0));
    EXPECT_FALSE(processes.launch("", platform::kSwHide));
}

// A top-level Notepad window and its process.
HWND notepadWindow(DWORD& pid) {
    struct Search {
        HWND found = nullptr;
        DWORD pid = 0;
    } search;
    ::EnumWindows(
        [](HWND w, LPARAM data) -> BOOL {
            char name[32] = {};
            ::GetClassNameA(w, name, sizeof name);
            if (std::string(name) != "Notepad") return TRUE;
            auto* s = reinterpret_cast<Search*>(data);
            s->found = w;
            ::GetWindowThreadProcessId(w, &s->pid);
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    pid = search.pid;
    return search.found;
}

bool haveDisplay() {
    HWND w = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                               nullptr);
    if (w) ::DestroyWindow(w);
    return w != nullptr;
}

// Waits until the program has finished starting (its window is shown by then, or not at all),
// looks at the window, and ends the program.
bool settledWindowVisible(HWND window, DWORD pid) {
    HANDLE p =
        ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, pid);
    if (!p) return false;
    ::WaitForInputIdle(p, 5000);
    const bool visible = ::IsWindowVisible(window) != FALSE;
    ::TerminateProcess(p, 0);
    ::WaitForSingleObject(p, 5000);
    ::CloseHandle(p);
    return visible;
}

TEST(Launch, AHiddenProgramShowsNoWindow) {
    if (!haveDisplay()) GTEST_SKIP() << "no window system here (run under xvfb-run to check)";
    for (const auto& [mode, visible] :
         {std::pair{platform::kSwHide, false}, std::pair{platform::kSwShowNormal, true}}) {
        SCOPED_TRACE(mode);
        win32::Processes processes;
        ASSERT_TRUE(processes.launch("notepad.exe", mode));
        DWORD pid = 0;
        HWND window = nullptr;
        waitUntil([&] { return (window = notepadWindow(pid)) != nullptr; });
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(settledWindowVisible(window, pid), visible);
        EXPECT_TRUE(waitUntil([&] { return notepadWindow(pid) == nullptr; }));
    }
}

// --- the process list ------------------------------------------------------------------

bool lists(const std::vector<std::string>& descriptions, const std::string& name) {
    return std::find(descriptions.begin(), descriptions.end(), name) != descriptions.end();
}

TEST(ProcessList, NamesEachProcessByItsExecutable) {
    win32::Processes processes;
    std::vector<std::string> descriptions;
    ASSERT_TRUE(processes.processDescriptions(descriptions));
    EXPECT_TRUE(lists(descriptions, "wine_backend_tests.exe"));
    EXPECT_FALSE(lists(descriptions, "launch_probe.exe"));

    Probe probe;
    ASSERT_TRUE(processes.launch(probe.heldCommandLine(), platform::kSwHide));
    ASSERT_TRUE(processes.processDescriptions(descriptions));
    EXPECT_TRUE(lists(descriptions, "launch_probe.exe"));

    probe.release();
    probe.awaitReport();
    probe.waitForExit();
    EXPECT_TRUE(waitUntil([&] {
        return processes.processDescriptions(descriptions) &&
               !lists(descriptions, "launch_probe.exe");
    })) << "an ended process is still listed";
}

// The caller's thread may already have COM, in either apartment; the list must work there and
// leave the thread's COM exactly as it found it.
TEST(ProcessList, LeavesTheCallersComAsItWas) {
    struct Case {
        const char* name;
        bool callerInitialises;
        DWORD model;
    };
    for (const Case c : {Case{"no COM", false, COINIT_APARTMENTTHREADED},
                         Case{"single-threaded apartment", true, COINIT_APARTMENTTHREADED},
                         Case{"multithreaded apartment", true, COINIT_MULTITHREADED}}) {
        SCOPED_TRACE(c.name);
        bool listed = false;
        HRESULT during = E_FAIL, after = E_FAIL;
        runOnOwnThread([&] {
            if (c.callerInitialises) ::CoInitializeEx(nullptr, c.model);
            std::vector<std::string> descriptions;
            listed = win32::Processes().processDescriptions(descriptions) &&
                     lists(descriptions, "wine_backend_tests.exe");
            // S_FALSE: COM was still initialised; S_OK: it was not.
            during = ::CoInitializeEx(nullptr, c.model);
            ::CoUninitialize();
            if (c.callerInitialises) ::CoUninitialize();
            after = ::CoInitializeEx(nullptr, c.model);
            ::CoUninitialize();
        });
        EXPECT_TRUE(listed);
        EXPECT_EQ(during, c.callerInitialises ? S_FALSE : S_OK) << "the caller's COM was changed";
        EXPECT_EQ(after, S_OK) << "COM was left initialised";
    }
}

// --- the environment -------------------------------------------------------------------

TEST(ProcessEnvironment, KeepsChineseTextThroughTheAnsiCodePage) {
    ASSERT_EQ(::GetACP(), 936u) << "run with LC_ALL=zh_CN.GBK";
    win32::Environment env;
    ASSERT_TRUE(env.setVariable("OAPANEL_中文", "C:\\应用\\jre16bk"));
    wchar_t wide[64] = {};
    ::GetEnvironmentVariableW(L"OAPANEL_中文", wide, 64);
    EXPECT_EQ(std::wstring(wide), L"C:\\应用\\jre16bk");

    std::string value;
    ASSERT_TRUE(env.getVariable("oapanel_中文", value));
    EXPECT_EQ(value, "C:\\应用\\jre16bk");
    EXPECT_EQ(env.expand("%OAPANEL_中文%\\bin;%OAPANEL_NOT_SET%;50% 中文"),
              "C:\\应用\\jre16bk\\bin;%OAPANEL_NOT_SET%;50% 中文");
}

TEST(ProcessEnvironment, ReadsValuesOfEveryLengthWhole) {
    win32::Environment env;
    // Around the first buffer's size, in one- and two-byte characters, and far beyond it.
    for (const std::string& text :
         {std::string(255, 'a'), std::string(256, 'b'), std::string(257, 'c'),
          [] {
              std::string s;
              for (int i = 0; i < 128; ++i) s += "中";
              return s;
          }(),
          [] {
              std::string s;
              for (int i = 0; i < 3000; ++i) s += "文";
              return s;
          }()}) {
        SCOPED_TRACE(text.size());
        ASSERT_TRUE(env.setVariable("OAPANEL_LONG", text));
        std::string value;
        ASSERT_TRUE(env.getVariable("OAPANEL_LONG", value));
        // Compared whole but reported by size: the texts are long.
        EXPECT_TRUE(value == text) << value.size() << " bytes read";
        const std::string expanded = env.expand("<%OAPANEL_LONG%>");
        EXPECT_TRUE(expanded == "<" + text + ">") << expanded.size() << " bytes expanded";
    }
}

TEST(ProcessEnvironment, TellsAMissingVariableFromAnEmptyOne) {
    win32::Environment env;
    std::string value = "kept";
    EXPECT_FALSE(env.getVariable("OAPANEL_NEVER_SET", value));
    EXPECT_EQ(value, "kept");
    ASSERT_TRUE(env.setVariable("OAPANEL_EMPTY", ""));
    EXPECT_TRUE(env.getVariable("OAPANEL_EMPTY", value));
    EXPECT_EQ(value, "");
    EXPECT_EQ(env.expand(""), "");
}

TEST(ProcessEnvironment, BroadcastsASettingChange) {
    win32::Environment env;
    EXPECT_TRUE(env.broadcastSettingChange("Environment", 5000));
}

}  // namespace
