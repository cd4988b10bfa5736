// The real machine under Wine: the Windows backend, arranged and inspected through Windows
// itself; and the backend cases that only a real machine can run (the window's own messages,
// how a launched child starts, COM around the process list, the mark a running copy leaves).
#include "platform/win32/network.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "platform/win32/win32_platform.h"
#include "registry/reg_key.h"
#include "tests/contract/machine.h"

namespace contract {

namespace {

// A file of the build on the Linux side, which Wine sees as drive Z:.
std::string built(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

std::string folder(DWORD(WINAPI* get)(DWORD, LPSTR)) {
    char path[MAX_PATH] = {};
    get(MAX_PATH, path);
    return path;
}

// Every description the process list gives.
std::vector<std::string> names(platform::Processes& processes) {
    std::vector<std::string> all;
    processes.enumerateProcessDescriptions([&](const std::string& name) {
        all.push_back(name);
        return true;
    });
    return all;
}

// Runs the work on a thread of its own and waits for it (COM apartments are per thread).
void onThread(const std::function<void()>& work) {
    const auto run = [](void* w) -> DWORD {
        (*static_cast<const std::function<void()>*>(w))();
        return 0;
    };
    const win32::KernelHandle thread(
        ::CreateThread(nullptr, 0, run, const_cast<std::function<void()>*>(&work), 0, nullptr));
    ::WaitForSingleObject(thread.get(), INFINITE);
}

// A window's end asks its thread to quit; that must not reach the next case.
void destroy(HWND window) {
    ::DestroyWindow(window);
    for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
    }
}

struct Recorder : platform::FormEvents {
    platform::FormModel* model = nullptr;
    std::vector<std::array<int, 3>> moves;  // control, x, y
    std::vector<int> clickValues;
    std::vector<std::uint32_t> trayMessages;
    void onLoad() override {}
    void onResize() override {}
    bool onQueryUnload(int) override { return false; }
    void onUnload() override {}
    void onClick(int id) override { clickValues.push_back(model->find(id)->value); }
    void onTimer(int) override {}
    void onListSelect(int, int) override {}
    bool onMouseMove(int id, int x, int y) override {
        moves.push_back({id, x, y});
        return id == 1;  // the program sets the pointer over control 1 itself
    }
    void onTrayMessage(std::uint32_t message) override { trayMessages.push_back(message); }
    void onTaskbarCreated() override {}
};

class WineMachine : public Machine {
public:
    Recorder events;  // of the window showWindow makes

