// oapanel.exe: closes the DLL search path, builds the real machine, hands it to the main
// window and runs the message loop.
#include <windows.h>
#include <commctrl.h>

#include "environment/dll_search.h"
#include "panel/frmMain.h"
#include "platform/win32/win32_platform.h"

static_assert(sizeof(INITCOMMONCONTROLSEX) == 8);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // First of all: no DLL may come from the application folder from here on.
    win32::Libraries libraries;
    oapanel::CloseDllSearchPath(libraries);

    // Common controls 6, for the themed look: loaded by name, since the manifest's side-by-side
    // assembly answers for that name before any folder is searched (a full path would bypass
    // it and give the old version 5). Without it the window still works, unthemed.
    const win32::Library commonControls(::LoadLibraryW(L"comctl32.dll"));
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    if (const auto init = win32::lookUp<Init>(commonControls.get(), "InitCommonControlsEx")) {
        const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
        init(&controls);
    }

    win32::Platform os(instance, libraries);
    oapanel::frmMain form(os);
    form.Show();
    return os.window().run();
}
