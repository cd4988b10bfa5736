// oamenuhook.dll: loaded into the panel by the window hook oadriver sets (see menu_probe.h),
// it reads the pop-up menu from inside the panel's own thread.
#include <algorithm>
#include <string>

#include "tests/e2e/menu_probe.h"

namespace {

std::wstring itemsOf(HMENU menu, int count) {
    std::wstring text;
    for (int i = 0; i < count; ++i) {
        if (GetMenuState(menu, UINT(i), MF_BYPOSITION) & MF_SEPARATOR) {
            text += L"-\n";
            continue;
        }
        wchar_t caption[256] = {};
        GetMenuStringW(menu, UINT(i), caption, 256, MF_BYPOSITION);
        text += caption;
        text += L'\n';
    }
    return text;
}

void report(HWND menuWindow, DWORD driverPid) {
    const std::wstring name = oadriver::menuProbeMappingName(driverPid);
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name.c_str());
    if (!mapping) return;
    auto* out = static_cast<oadriver::MenuProbeResult*>(
        MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(oadriver::MenuProbeResult)));
    if (out) {
        auto menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        const int count = menu ? GetMenuItemCount(menu) : -1;
        const std::wstring items = count > 0 ? itemsOf(menu, count) : std::wstring();
        const size_t room = sizeof out->items / sizeof out->items[0] - 1;
        items.copy(out->items, room);
        out->items[std::min(items.size(), room)] = L'\0';
        out->itemCount = count;
        InterlockedExchange(&out->answered, 1);
        UnmapViewOfFile(out);
    }
    CloseHandle(mapping);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK oaMenuProbe(int code, WPARAM wp, LPARAM lp) {
    static const UINT probe = RegisterWindowMessageW(oadriver::kMenuProbeMessage);
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lp);
        if (call->message == probe) report(call->hwnd, DWORD(call->wParam));
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
