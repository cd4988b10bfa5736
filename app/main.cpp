// oapanel.exe: the real machine, handed to the panel's start-up.
#include <windows.h>

#include <optional>

#include "panel/main_window.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    win32::Libraries libraries;
    std::optional<win32::Platform> os;
    return oapanel::RunPanel(
        libraries, [&]() -> platform::Platform& { return os.emplace(instance, libraries); });
}
