// oapanel.exe: builds the real machine, hands it to the main window and runs the message loop.
#include <windows.h>
#include <commctrl.h>

#include "panel/frmMain.h"
#include "platform/win32/win32_platform.h"

static_assert(sizeof(INITCOMMONCONTROLSEX) == 8);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Load comctl32 v6 so the controls take the themed look the manifest asks for.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    win32::Platform os(instance);
    oapanel::frmMain form(os);
    form.Show();
    return os.window().run();
}
