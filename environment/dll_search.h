// Where the program's DLLs come from. It runs as administrator from a folder ordinary users
// may write, and Windows looks in the exe's folder (and the current one) before the system
// folder for every DLL that is not a "known DLL": a DLL planted there would run as
// administrator. So the search is closed before anything else loads.
#pragma once

#include "platform/platform.h"

namespace oapanel {

// The DLLs that the system's own DLLs (common controls, the shell, COM) load by name on the
// way to the first window, on a Windows that cannot restrict the search itself.
inline constexpr const char* kPreloadedDlls[] = {"uxtheme.dll",   "dwmapi.dll",  "version.dll",
                                                 "cryptbase.dll", "userenv.dll", "propsys.dll",
                                                 "oleacc.dll",    "apphelp.dll"};

// Takes the current folder out of the search and, where Windows can, restricts every later
// load by name to the system folder. Where it cannot (XP, Vista, 7 without KB2533623), the
// DLLs above are loaded from the system folder by full path now, so that the loads by name
// later find them already loaded; those a Windows lacks are skipped.
void CloseDllSearchPath(platform::Libraries& libraries);

}  // namespace oapanel
