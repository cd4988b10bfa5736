#include "platform/win32/window_system.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "platform/win32/record_size.h"
#include "platform/win32/text.h"

namespace win32 {

static_assert(sizeof(INITCOMMONCONTROLSEX) == 8);
static_assert(sizeof(WNDCLASSEXW) == recordSize(48, 80));
static_assert(sizeof(LOGFONTW) == 92);
// XP's size: the Vista record adds iPaddedBorderWidth (504 bytes), and XP refuses
// SPI_GETNONCLIENTMETRICS for a record of that size.
static_assert(sizeof(NONCLIENTMETRICSW) == 500);

namespace {

const wchar_t kClassName[] = L"oapanel.frmMain";
constexpr int kTwipsPerInch = 1440;

// A face name cut to the record's field, always terminated. Not wcsncpy_s: XP's msvcrt.dll
// has none of the "_s" functions.
template <std::size_t N>
void setFaceName(wchar_t (&face)[N], const std::wstring& name) {
    const std::size_t n = std::min(name.size(), N - 1);
    std::copy_n(name.begin(), n, face);
    face[n] = L'\0';
}

struct ControlClass {
    const wchar_t* windowClass;
    DWORD style;
    DWORD exStyle;
};

ControlClass classOf(platform::ControlKind kind) {
    using K = platform::ControlKind;
    switch (kind) {
        case K::Button:
            return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
        case K::CheckBox:
            return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0};
        case K::ListBox:
            // Integral height stays on: the layout reads back the height the list box chose.
            return {L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY, WS_EX_CLIENTEDGE};
        case K::Label:
            return {L"STATIC", SS_LEFT | SS_NOTIFY, 0};
        case K::PictureBox:
            return {L"STATIC", SS_LEFT, 0};
        case K::Timer:
            break;
    }
    return {nullptr, 0, 0};
}

}  // namespace

WindowSystem::WindowSystem(HINSTANCE instance)
    // Common controls 6, for the themed look: loaded by name, since the manifest's side-by-side
    // assembly answers for that name before any folder is searched (a full path would bypass
    // it and give the old version 5). Without it the window still works, unthemed.
    : instance_(instance), commonControls_(::LoadLibraryW(L"comctl32.dll")) {
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    if (const auto init = lookUp<Init>(commonControls_.get(), "InitCommonControlsEx")) {
        const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
        init(&controls);
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WindowSystem::windowProc;
    wc.hInstance = instance_;
    wc.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(IDI_APP));
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    ::RegisterClassExW(&wc);

    // Explorer broadcasts this after it restarts, with an empty notification area.
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");

    WindowDC screen(nullptr);
    if (screen.get()) dpi_ = ::GetDeviceCaps(screen.get(), LOGPIXELSY);

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        // Every text of the window is Chinese: ask for a Chinese face at the system's size,
        // so the font mapper picks one with the glyphs even where the UI font lacks them.
        LOGFONTW font = metrics.lfMessageFont;
        font.lfCharSet = GB2312_CHARSET;
        setFaceName(font.lfFaceName, L"Microsoft YaHei UI");
        font_.reset(::CreateFontIndirectW(&font));
    }
}

WindowSystem::~WindowSystem() {
    if (hwnd_) ::DestroyWindow(hwnd_);
}

int WindowSystem::toPixels(int twips) const { return ::MulDiv(twips, dpi_, kTwipsPerInch); }
int WindowSystem::toTwips(int pixels) const { return ::MulDiv(pixels, kTwipsPerInch, dpi_); }

HWND WindowSystem::child(int id) const {
    auto it = children_.find(id);
    return it == children_.end() ? nullptr : it->second;
}

template <typename F>
void WindowSystem::guarded(F&& f) {
    // An exception must never unwind through Windows' own frames: report it and go on.
    try {
        f();
    } catch (const std::exception& e) {
        ::MessageBoxW(hwnd_, widen(e.what()).c_str(), L"oapanel", MB_OK | MB_ICONSTOP);
    }
}

// The panel runs elevated and Explorer does not: from Vista on, the message filter keeps
// Explorer's broadcast from the window unless it is let through. XP has no filter and neither
// function; Vista has only the process-wide one.
void WindowSystem::allowTaskbarCreated() {
    if (!taskbarCreated_) return;
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    using ForWindow = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    using ForProcess = BOOL(WINAPI*)(UINT, DWORD);
    constexpr DWORD kMsgFltAllow = 1, kMsgFltAdd = 1;
    if (const auto forWindow = reinterpret_cast<ForWindow>(
            reinterpret_cast<void*>(::GetProcAddress(user32, "ChangeWindowMessageFilterEx"))))
        forWindow(hwnd_, taskbarCreated_, kMsgFltAllow, nullptr);
    else if (const auto forProcess = reinterpret_cast<ForProcess>(
                 reinterpret_cast<void*>(::GetProcAddress(user32, "ChangeWindowMessageFilter"))))
        forProcess(taskbarCreated_, kMsgFltAdd);
}

