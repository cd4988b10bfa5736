// A child for the launch tests: it reports how it was started, then ends.
//
//   launch_probe REPORT [EVENT]
//
// With EVENT it first waits (at most 10 s) until the test sets that named event, so the test
// can look at it while it runs. REPORT then receives one line:
//   <STARTUPINFO dwFlags> <wShowWindow> <process id> <main thread id> <1 if EVENT was set>
// It is written under another name and renamed, so a reader never sees half of it.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoA(&startup);

    int released = 0;
    if (argc > 2) {
        HANDLE event = ::OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
        if (event) {
            released = ::WaitForSingleObject(event, 10000) == WAIT_OBJECT_0;
            ::CloseHandle(event);
        }
    }

    const std::string report = argv[1];
    const std::string partial = report + ".part";
    FILE* out = std::fopen(partial.c_str(), "w");
    if (!out) return 3;
    std::fprintf(out, "%lu %u %lu %lu %d\n", static_cast<unsigned long>(startup.dwFlags),
                 static_cast<unsigned>(startup.wShowWindow),
                 static_cast<unsigned long>(::GetCurrentProcessId()),
                 static_cast<unsigned long>(::GetCurrentThreadId()), released);
    std::fclose(out);
    return ::MoveFileExA(partial.c_str(), report.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
