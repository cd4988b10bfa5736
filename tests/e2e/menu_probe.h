// How oadriver reads the tray icon's pop-up menu. Menus belong to the process that made
// them, and Wine (unlike Windows) refuses to read another process's menu, so the driver
// hooks the panel's window procedure calls with oamenuhook.dll. Sent the probe message, the
// hook asks the menu window for its menu (MN_GETHMENU) from inside the panel and copies the
// items into a file mapping the driver made.
#pragma once

#include <windows.h>

#include <string>

namespace oadriver {

constexpr wchar_t kMenuProbeMessage[] = L"oadriver.menu-probe";  // wParam: the driver's PID
constexpr char kMenuProbeProc[] = "oaMenuProbe";
constexpr wchar_t kMenuHookDll[] = L"oamenuhook.dll";

// What the hook leaves in the mapping: the items, one per line, "-" for a separator.
struct MenuProbeResult {
    LONG answered;  // set last, once the rest is written
    LONG itemCount;
    wchar_t items[4096];
};

inline std::wstring menuProbeMappingName(DWORD driverPid) {
    return L"oadriver.menu." + std::to_wstring(driverPid);
}

}  // namespace oadriver
