// Stand-ins for the bundle's database server (mysqld2.exe, on 3307) and web container
// (tomcat6svc.exe, on 8080; the same program, which knows its role by its name). They are real
// Windows services that
// register, start, stop and listen like the real ones, and misbehave when a test asks in
// <exe>.knobs beside the exe, one key=value a line:
//   register=never   the install command fails without registering the service
//   start_delay=MS   stay START_PENDING this long before RUNNING
//   start=never      stay START_PENDING until stopped
//   start=fail       stop again at once with exit code 1067, like a server dying at start-up
//   port=N           listen on N instead of the usual port
// A port they cannot take stops them too, with the socket error as the exit code. What they
// do goes to <exe>.log beside the exe, one stamped line each.
//
//   <exe> --install NAME [--basedir=DIR]     register service NAME
//   <exe> --service NAME                     run as service NAME (the service manager does this)
//
// Only Win32 threads (the service dispatcher's own), so that it builds with either MinGW
// thread model.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

template <auto close>
struct Closer {
    void operator()(auto handle) const { close(handle); }
};
using ScHandle = std::unique_ptr<SC_HANDLE__, Closer<CloseServiceHandle>>;
using Handle = std::unique_ptr<void, Closer<CloseHandle>>;
using File = std::unique_ptr<FILE, Closer<fclose>>;
struct Socket {
    SOCKET s;
    ~Socket() { closesocket(s); }
};