std::uint32_t WindowSystem::createForm(platform::FormModel& model, platform::FormEvents& events) {
    model_ = &model;
    RECT frame{0, 0, toPixels(model.clientWidth), toPixels(model.clientHeight)};
    const DWORD style = WS_OVERLAPPEDWINDOW;
    const DWORD exStyle = WS_EX_CONTROLPARENT;
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    hwnd_ = ::CreateWindowExW(exStyle, kClassName, widen(model.caption).c_str(), style,
                              CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance_, this);
    if (!hwnd_) return ::GetLastError();
    allowTaskbarCreated();

    // Creating the controls in tab order makes the dialog navigation follow it.
    std::vector<platform::Control*> ordered;
    for (auto& c : model.controls) ordered.push_back(&c);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
    for (auto* c : ordered) createControl(*c);

    // Events flow only once every control exists; the load event sees the designed size.
    RECT outer{};
    ::GetWindowRect(hwnd_, &outer);
    model.width = toTwips(outer.right - outer.left);
    model.height = toTwips(outer.bottom - outer.top);
    events_ = &events;

    // The load event runs before the window is first shown, as the program expects.
    guarded([&] { events.onLoad(); });
    model.visible = true;
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    ::UpdateWindow(hwnd_);
    return 0;
}

void WindowSystem::createControl(platform::Control& c) {
    if (c.kind == platform::ControlKind::Timer) {
        applyTimer(c);
        return;
    }
    const ControlClass cls = classOf(c.kind);
    DWORD style = WS_CHILD | cls.style;
    if (c.visible) style |= WS_VISIBLE;
    if (!c.enabled) style |= WS_DISABLED;
    HWND h = ::CreateWindowExW(
        cls.exStyle, cls.windowClass, widen(c.caption).c_str(), style, toPixels(c.left),
        toPixels(c.top), toPixels(c.width), toPixels(c.height), hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance_, nullptr);
    if (!h) return;
    children_[c.id] = h;
    applyFont(c);
    for (const auto& item : c.items)
        ::SendMessageW(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
    if (c.kind == platform::ControlKind::ListBox) applyGeometry(c);
}

void WindowSystem::controlChanged(int controlId, platform::Change what) {
    using platform::Change;
    if (!model_ || !hwnd_) return;
    if (controlId == 0) {
        if (what == Change::Caption) ::SetWindowTextW(hwnd_, widen(model_->caption).c_str());
        if (what == Change::Visible) ::ShowWindow(hwnd_, model_->visible ? SW_SHOW : SW_HIDE);
        if (what == Change::State) {
            using platform::WindowState;
            const WindowState s = model_->state;
            ::ShowWindow(hwnd_, s == WindowState::Minimized   ? SW_MINIMIZE
                                : s == WindowState::Maximized ? SW_MAXIMIZE
                                                              : SW_RESTORE);
        }
        return;
    }
    platform::Control* c = model_->find(controlId);
    if (!c) return;
    if (c->kind == platform::ControlKind::Timer) {
        if (what == Change::Enabled || what == Change::Interval) applyTimer(*c);
        return;
    }
    HWND h = child(controlId);
    if (!h) return;
    switch (what) {
        case Change::Caption:
            ::SetWindowTextW(h, widen(c->caption).c_str());
            break;
        case Change::Enabled:
            ::EnableWindow(h, c->enabled);
            break;
        case Change::Visible:
            ::ShowWindow(h, c->visible ? SW_SHOW : SW_HIDE);
            break;
        case Change::Geometry:
            applyGeometry(*c);
            break;
        case Change::Selection:
            applySelection(*c);
            break;
        case Change::Font:
            applyFont(*c);
            ::InvalidateRect(h, nullptr, TRUE);
            break;
        case Change::Interval:
        case Change::State:
            break;
    }
}

void WindowSystem::applyGeometry(platform::Control& c) {
    HWND h = child(c.id);
    if (!h) return;
    ::MoveWindow(h, toPixels(c.left), toPixels(c.top), toPixels(c.width), toPixels(c.height), TRUE);
    if (c.kind == platform::ControlKind::ListBox) {
        // A list box may shorten itself to whole lines; the model holds what it really is.
        RECT r{};
        ::GetWindowRect(h, &r);
        c.height = toTwips(r.bottom - r.top);
    }
}

void WindowSystem::applyTimer(const platform::Control& c) {
    if (!hwnd_) return;
    if (c.enabled && c.interval > 0)
        ::SetTimer(hwnd_, static_cast<UINT_PTR>(c.id), static_cast<UINT>(c.interval), nullptr);
    else
        ::KillTimer(hwnd_, static_cast<UINT_PTR>(c.id));
}

void WindowSystem::applyFont(const platform::Control& c) {
    HWND h = child(c.id);
    if (!h) return;
    HFONT font = font_.get();
    if (!c.font.name.empty() || c.font.underline) {
        LOGFONTW lf{};
        if (c.font.name.empty()) {
            // The window's font, underlined.
            if (font) ::GetObjectW(font, sizeof lf, &lf);
        } else {
            lf.lfHeight = -::MulDiv(c.font.points, dpi_, 72);
            lf.lfWeight = FW_NORMAL;
            lf.lfCharSet = GB2312_CHARSET;
            setFaceName(lf.lfFaceName, widen(c.font.name));
        }
        lf.lfUnderline = c.font.underline;
        Font own(::CreateFontIndirectW(&lf));
        font = own.get();
        ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        controlFonts_[c.id] = std::move(own);  // the old font goes only after the switch
        return;
    }
    if (font) ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    controlFonts_.erase(c.id);
}

LRESULT WindowSystem::colorStatic(HDC dc, HWND control) {
    // Labels sit on the window's face colour, in their own colour when they have one.
    ::SetBkMode(dc, TRANSPARENT);
    const int id = ::GetDlgCtrlID(control);
    const platform::Control* c = model_ ? model_->find(id) : nullptr;
    const std::uint32_t color = c ? c->font.color : platform::kColorBtnText;
    ::SetTextColor(dc, color & platform::kSystemColor
                           ? ::GetSysColor(static_cast<int>(color & 0xFF))
                           : static_cast<COLORREF>(color));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

void WindowSystem::applySelection(const platform::Control& c) {
    if (HWND h = child(c.id)) ::SendMessageW(h, LB_SETCURSEL, static_cast<WPARAM>(c.selected), 0);
}

void WindowSystem::listAdded(int controlId) {
    platform::Control* c = model_ ? model_->find(controlId) : nullptr;
    HWND h = child(controlId);
    if (!c || !h || c->items.empty()) return;
    ::SendMessageW(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(c->items.back()).c_str()));
}

void WindowSystem::listReplaced(int controlId, int index) {
    platform::Control* c = model_ ? model_->find(controlId) : nullptr;
    HWND h = child(controlId);
    if (!c || !h || index < 0 || index >= static_cast<int>(c->items.size())) return;
    // A list box has no "set text": delete and insert, then put the selection back.
    ::SendMessageW(h, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(h, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    ::SendMessageW(
        h, LB_INSERTSTRING, static_cast<WPARAM>(index),
        reinterpret_cast<LPARAM>(widen(c->items[static_cast<std::size_t>(index)]).c_str()));
    applySelection(*c);
    ::SendMessageW(h, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(h, nullptr, TRUE);
}

void WindowSystem::listRemovedFirst(int controlId) {
    if (HWND h = child(controlId)) ::SendMessageW(h, LB_DELETESTRING, 0, 0);
}

bool WindowSystem::translate(MSG& msg) {
    // Dialog navigation gives the window Tab order and the Alt+letter access keys.
    if (hwnd_ && ::IsDialogMessageW(hwnd_, &msg)) return true;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return true;
}

void WindowSystem::pumpEvents() {
    MSG msg;
    while (!quitting_ && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Kept for the main loop, not posted again: a quit message in the queue would wake
            // every later wait at once and turn it into a busy loop.
            quitting_ = true;
            exitCode_ = static_cast<int>(msg.wParam);
            return;
        }
        translate(msg);
    }
}

void WindowSystem::waitForEvents(std::uint32_t maxMs) {
    if (quitting_) return;
    // MWMO_INPUTAVAILABLE: return at once for input that is already queued, not only for new.
    // Alertable, so that a service's status notification (an APC) ends the wait too; the
    // program hears of it before the messages that came meanwhile.
    if (::MsgWaitForMultipleObjectsEx(0, nullptr, maxMs, QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE | MWMO_ALERTABLE) == WAIT_IO_COMPLETION &&
        events_ && !unloaded_)
        guarded([&] { events_->onServiceNotified(); });
    pumpEvents();
}

int WindowSystem::run() {
    // The same wait as any other, without a time limit: the idle panel sleeps until a message
    // or a service notification comes.
    while (!quitting_) waitForEvents(INFINITE);
    return exitCode_;
}

platform::Handle WindowSystem::extractIcon(const std::string& exePath, int index) {
    const std::wstring path = widen(exePath);
    HMODULE module = ::GetModuleHandleW(path.c_str());
    HICON icon =
        ::ExtractIconW(module ? module : instance_, path.c_str(), static_cast<UINT>(index));
    // ExtractIcon answers 1 for a file that is not an executable or icon file.
    if (reinterpret_cast<UINT_PTR>(icon) <= 1) return 0;
    return reinterpret_cast<platform::Handle>(icon);
}

void WindowSystem::setSmallIcon(platform::Handle icon) {
    if (hwnd_) ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, static_cast<LPARAM>(icon));
}

void WindowSystem::destroyIcon(platform::Handle icon) {
    if (icon) ::DestroyIcon(reinterpret_cast<HICON>(icon));
}

LRESULT CALLBACK WindowSystem::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<WindowSystem*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<WindowSystem*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    // Before the form is wired up, and after the window is gone, Windows gets its defaults.
    if (!self || !self->events_ || !self->hwnd_) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->handle(msg, wParam, lParam);
}

LRESULT WindowSystem::handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == taskbarCreated_ && taskbarCreated_ != 0) {
        guarded([&] { events_->onTaskbarCreated(); });
        return 0;
    }
    switch (msg) {
        case kTrayMessage:
            guarded([&] { events_->onTrayMessage(LOWORD(lParam)); });
            return 0;
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_TIMER:
            guarded([&] { events_->onTimer(static_cast<int>(wParam)); });
            return 0;
        case WM_SIZE:
            onSize(wParam);
            return 0;
        case WM_SETCURSOR:
            if (onSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam)))
                return TRUE;
            return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
        case WM_CTLCOLORSTATIC:
            return colorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_CLOSE:
            close(0);
            return 0;
        case WM_QUERYENDSESSION: {
            bool cancel = false;
            guarded([&] { cancel = events_->onQueryUnload(2); });
            return cancel ? FALSE : TRUE;
        }
        case WM_ENDSESSION:
            // Windows is going away: unload as the program would, servers untouched, and let
            // any wait in progress end now.
            if (wParam && !unloaded_) {
                quitting_ = true;
                unloaded_ = true;
                guarded([&] { events_->onUnload(); });
                ::DestroyWindow(hwnd_);
            }
            return 0;
        case WM_DESTROY:
            hwnd_ = nullptr;
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
    }
}

