// The backend cases only a real machine can run: how a launched child starts, COM around the
// process list, the window's own messages and Wine's notification area.
#include <gtest/gtest.h>
#include <objbase.h>

#include <filesystem>
#include <fstream>

#include "machine.h"
#include "platform/win32/text.h"

namespace contract {

namespace {

using namespace platform;

// This binary, started with --probe FILE, lingers a little, then writes how it was started
// (whether a show mode was given and which, its folder) and the ids of its process and thread.
int probe(const char* file) {
    STARTUPINFOA startup{};
    ::GetStartupInfoA(&startup);
    ::Sleep(500);
    std::ofstream(file) << (startup.dwFlags & STARTF_USESHOWWINDOW) << ' ' << startup.wShowWindow
                        << ' ' << std::filesystem::current_path().string() << '\n'
                        << ::GetCurrentProcessId() << ' ' << ::GetCurrentThreadId();
    return 0;
}

// The probe's first line once its process and thread are gone: an ended one stays while a
// handle to it is open somewhere.
std::string report(const std::string& file) {
    std::string line;
    DWORD process = 0, thread = 0;
    for (int i = 0; i < 200; ++i, ::Sleep(50)) {
        std::ifstream in(file);
        if (std::getline(in, line) >> process >> thread &&
            !win32::KernelHandle(::OpenProcess(SYNCHRONIZE, FALSE, process)) &&
            !win32::KernelHandle(::OpenThread(SYNCHRONIZE, FALSE, thread)))
            return line;
    }
    return line + " (a handle to it was kept)";
}

// The colours of a 16x16 icon, to tell two pictures apart.
std::vector<std::uint32_t> pixels(Handle icon) {
    ICONINFO info{};
    std::vector<std::uint32_t> bits(16 * 16);
    if (!::GetIconInfo(reinterpret_cast<HICON>(icon), &info)) return {};
    ::GetBitmapBits(info.hbmColor, static_cast<LONG>(bits.size() * sizeof bits[0]), bits.data());
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return bits;
}

// The show mode and the folder reach the child, our handles do not; launchAndWait returns once
// the child has ended; no call keeps a handle to it. A command that cannot start says why. A
// started command is watched until it ends, and named by its process id meanwhile.
TEST(WineLaunch, TheChildStartsAsAskedAndOnlyTheWaitWaits) {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string exe = "C:\\probe.exe", waited = "C:\\waited", ran = "C:\\ran";
    ::CopyFileA(self, exe.c_str(), FALSE);
    win32::Processes processes;
    ASSERT_TRUE(processes.launchAndWait(exe + " --probe " + waited, "C:\\windows", INFINITE,
                                        SW_SHOWNORMAL, 0));
    EXPECT_TRUE(std::ifstream(waited).good()) << "launchAndWait returned before the child ended";
    EXPECT_EQ(report(waited), "1 1 C:\\windows");

    // A child that inherited our pipe's write end would keep the pipe open after we close it.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    ASSERT_TRUE(::CreatePipe(&read, &write, &inheritable, 0));
    const win32::KernelHandle pipe(read);
    ASSERT_TRUE(processes.launch(exe + " --probe " + ran, SW_HIDE));
    ::CloseHandle(write);
    EXPECT_FALSE(::PeekNamedPipe(read, nullptr, 0, nullptr, nullptr, nullptr)) << "it has our pipe";
    EXPECT_EQ(report(ran), "1 0 " + std::filesystem::current_path().string());
    EXPECT_TRUE(!processes.launch("Z:\\oapanel\\no such program.exe", SW_HIDE) &&
                processes.lastError() == ERROR_FILE_NOT_FOUND);

    const Handle started = processes.start(exe + " --probe " + ran, SW_HIDE);
    ASSERT_NE(started, 0u);
    EXPECT_FALSE(processes.hasEnded(started));
    EXPECT_EQ(processes.processName(::GetProcessId(reinterpret_cast<HANDLE>(started))),
              "probe.exe");
    for (int i = 0; i < 100 && !processes.hasEnded(started); ++i) ::Sleep(50);
    EXPECT_TRUE(processes.hasEnded(started));
    processes.closeProcess(started);
}

// The process list works on a thread with COM started in either apartment, and leaves that
// thread's COM as it found it: starting COM again answers S_FALSE while it is still started.
TEST(WineProcessList, LeavesTheCallersComAsItWas) {
    for (const auto model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
        ::CoInitializeEx(nullptr, model);
        const bool listed = win32::Processes().enumerateProcessDescriptions(
            [](const std::string&) { return true; });
        const HRESULT during = ::CoInitializeEx(nullptr, model);
        ::CoUninitialize();
        ::CoUninitialize();
        const HRESULT after = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ::CoUninitialize();
        EXPECT_EQ(std::tuple(listed, during, after), std::tuple(true, S_FALSE, S_OK)) << model;
    }
}

// A text for a fixed field (the tray's tooltip and balloon) is whole when it fits with its NUL,
// else cut between two characters, never inside a surrogate pair (the third row), and ended
// with "…".
TEST(WineText, ATextTooLongForItsFieldIsCutBetweenCharacters) {
    const std::tuple<std::string, std::size_t, std::wstring> rows[] = {
        {"中文ab", 5, L"中文ab"}, {"中文ab", 4, L"中文…"}, {"a\U0001F600b", 4, L"a…"}};
    for (const auto& [text, field, fitted] : rows) EXPECT_EQ(win32::fitField(text, field), fitted);
}

// A second copy of the program finds the mark the first one left.
TEST(WineApplication, ASecondCopyFindsTheMarkOfTheFirst) {
    win32::Application first(::GetModuleHandleW(nullptr)), second(::GetModuleHandleW(nullptr));
    EXPECT_TRUE(!first.previousInstanceRunning() && second.previousInstanceRunning());
}

struct Recorder : FormEvents {
    FormModel* model = nullptr;
    std::vector<std::array<int, 3>> moves;  // control, x, y
    std::vector<int> clickValues;
    std::vector<std::uint32_t> trayMessages;
    int ticks = 0, notified = 0;
    void onLoad() override {}
    void onResize() override {}
    bool onQueryUnload(int) override { return false; }
    void onUnload() override {}
    void onClick(int id) override { clickValues.push_back(model->find(id)->value); }
    void onTimer(int) override { ++ticks; }
    void onListSelect(int, int) override {}
    // The program set the pointer itself.
    bool onMouseMove(int id, int x, int y) override { return moves.push_back({id, x, y}), true; }
    void onTrayMessage(std::uint32_t message) override { trayMessages.push_back(message); }
    void onTaskbarCreated() override {}
    void onServiceNotified() override { ++notified; }
};

// The window turns what the user does into the program's events: a timer ticks only while it
// is switched on; a minimised window says so; the pointer over a control, in twips of that
// control (the pointer the program set stays, also while a button is pressed, which is no
// move); a check box's click with its new value; a double click on the tray icon in Wine's
// notification area. A link lights up underlined in the window's own font. A quit seen in a
// wait is kept, not posted again: a posted one would wake every later wait at once, a busy
// loop while Windows shuts down.
TEST(WineWindow, TellsTheProgramWhatTheUserDoes) {
    FormModel model;
    model.controls.resize(2);
    Control &control = model.controls[0], &timer = model.controls[1];
    control.id = 1, control.kind = ControlKind::CheckBox, control.width = 3000,
    control.height = 375;
    timer.id = 2, timer.kind = ControlKind::Timer, timer.interval = 50, timer.enabled = false;
    Recorder events;
    events.model = &model;
    win32::Libraries libraries;
    win32::Platform os(::GetModuleHandleW(nullptr), libraries);
    os.window().createForm(model, events);
    for (int i = 0; i < 4; ++i) os.window().waitForEvents(50);
    EXPECT_EQ(events.ticks, 0) << "a timer switched off does not tick";
    // A service's notification comes as an APC: it ends the wait, and the program hears of it.
    ::QueueUserAPC([](ULONG_PTR) {}, ::GetCurrentThread(), 0);
    os.window().waitForEvents(5000);
    EXPECT_EQ(events.notified, 1);
    timer.enabled = true;
    os.window().controlChanged(2, Change::Enabled);
    for (int i = 0; i < 20 && !events.ticks; ++i) os.window().waitForEvents(50);
    EXPECT_EQ(events.ticks, 1);
    ::ShowWindow(os.window().mainWindow(), SW_MINIMIZE);  // the state the program hides on
    EXPECT_EQ(model.state, WindowState::Minimized);
    ::ShowWindow(os.window().mainWindow(), SW_RESTORE);
    EXPECT_EQ(model.state, WindowState::Normal);
    const HWND box = ::GetDlgItem(os.window().mainWindow(), 1);
    RECT r{};
    ::GetWindowRect(box, &r);
    ::SetCursorPos(r.left + 20, r.top + 5);
    for (const UINT mouse : {WM_MOUSEMOVE, WM_LBUTTONDOWN})
        EXPECT_TRUE(::SendMessageW(box, WM_SETCURSOR, WPARAM(box), MAKELPARAM(HTCLIENT, mouse)));
    EXPECT_EQ(events.moves, (std::vector<std::array<int, 3>>{{1, 300, 75}})) << "twips at 96 dpi";
    ::SendMessageW(box, BM_CLICK, 0, 0);
    ::SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(events.clickValues, (std::vector<int>{1, 0}));

    LOGFONTW plain{}, lit{};
    const auto font = [&](LOGFONTW& lf) {
        ::GetObjectW(HFONT(::SendMessageW(box, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    };
    font(plain);
    control.font = {"", 9, true, 0x00FF0000};
    os.window().controlChanged(1, Change::Font);
    font(lit);
    EXPECT_TRUE(lit.lfUnderline && lit.lfHeight == plain.lfHeight &&
                std::wstring(lit.lfFaceName) == plain.lfFaceName);

    // The tray icon from its add to its delete, with the pictures kept for it; a double click on
    // it in Wine's notification area.
    Shell& shell = os.shell();
    const Handle icon =
        shell.loadIconFile(OAPANEL_BUNDLE_DIR "/tomcat6/bin/stop.ico", 16, 16, kLrLoadFromFile);
    const Handle stopped = shell.storedPicture(TrayPicture::Stopped),
                 running = shell.storedPicture(TrayPicture::Running);
    EXPECT_TRUE(icon && stopped && shell.storedPicture(TrayPicture::Stopped) == stopped)
        << "each picture loaded once, not on every call";
    EXPECT_NE(pixels(stopped), pixels(running)) << "a picture for each state";
    NotifyIconData nid{7, kNifMessage | kNifIcon, icon, "", "", "", 0};
    EXPECT_EQ(shell.notifyIcon(kNimModify, nid), 0) << "no icon yet";
    ASSERT_NE(shell.notifyIcon(kNimAdd, nid), 0);
    ::SendMessageW(::FindWindowExW(::FindWindowW(L"__winex11_standalone_tray", nullptr), nullptr,
                                   L"__winex11_tray_icon", nullptr),
                   WM_LBUTTONDBLCLK, 0, 0);
    for (int i = 0; i < 20 && events.trayMessages.empty(); ++i) os.windows().waitForEvents(50);
    EXPECT_EQ(events.trayMessages, std::vector<std::uint32_t>{WM_LBUTTONDBLCLK});
    EXPECT_NE(shell.notifyIcon(kNimDelete, nid), 0);
    shell.destroyIcon(icon);

    ::DestroyWindow(os.window().mainWindow());  // which asks to quit, as this does
    ::PostQuitMessage(7);
    os.windows().waitForEvents(10);
    MSG msg;
    EXPECT_TRUE(os.windows().quitting() &&
                !::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_EQ(os.window().run(), 7);
}

}  // namespace

}  // namespace contract

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--probe") return contract::probe(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