    ~WineMachine() override {
        if (os_.window().mainWindow()) destroy(os_.window().mainWindow());
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    }
    platform::Platform& os() override { return os_; }
    std::string databaseServer() override {
        // A copy of its own, beside knobs that move its port: the host may hold 3307.
        const std::string exe = folder(::GetTempPathA) + "mysqld2.exe";
        ::CopyFileA(built(OAPANEL_BUNDLE_DIR "/mysql5/bin/mysqld2.exe").c_str(), exe.c_str(), 0);
        std::ofstream(folder(::GetTempPathA) + "mysqld2.knobs") << "port=" << freePort() << "\n";
        return exe;
    }
    std::string tempFolder() override { return folder(::GetTempPathA); }
    std::string iconFile() override { return built(OAPANEL_BUNDLE_DIR "/tomcat6/bin/stop.ico"); }
    void showWindow() override { os_.window().createForm(form_, events); }
    std::uint16_t freePort() override {
        sockaddr_in at{};
        int size = sizeof at;
        ::getsockname(bound({127, 0, 0, 1}, 0).get(), reinterpret_cast<sockaddr*>(&at), &size);
        return ::ntohs(at.sin_port);
    }
    void listen(const std::array<std::uint8_t, 4>& address, std::uint16_t port) override {
        listeners_.push_back(bound(address, port));
        EXPECT_EQ(::listen(listeners_.back().get(), 1), 0);
    }
    std::vector<std::uint8_t> hostAddress() override {
        const hostent* host = ::gethostbyname("");
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(host->h_addr_list[0]);
        return {bytes, bytes + host->h_length};
    }

private:
    static win32::SocketHandle bound(const std::array<std::uint8_t, 4>& address, u_short port) {
        win32::SocketHandle s(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in at{AF_INET, ::htons(port), {}, {}};
        std::copy(address.begin(), address.end(), reinterpret_cast<std::uint8_t*>(&at.sin_addr));
        EXPECT_EQ(::bind(s.get(), reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
        return s;
    }

    win32::WinsockStartup winsock_;  // for the machine's own sockets
    win32::Platform os_{::GetModuleHandleW(nullptr)};
    platform::FormModel form_;
    std::vector<win32::SocketHandle> listeners_;
};

// This binary, started with --probe FILE, lingers a little, then writes how it was started
// (whether a show mode was given and which, its folder) and the ids of its process and thread.
int probe(const char* file) {
    STARTUPINFOA startup{};
    ::GetStartupInfoA(&startup);
    ::Sleep(500);
    std::ofstream(file) << (startup.dwFlags & STARTF_USESHOWWINDOW) << ' ' << startup.wShowWindow
                        << ' ' << folder(::GetCurrentDirectoryA) << '\n'
                        << ::GetCurrentProcessId() << ' ' << ::GetCurrentThreadId();
    return 0;
}

// The probe's first line once it is `expected` (or a few seconds passed); `released` once its
// process and thread are gone (an ended one stays while a handle to it is open somewhere).
std::string report(const std::string& file, const std::string& expected, bool& released) {
    std::string line;
    DWORD process = 0, thread = 0;
    for (int i = 0; i < 100 && (line != expected || !process); ++i, ::Sleep(50)) {
        std::ifstream in(file);
        std::getline(in, line) >> process >> thread;
    }
    for (int i = 0; i < 100 && process && !released; ++i, ::Sleep(50))
        released = !win32::KernelHandle(::OpenProcess(SYNCHRONIZE, FALSE, process)) &&
                   !win32::KernelHandle(::OpenThread(SYNCHRONIZE, FALSE, thread));
    return line;
}

// The show mode and the folder reach the child, our handles do not; launch returns at once,
// launchAndWait once the child has ended; neither keeps a handle to it. The process list shows
// the child by its exe name while it runs, and no longer once it has ended.
TEST(WineLaunch, TheChildStartsAsAskedAndOnlyTheWaitWaits) {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string temp = folder(::GetTempPathA), exe = temp + "oapanel-probe.exe";
    ::CopyFileA(self, exe.c_str(), FALSE);
    const std::string waited = temp + "probe-waited", launched = temp + "probe-launched";
    ::DeleteFileA(waited.c_str());
    ::DeleteFileA(launched.c_str());
    win32::Processes processes;
    const auto listed = [&] {
        const auto all = names(processes);
        return std::count(all.begin(), all.end(), "oapanel-probe.exe") > 0;
    };
    bool released[2] = {};
    ASSERT_TRUE(processes.launchAndWait(exe + " --probe " + waited, "C:\\windows", INFINITE,
                                        SW_SHOWNORMAL, 0));
    EXPECT_TRUE(std::ifstream(waited).good()) << "launchAndWait returned before the child ended";
    EXPECT_EQ(report(waited, "1 1 C:\\windows", released[0]), "1 1 C:\\windows");

    // A child that inherited our pipe's write end would keep the pipe open after we close it.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    ASSERT_TRUE(::CreatePipe(&read, &write, &inheritable, 0));
    const win32::KernelHandle pipe(read);
    ASSERT_TRUE(processes.launch(exe + " --probe " + launched, SW_HIDE));
    ::CloseHandle(write);
    EXPECT_FALSE(std::ifstream(launched).good()) << "launch waited for the child";
    EXPECT_FALSE(::PeekNamedPipe(read, nullptr, 0, nullptr, nullptr, nullptr)) << "it has our pipe";
    EXPECT_TRUE(listed());
    const std::string shown = "1 0 " + folder(::GetCurrentDirectoryA);
    EXPECT_EQ(report(launched, shown, released[1]), shown);
    EXPECT_TRUE(released[0] && released[1]) << "a process or thread handle was kept";
    EXPECT_FALSE(listed());

    EXPECT_TRUE(processes.launchAndWait("cmd /c exit 3", "", INFINITE, SW_HIDE, 0));
    EXPECT_FALSE(processes.launch("Z:\\oapanel\\no such program.exe", SW_HIDE));
    EXPECT_EQ(processes.lastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_FALSE(processes.launch("", SW_HIDE));

    // A started command is watched until it ends, and named by its process id meanwhile.
    const platform::Handle held = processes.start(exe + " --probe " + launched, SW_HIDE);
    ASSERT_NE(held, 0u);
    EXPECT_FALSE(processes.hasEnded(held));
    EXPECT_EQ(processes.processName(::GetProcessId(reinterpret_cast<HANDLE>(held))),
              "oapanel-probe.exe");
    for (int i = 0; i < 100 && !processes.hasEnded(held); ++i) ::Sleep(50);
    EXPECT_TRUE(processes.hasEnded(held));
    processes.closeProcess(held);
    EXPECT_EQ(processes.start("Z:\\oapanel\\no such program.exe", SW_HIDE), 0u);
    EXPECT_EQ(processes.processName(0x7FFFFFF0), "");
}

// The process list works on a thread with COM in either apartment or none, and leaves that
// thread's COM as it found it.
TEST(WineProcessList, LeavesTheCallersComAsItWas) {
    for (const DWORD model : {~0ul, 0ul + COINIT_APARTMENTTHREADED, 0ul + COINIT_MULTITHREADED}) {
        const bool callers = model != ~0ul;
        HRESULT during = E_FAIL, after = E_FAIL;
        std::vector<std::string> listed;
        onThread([&] {
            if (callers) ::CoInitializeEx(nullptr, model);
            win32::Processes processes;
            listed = names(processes);
            during = ::CoInitializeEx(nullptr, callers ? model : DWORD{COINIT_APARTMENTTHREADED});
            ::CoUninitialize();
            if (callers) ::CoUninitialize();
            after = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            ::CoUninitialize();
        });
        EXPECT_FALSE(listed.empty()) << model;
        // S_FALSE: COM was still initialised; S_OK: it was not.
        EXPECT_EQ(during, callers ? S_FALSE : S_OK) << "the caller's COM was changed";
        EXPECT_EQ(after, S_OK) << "COM was left initialised";
    }
}

// Text stored through the "A" functions reads the same through the wide ones, as other programs
// (the Java runtime among them) read it.
TEST(WineRegistry, OtherProgramsReadTheTextAsStored) {
    WineMachine machine;
    oapanel::RegKey key(machine.os().registry());
    ASSERT_EQ(key.create(platform::kHkeyCurrentUser, kKey, platform::kKeyAllAccess), 0);
    const std::string gbk = machine.os().codec().toAnsi("中文") + '\0';
    machine.os().registry().setValue(key.get(), "v", platform::kRegSz, {gbk.begin(), gbk.end()});
    wchar_t text[8] = {};
    DWORD size = sizeof text;
    ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\oapanel-contract", L"v", RRF_RT_REG_SZ, nullptr,
                   text, &size);
    EXPECT_STREQ(text, L"中文");
}

// A double click on the icon in Wine's notification area reaches the program, as the icon's
// mouse message to the window that added it.
TEST(WineTray, AClickOnTheIconReachesTheProgram) {
    WineMachine machine;
    machine.showWindow();
    platform::Shell& shell = machine.os().shell();
    const platform::NotifyIconData nid{
        7, platform::kNifMessage | platform::kNifIcon, shell.storedPicture(2), "", "", "", 0};
    ASSERT_NE(shell.notifyIcon(platform::kNimAdd, nid), 0);
    const HWND tray = ::FindWindowW(L"__winex11_standalone_tray", nullptr);
    ::SendMessageW(::FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr),
                   WM_LBUTTONDBLCLK, 0, 0);
    for (int i = 0; i < 20 && machine.events.trayMessages.empty(); ++i)
        machine.os().windows().waitForEvents(50);
    EXPECT_EQ(machine.events.trayMessages, std::vector<std::uint32_t>{WM_LBUTTONDBLCLK});
    shell.notifyIcon(platform::kNimDelete, nid);
}

// A service's own notification ends the window system's wait as soon as the service runs.
TEST(WineServices, TheServiceSaysWhenItRuns) {
    WineMachine machine;
    platform::Platform& os = machine.os();
    const std::string name = "OapanelNotifyTest";
    std::ofstream(folder(::GetTempPathA) + "mysqld2.knobs") << "start_delay=1500\n";
    os.processes().launchAndWait("cmd /c " + machine.databaseServer() + " --install " + name, "",
                                 INFINITE, SW_HIDE, 0);
    auto& scm = os.services();
    const platform::Handle manager = scm.openSCManager(platform::kScManagerConnect);
    const platform::Handle service = scm.openService(manager, name, platform::kGenericRead);
    ASSERT_TRUE(scm.notifyStatusChange(service, platform::kNotifyRunning));
    os.processes().launchAndWait("cmd /c net start " + name, "", INFINITE, SW_HIDE, 0);
    platform::ServiceStatus status;
    const double start = os.clock().monotonicSeconds();
    while (scm.queryServiceStatus(service, status) &&
           status.currentState != platform::kServiceRunning &&
           os.clock().monotonicSeconds() - start < 20)
        os.windows().waitForEvents(10000);  // a long block: only the notification ends it early
    EXPECT_EQ(status.currentState, platform::kServiceRunning);
    EXPECT_LT(os.clock().monotonicSeconds() - start, 5.0);
    EXPECT_NE(status.processId, 0u);
    scm.closeServiceHandle(service);
    scm.closeServiceHandle(manager);
    os.processes().launchAndWait("cmd /c net stop " + name + " & sc delete " + name, "", INFINITE,
                                 SW_HIDE, 0);
}

// A quit request seen inside a wait is kept, not posted again: a posted one would wake every
// later wait at once, a busy loop while Windows shuts down.
TEST(WineWindow, AQuitSeenInAWaitEndsEveryWaitAfterIt) {
    win32::WindowSystem windows(::GetModuleHandleW(nullptr));
    ::PostQuitMessage(7);
    windows.waitForEvents(10);
    EXPECT_TRUE(windows.quitting());
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_EQ(windows.run(), 7);
}

TEST(WineApplication, ASecondCopyFindsTheMarkOfTheFirst) {
    win32::Application first(::GetModuleHandleW(nullptr)), second(::GetModuleHandleW(nullptr));
    EXPECT_FALSE(first.previousInstanceRunning());
    EXPECT_TRUE(second.previousInstanceRunning());
}

// The window turns what the user does into the program's events: the pointer over a control,
// in twips of that control (the pointer the program set stays, also while a button is pressed,
// which is no move); a check box's click, with its new value. A link lights up underlined in
// the window's own font.
TEST(WineWindow, TellsTheProgramWhatTheUserDoes) {
    platform::FormModel model;
    model.controls.resize(2);
    for (int id : {1, 2}) {
        platform::Control& c = model.controls[id - 1];
        c.id = id, c.left = 300, c.top = 600 * id, c.width = 3000, c.height = 375;
    }
    model.controls[1].kind = platform::ControlKind::CheckBox;
    Recorder events;
    events.model = &model;
    win32::WindowSystem windows(::GetModuleHandleW(nullptr));
    windows.createForm(model, events);
    const auto child = [&](int id) { return ::GetDlgItem(windows.mainWindow(), id); };
    const auto setCursor = [&](int id, UINT mouse) {
        return ::SendMessageW(child(id), WM_SETCURSOR, reinterpret_cast<WPARAM>(child(id)),
                              MAKELPARAM(HTCLIENT, mouse));
    };
    const auto font = [&](int id) {
        LOGFONTW lf{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(child(id), WM_GETFONT, 0, 0)),
                     sizeof lf, &lf);
        return lf;
    };

    RECT r{};
    ::GetWindowRect(child(1), &r);
    ::SetCursorPos(r.left + 20, r.top + 5);
    POINT at{};
    ::GetCursorPos(&at);
    ::ScreenToClient(child(1), &at);
    const int dpi = ::GetDeviceCaps(win32::WindowDC(nullptr).get(), LOGPIXELSY);
    EXPECT_EQ(setCursor(1, WM_MOUSEMOVE), TRUE);
    EXPECT_EQ(setCursor(1, WM_LBUTTONDOWN), TRUE);
    setCursor(2, WM_MOUSEMOVE);
    ASSERT_EQ(events.moves.size(), 2u);
    EXPECT_EQ(events.moves[0],
              (std::array{1, ::MulDiv(at.x, 1440, dpi), ::MulDiv(at.y, 1440, dpi)}));
    EXPECT_EQ(events.moves[1][0], 2);

    ::SendMessageW(child(2), BM_CLICK, 0, 0);
    ::SendMessageW(child(2), BM_CLICK, 0, 0);
    EXPECT_EQ(events.clickValues, (std::vector<int>{1, 0}));

    const LOGFONTW plain = font(1);
    model.controls[0].font = {"", 9, true, 0x00FF0000};
    windows.controlChanged(1, platform::Change::Font);
    EXPECT_TRUE(font(1).lfUnderline);
    EXPECT_EQ(std::wstring(font(1).lfFaceName), plain.lfFaceName);
    EXPECT_EQ(font(1).lfHeight, plain.lfHeight);
    model.controls[0].font = {};
    windows.controlChanged(1, platform::Change::Font);
    EXPECT_FALSE(font(1).lfUnderline);
    destroy(windows.mainWindow());
}

}  // namespace

std::unique_ptr<Machine> makeMachine() { return std::make_unique<WineMachine>(); }

}  // namespace contract

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--probe") return contract::probe(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