std::wstring besideExe(const wchar_t* extension) {
    wchar_t path[MAX_PATH] = {};
    std::wstring own(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return own.substr(0, own.find_last_of(L'.')) + extension;
}

// A service has no console: the log beside the exe is where a failing test looks.
template <class... Args>
void note(const char* format, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    SYSTEMTIME t{};
    GetLocalTime(&t);
    if (File log(_wfopen(besideExe(L".log").c_str(), L"ab")); log)
        std::fprintf(log.get(), "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] %s\r\n", t.wYear,
                     t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                     GetCurrentProcessId(), text);
}

struct Knobs {
    bool registerNever = false, startFail = false;
    DWORD startDelay = 0;  // INFINITE for start=never
    u_short port = besideExe(L"").ends_with(L"\\tomcat6svc") ? 8080 : 3307;
};

// A line the stub does not understand fails the stub loudly: a misspelt knob must not leave
// a scenario checking a well-behaved server while it believes it checks a broken one.
std::optional<Knobs> loadKnobs() {
    Knobs knobs;
    File in(_wfopen(besideExe(L".knobs").c_str(), L"rb"));
    for (char line[256]; in && std::fgets(line, sizeof line, in.get());) {
        line[std::strcspn(line, " \t\r\n")] = '\0';
        unsigned long n = 0;
        char more = 0;
        if (!*line) continue;
        if (!std::strcmp(line, "register=never"))
            knobs.registerNever = true;
        else if (!std::strcmp(line, "start=never"))
            knobs.startDelay = INFINITE;
        else if (!std::strcmp(line, "start=fail"))
            knobs.startFail = true;
        else if (std::sscanf(line, "start_delay=%lu%c", &n, &more) == 1 && n < INFINITE)
            knobs.startDelay = DWORD(n);
        else if (std::sscanf(line, "port=%lu%c", &n, &more) == 1 && n >= 1 && n <= 65535)
            knobs.port = u_short(n);
        else
            return note("bad knob: %s", line), std::nullopt;
    }
    return knobs;
}

int install(const std::wstring& name) {
    const auto knobs = loadKnobs();
    const std::wstring exe = besideExe(L".exe"), command = exe + L" --service " + name;
    // ImagePath is unquoted, as the panel expects: a blank would make it run something else.
    const bool refused =
        !knobs || knobs->registerNever || (exe + name).find_first_of(L" \t\"") != exe.npos;
    ScHandle scm(refused ? nullptr : OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    ScHandle service(
        scm ? CreateServiceW(scm.get(), name.c_str(), name.c_str(), SERVICE_QUERY_STATUS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr)
            : nullptr);
    note("install %ls as %ls: %s, error %lu", name.c_str(), command.c_str(),
         service ? "registered" : "refused", refused ? 0 : GetLastError());
    return service ? 0 : 1;
}

// Only the service thread reports the status, so no lock is needed; the control handler
// (on the dispatcher's thread) just raises the stop event.
struct Service {
    std::wstring name;
    Knobs knobs;
    Handle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    SERVICE_STATUS_HANDLE handle = nullptr;
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, 0, 0, NO_ERROR, 0, 0, 0};

    void report(DWORD state, DWORD exitCode = NO_ERROR) {
        status.dwCurrentState = state;
        status.dwControlsAccepted = state == SERVICE_STOPPED ? 0 : SERVICE_ACCEPT_STOP;
        status.dwWin32ExitCode = exitCode;
        SetServiceStatus(handle, &status);
    }
};
Service* g_service = nullptr;  // ServiceMain has no context parameter

DWORD WINAPI control(DWORD code, DWORD, void*, void*) {
    if (code == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
    if (code != SERVICE_CONTROL_STOP) return ERROR_CALL_NOT_IMPLEMENTED;
    note("stop requested");
    SetEvent(g_service->stop.get());
    return NO_ERROR;
}

// Listens until stopped: a port that takes connections is all the panel and the tests look
// for (they queue unanswered). RUNNING is reported only once the port is really ours.
DWORD serve(Service& service) {
    const Socket listener{socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)};
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(service.knobs.port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const BOOL exclusive = TRUE;  // a second server on the port must fail, not share it
    setsockopt(listener.s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    if (bind(listener.s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener.s, SOMAXCONN) != 0) {
        const int error = WSAGetLastError();
        note("cannot listen on 127.0.0.1:%u, error %d", service.knobs.port, error);
        return DWORD(error);
    }
    service.report(SERVICE_RUNNING);
    note("running, listening on 127.0.0.1:%u", service.knobs.port);
    WaitForSingleObject(service.stop.get(), INFINITE);
    service.report(SERVICE_STOP_PENDING);
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, LPWSTR*) {
    Service& service = *g_service;
    service.handle = RegisterServiceCtrlHandlerExW(service.name.c_str(), control, nullptr);
    if (!service.handle)
        return note("cannot register the control handler, error %lu", GetLastError());
    service.report(SERVICE_START_PENDING);
    DWORD exitCode = NO_ERROR;
    if (service.knobs.startFail)
        exitCode = ERROR_PROCESS_ABORTED;
    else if (WaitForSingleObject(service.stop.get(), service.knobs.startDelay) == WAIT_TIMEOUT)
        exitCode = serve(service);
    note("stopped, exit code %lu", exitCode);
    service.report(SERVICE_STOPPED, exitCode);
}

int runService(std::wstring name) {
    WSADATA wsa{};
    const auto knobs = loadKnobs();
    if (!knobs || WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    Service service{name, *knobs};
    g_service = &service;
    const SERVICE_TABLE_ENTRYW table[] = {{name.data(), serviceMain}, {nullptr, nullptr}};
    const bool ran = StartServiceCtrlDispatcherW(table);
    if (!ran) note("--service: not started by the service manager, error %lu", GetLastError());
    WSACleanup();
    return ran ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring_view command = argc > 2 ? argv[1] : L"";
    // Only the install command takes an option, the one the real server knows.
    const bool basedir = argc == 4 && std::wstring_view(argv[3]).starts_with(L"--basedir=");
    if (command == L"--install" && (argc == 3 || basedir)) return install(argv[2]);
    if (command == L"--service" && argc == 3) return runService(argv[2]);
    std::fprintf(stderr, "usage: --install NAME [--basedir=DIR] | --service NAME\n");
    return 2;
}
