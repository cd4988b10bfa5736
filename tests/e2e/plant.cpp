// plant.dll: what a user might drop beside oapanel.exe under the name of a system DLL. Loaded
// into any process, it leaves a mark: a line with its own path in C:\planted-marks.txt.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t line[MAX_PATH + 2] = {};
    DWORD length = ::GetModuleFileNameW(self, line, MAX_PATH);
    line[length++] = L'\r', line[length++] = L'\n';
    // A failed open leaves an invalid handle, which the write and the close refuse.
    const HANDLE mark = ::CreateFileW(L"C:\\planted-marks.txt", FILE_APPEND_DATA, FILE_SHARE_READ,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(mark, line, length * sizeof(wchar_t), &written, nullptr);
    ::CloseHandle(mark);
    return TRUE;
}