void WindowSystem::close(int reason) {
    bool cancel = false;
    guarded([&] { cancel = events_->onQueryUnload(reason); });
    if (cancel || unloaded_) return;
    unloaded_ = true;
    guarded([&] { events_->onUnload(); });
    ::DestroyWindow(hwnd_);
}

void WindowSystem::onCommand(int id, int code) {
    platform::Control* c = model_->find(id);
    if (!c) return;
    if (c->kind == platform::ControlKind::ListBox) {
        if (code != LBN_SELCHANGE) return;
        c->selected = static_cast<int>(::SendMessageW(child(id), LB_GETCURSEL, 0, 0));
        guarded([&] { events_->onListSelect(id, c->selected); });
        return;
    }
    if (code != BN_CLICKED && code != STN_CLICKED) return;
    // The box has already changed its check: the handler reads the new value.
    if (c->kind == platform::ControlKind::CheckBox)
        c->value = ::SendMessageW(child(id), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    guarded([&] { events_->onClick(id); });
}

bool WindowSystem::onSetCursor(HWND over, UINT hitTest, UINT mouseMessage) {
    // A control's default handling asks its parent first, so the pointer over any control
    // arrives here: this is where the program hears the mouse move over its controls.
    if (!model_ || over == hwnd_ || hitTest != HTCLIENT) return false;
    const int id = ::GetDlgCtrlID(over);
    if (!model_->find(id)) return false;
    // Presses and releases come here too: the pointer the program chose stays as it is.
    if (mouseMessage != WM_MOUSEMOVE) return id == pointerControl_;
    POINT at{};
    ::GetCursorPos(&at);
    ::ScreenToClient(over, &at);
    bool own = false;
    guarded([&] { own = events_->onMouseMove(id, toTwips(at.x), toTwips(at.y)); });
    pointerControl_ = own ? id : 0;
    return own;
}

void WindowSystem::onSize(WPARAM kind) {
    using platform::WindowState;
    model_->state = kind == SIZE_MINIMIZED   ? WindowState::Minimized
                    : kind == SIZE_MAXIMIZED ? WindowState::Maximized
                                             : WindowState::Normal;
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    model_->width = toTwips(r.right - r.left);
    model_->height = toTwips(r.bottom - r.top);
    guarded([&] { events_->onResize(); });
}

}  // namespace win32
