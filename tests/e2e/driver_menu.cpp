// oadriver commands for the tray icon's pop-up menu: list its items, choose one.
#include <memory>

#include "tests/e2e/driver.h"
#include "tests/e2e/menu_probe.h"

namespace oadriver {

namespace {

constexpr wchar_t kMenuClass[] = L"#32768";

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct ViewUnmapper {
    void operator()(void* view) const { UnmapViewOfFile(view); }
};

struct HookRemover {
    void operator()(HHOOK h) const { UnhookWindowsHookEx(h); }
};
using Hook = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRemover>;

std::optional<HWND> popupMenu() {
    for (HWND w : topLevelWindows())
        if (IsWindowVisible(w) && classOf(w) == kMenuClass) return w;
    return std::nullopt;
}

std::optional<HWND> waitPopupMenu(const Deadline& d) {
    return waitFor<HWND>(d, [] { return popupMenu(); });
}

std::wstring besideUs(std::wstring_view fileName) {
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + std::wstring(fileName);
}

// The menu's items, "-" for a separator; nothing (and why) when it cannot be read.
std::optional<std::vector<std::wstring>> readMenu(const Deadline& d, HWND menuWindow,
                                                  std::wstring& why) {
    const DWORD us = GetCurrentProcessId();
    Handle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(MenuProbeResult), menuProbeMappingName(us).c_str()));
    std::unique_ptr<void, ViewUnmapper> view(
        mapping ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(MenuProbeResult))
                : nullptr);
    const std::wstring dllPath = besideUs(kMenuHookDll);
    HMODULE dll = LoadLibraryW(dllPath.c_str());
    // Through void*: FARPROC and HOOKPROC differ in arguments, which the compiler warns about.
    auto probe = dll ? reinterpret_cast<HOOKPROC>(
                           reinterpret_cast<void*>(GetProcAddress(dll, kMenuProbeProc)))
                     : nullptr;
    if (!view || !probe) {
        why = L"cannot prepare the menu probe (" + dllPath + L")";
        return std::nullopt;
    }
    const DWORD menuThread = GetWindowThreadProcessId(menuWindow, nullptr);
    Hook hook(SetWindowsHookExW(WH_CALLWNDPROC, probe, dll, menuThread));
    if (!hook) {
        why = L"cannot hook the menu's thread, error " + std::to_wstring(GetLastError());
        return std::nullopt;
    }
    // The hook runs before the menu window's procedure sees the message, so the answer is
    // in place once the send returns.
    send(d, menuWindow, RegisterWindowMessageW(kMenuProbeMessage), us);
    const auto* result = static_cast<const MenuProbeResult*>(view.get());
    if (!result->answered) {
        why = L"the menu probe did not answer";
        return std::nullopt;
    }
    if (result->itemCount < 0) {
        why = L"the menu window had no menu";
        return std::nullopt;
    }
    std::vector<std::wstring> items;
    std::wstring_view text(result->items);
    for (size_t start = 0, end; (end = text.find(L'\n', start)) != text.npos; start = end + 1)
        items.emplace_back(text.substr(start, end - start));
    return items;
}

int withMenu(const Deadline& d,
             const std::function<int(HWND, const std::vector<std::wstring>&)>& use) {
    auto menuWindow = waitPopupMenu(d);
    if (!menuWindow) return fail(L"no pop-up menu appeared");
    std::wstring why;
    auto items = readMenu(d, *menuWindow, why);
    return items ? use(*menuWindow, *items) : fail(why);
}

void postKey(HWND w, WPARAM key) {
    PostMessageW(w, WM_KEYDOWN, key, 1);
    PostMessageW(w, WM_KEYUP, key, LPARAM(0xC0000001));
}

}  // namespace

int menuItems(Args, const Deadline& d) {
    return withMenu(d, [](HWND, const std::vector<std::wstring>& items) {
        for (const auto& item : items) printLine(item);
        return kOk;
    });
}

// Chosen the way a keyboard user would: Down to the item (separators are skipped), Enter.
int menuPick(Args a, const Deadline& d) {
    return withMenu(d, [&](HWND menuWindow, const std::vector<std::wstring>& items) {
        int downs = 0;
        bool found = false;
        for (const auto& item : items) {
            if (item == L"-") continue;
            ++downs;
            if (item == a[0]) {
                found = true;
                break;
            }
        }
        if (!found) return fail(L"the menu has no item " + a[0]);
        for (int i = 0; i < downs; ++i) postKey(menuWindow, VK_DOWN);
        postKey(menuWindow, VK_RETURN);
        auto closed = waitFor<bool>(d, [&] {
            return IsWindow(menuWindow) && IsWindowVisible(menuWindow) ? std::nullopt
                                                                       : std::optional(true);
        });
        return closed ? kOk : fail(L"the menu did not close");
    });
}

}  // namespace oadriver
