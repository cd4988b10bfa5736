// plant.dll: what a user might drop beside oapanel.exe under the name of a system DLL. Loaded
// into any process, it leaves a mark: a line with its own path in C:\planted-marks.txt.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(self, path, MAX_PATH);
    const HANDLE mark = ::CreateFileW(L"C:\\planted-marks.txt", FILE_APPEND_DATA, FILE_SHARE_READ,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(mark, path, length * sizeof(wchar_t), &written, nullptr);
        ::WriteFile(mark, L"\r\n", 4, &written, nullptr);
        ::CloseHandle(mark);
    }
    return TRUE;
}
