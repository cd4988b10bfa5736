#include "platform/win32/shell.h"

#include <objbase.h>
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>

#include <cstring>

#include "platform/win32/com.h"
#include "platform/win32/record_size.h"
#include "platform/win32/text.h"

namespace win32 {

// The balloon-era record (up to dwInfoFlags), which every shell since Windows 2000 reads.
static_assert(NOTIFYICONDATAW_V2_SIZE == recordSize(936, 952));
static_assert(sizeof(NOTIFYICONDATAW::szTip) == 128 * sizeof(WCHAR));

namespace {

// Fills a fixed field with the text in UTF-16: the balloon carries a reason and the server's
// own line, in any script, so no code page may drop characters or cut it at 255 bytes.
template <std::size_t N>
void copyText(WCHAR (&field)[N], const std::string& utf8) {
    const std::wstring text = fitField(utf8, N);
    std::memcpy(field, text.data(), text.size() * sizeof(WCHAR));
    field[text.size()] = L'\0';
}

}  // namespace

Shell::Shell(HINSTANCE instance, WindowSystem& windows)
    : instance_(instance), windows_(windows), random_(std::random_device{}()) {}

long Shell::notifyIcon(std::uint32_t message, const platform::NotifyIconData& data) {
    NOTIFYICONDATAW nid{};
    // The balloon-era layout: understood by every shell since Windows 2000.
    nid.cbSize = NOTIFYICONDATAW_V2_SIZE;
    nid.hWnd = windows_.mainWindow();
    nid.uID = data.uID;
    nid.uFlags = data.uFlags;
    nid.uCallbackMessage = WindowSystem::kTrayMessage;
    nid.hIcon = reinterpret_cast<HICON>(data.hIcon);
    copyText(nid.szTip, data.szTip);
    copyText(nid.szInfo, data.szInfo);
    copyText(nid.szInfoTitle, data.szInfoTitle);
    nid.dwInfoFlags = data.dwInfoFlags;
    return ::Shell_NotifyIconW(message, &nid) ? 1 : 0;
}

platform::Handle Shell::loadIconFile(const std::string& path, int cx, int cy, std::uint32_t flags) {
    // A stand-alone file is loaded without an instance handle.
    HANDLE icon = ::LoadImageA(nullptr, toAnsi(path).c_str(), IMAGE_ICON, cx, cy, flags);
    return reinterpret_cast<platform::Handle>(icon);
}

void Shell::destroyIcon(platform::Handle icon) {
    if (icon) ::DestroyIcon(reinterpret_cast<HICON>(icon));
}

platform::Handle Shell::storedPicture(platform::TrayPicture state) {
    const bool stopped = state == platform::TrayPicture::Stopped;
    Icon& picture = stopped ? stopped_ : running_;
    if (!picture) {
        const int id = stopped ? IDI_TRAY_STOPPED : IDI_TRAY_RUNNING;
        picture.reset(static_cast<HICON>(
            ::LoadImageW(instance_, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    }
    return reinterpret_cast<platform::Handle>(picture.get());
}

int Shell::popupMenu(const std::vector<platform::MenuItem>& items) {
    HWND owner = windows_.mainWindow();
    Menu menu(::CreatePopupMenu());
    if (!menu || !owner) return 0;
    for (const auto& item : items) {
        if (item.id == 0)
            ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
        else
            ::AppendMenuW(menu.get(), MF_STRING, static_cast<UINT_PTR>(item.id),
                          widen(item.caption).c_str());
    }
    POINT at{};
    ::GetCursorPos(&at);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    ::SetForegroundWindow(owner);
    const int chosen = static_cast<int>(
        ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr));
    ::PostMessageW(owner, WM_NULL, 0, 0);
    return chosen;
}

double Shell::random() { return std::uniform_real_distribution<double>(0.0, 1.0)(random_); }

bool Shell::shellExecuteOpen(const std::string& url) {
    // The shell may hand the address to extensions that need COM on this thread.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result > 32;  // lower values are error codes
}

namespace {

// The top-level browser of a shell window (SID_STopLevelBrowser).
const GUID kTopLevelBrowser = {
    0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};

// A variant that owns a copy of the text; empty text leaves it empty ("not given").
void setText(Variant& v, const std::string& text) {
    if (text.empty()) return;
    v.get()->vt = VT_BSTR;
    v.get()->bstrVal = ::SysAllocString(widen(text).c_str());
}

// The desktop's own shell object, from the window list of the shell that runs the desktop:
// its folder view, and the Shell.Application behind that view. It lives in Explorer, so what
// it starts runs with Explorer's rights.
bool desktopShell(ComPtr<IShellDispatch2>& shell) {
    ComPtr<IShellWindows> windows;
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                  IID_IShellWindows, reinterpret_cast<void**>(windows.out()))))
        return false;
    Variant location, root;
    long window = 0;
    ComPtr<IDispatch> desktop;
    ComPtr<IServiceProvider> provider;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background, application;
    ComPtr<IShellFolderViewDual> folderView;
    // S_FALSE: no desktop window is registered (no Explorer).
    return windows->FindWindowSW(location.get(), root.get(), SWC_DESKTOP, &window,
                                 SWFO_NEEDDISPATCH, desktop.out()) == S_OK &&
           desktop.get() &&
           SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider,
                                             reinterpret_cast<void**>(provider.out()))) &&
           SUCCEEDED(provider->QueryService(kTopLevelBrowser, IID_IShellBrowser,
                                            reinterpret_cast<void**>(browser.out()))) &&
           SUCCEEDED(browser->QueryActiveShellView(view.out())) &&
           SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                         reinterpret_cast<void**>(background.out()))) &&
           SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual,
                                                reinterpret_cast<void**>(folderView.out()))) &&
           SUCCEEDED(folderView->get_Application(application.out())) && application.get() &&
           SUCCEEDED(application->QueryInterface(IID_IShellDispatch2,
                                                 reinterpret_cast<void**>(shell.out())));
}

}  // namespace

bool Shell::shellExecuteAsDesktopUser(const std::string& file, const std::string& arguments) {
    const ComApartment com;
    ComPtr<IShellDispatch2> shell;
    if (!com.usable() || !desktopShell(shell)) return false;
    const Bstr program(widen(file).c_str());
    Variant args, folder, operation, show;
    setText(args, arguments);
    setText(operation, "open");
    show.get()->vt = VT_I4;
    show.get()->lVal = SW_SHOWNORMAL;
    return program &&
           SUCCEEDED(shell->ShellExecute(program.get(), *args, *folder, *operation, *show));
}

void Shell::setHandCursor() {
    ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // IDC_HAND
}

}  // namespace win32
