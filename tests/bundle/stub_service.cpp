// Stand-ins for the bundle's database server and web container: real Windows services that
// register, start, stop and listen like the real ones, and misbehave on request (see the
// knobs file). Built with OAPANEL_STUB_WEB this is the web container (HTTP on 8080),
// without it the database server (a bare TCP listener on 3307).
//
//   <exe> --install [NAME] [--basedir=DIR]   register service NAME
//   <exe> --remove [NAME]                    delete service NAME
//   <exe> --service NAME                     run as service NAME (the service manager does this)
#include "stub_handles.h"
#include "stub_logic.h"
#include "stub_server.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace oapanel::stub {
namespace {

#ifdef OAPANEL_STUB_WEB
constexpr bool kWeb = true;
constexpr u_short kPort = 8080;
constexpr const wchar_t* kDefaultName = L"Tomcat6Brackwen";
#else
constexpr bool kWeb = false;
constexpr u_short kPort = 3307;
constexpr const wchar_t* kDefaultName = L"MySQL5Brackwen";
#endif

// Pending states are reported again at this interval so the service manager sees progress.
constexpr DWORD kProgressMs = 1000;

std::filesystem::path own_path() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

std::filesystem::path beside_exe(const wchar_t* extension) {
    return own_path().replace_extension(extension);
}

std::string narrow(const std::wstring& s) {
    std::string out;
    for (const wchar_t c : s) out += c < 0x80 ? char(c) : '?';
    return out;
}

// A service has no console, so everything worth knowing also goes to <exe>.log beside the
// exe, where a failing test can look at it.
void note(const std::string& line, bool to_console = false) {
    if (to_console) std::fprintf(stdout, "%s\n", line.c_str());
    SYSTEMTIME t{};
    GetLocalTime(&t);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", t.wYear,
                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                  GetCurrentProcessId());
    std::ofstream log(beside_exe(L".log"), std::ios::app | std::ios::binary);
    log << stamp << line << "\r\n";
}

Knobs load_knobs() {
    std::ifstream in(beside_exe(L".knobs"), std::ios::binary);
    if (!in) return {};
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return parse_knobs(text);
}

// Sleep() in slices, so that a huge knob value can never turn into INFINITE.
void pause(Millis duration) {
    for (auto left = duration.count(); left > 0; left -= kProgressMs)
        Sleep(DWORD(std::min<long long>(left, kProgressMs)));
}

// The path goes into ImagePath unquoted, so a blank in it or in the name would make the
// service manager run a different program (or pass a different name).
bool safe_for_image_path(const std::wstring& s) {
    return !s.empty() && s.find_first_of(L" \t\"") == std::wstring::npos;
}

int install(const std::wstring& name) {
    const Knobs knobs = load_knobs();
    pause(knobs.register_delay);
    if (knobs.register_never) {
        note("install " + narrow(name) + ": refused (register=never)", true);
        return 1;
    }
    const std::wstring exe = own_path().wstring();
    if (!safe_for_image_path(exe) || !safe_for_image_path(name)) {
        note("install: refusing an exe path or service name with blanks or quotes", true);
        return 1;
    }
    const std::wstring command = exe + L" --service " + name;
    const ScHandle scm{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE)};
    if (!scm) {
        note("install: cannot open the service manager, error " + std::to_string(GetLastError()),
             true);
        return 1;
    }
    const ScHandle service{
        CreateServiceW(scm.get(), name.c_str(), name.c_str(), SERVICE_QUERY_STATUS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr)};
    if (!service) {
        const DWORD error = GetLastError();
        note("install " + narrow(name) + ": " +
                 (error == ERROR_SERVICE_EXISTS ? std::string("the service already exists")
                                                : "failed, error " + std::to_string(error)),
             true);
        return 1;
    }
    note("install " + narrow(name) + ": registered as " + narrow(command), true);
    return 0;
}

int uninstall(const std::wstring& name) {
    const ScHandle scm{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
    const ScHandle service{scm ? OpenServiceW(scm.get(), name.c_str(), DELETE) : nullptr};
    if (!service || !DeleteService(service.get())) {
        note("remove " + narrow(name) + ": failed, error " + std::to_string(GetLastError()), true);
        return 1;
    }
    note("remove " + narrow(name) + ": deleted", true);
    return 0;
}

// What the service manager sees. The control handler and the service thread both report,
// so changes are serialised here.
class Status {
public:
    Status() { InitializeCriticalSection(&lock_); }
    ~Status() { DeleteCriticalSection(&lock_); }
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;

    void attach(SERVICE_STATUS_HANDLE handle) { handle_ = handle; }

    // Repeating a pending state advances its checkpoint, which tells the manager we are
    // alive. Once stopping, the service never goes back to starting or running.
    void report(DWORD state, DWORD exit_code = NO_ERROR) {
        const Locked locked(lock_);
        const bool stopping = status_.dwCurrentState == SERVICE_STOP_PENDING;
        if (stopping && (state == SERVICE_START_PENDING || state == SERVICE_RUNNING)) return;
        const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        status_.dwCheckPoint =
            pending ? (state == status_.dwCurrentState ? status_.dwCheckPoint + 1 : 1) : 0;
        status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status_.dwCurrentState = state;
        status_.dwControlsAccepted = state == SERVICE_STOPPED ? 0 : SERVICE_ACCEPT_STOP;
        status_.dwWin32ExitCode = exit_code;
        status_.dwWaitHint = pending ? 2 * kProgressMs : 0;
        SetServiceStatus(handle_, &status_);
    }

    void repeat() {
        const Locked locked(lock_);
        SetServiceStatus(handle_, &status_);
    }

private:
    // Holds the critical section for a scope (no std::mutex in the win32-threads runtime).
    class Locked {
    public:
        explicit Locked(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
        ~Locked() { LeaveCriticalSection(&lock_); }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

    private:
        CRITICAL_SECTION& lock_;
    };

    CRITICAL_SECTION lock_;
    SERVICE_STATUS_HANDLE handle_ = nullptr;
    SERVICE_STATUS status_{};
};

struct Runtime {
    Runtime(std::wstring service_name, Knobs wanted)
        : name(std::move(service_name)), knobs(wanted) {}

    std::wstring name;
    Knobs knobs;
    KernelHandle stop_requested{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Status status;
};

Runtime* g_runtime = nullptr;  // ServiceMain has no context parameter

// Waits up to `duration` in `state`, reporting progress. Returns true if a stop came first.
bool wait_in(Runtime& rt, DWORD state, Millis duration) {
    for (auto left = duration.count(); left > 0; left -= kProgressMs) {
        const DWORD slice = DWORD(std::min<long long>(left, kProgressMs));
        if (WaitForSingleObject(rt.stop_requested.get(), slice) == WAIT_OBJECT_0) return true;
        rt.status.report(state);
    }
    return WaitForSingleObject(rt.stop_requested.get(), 0) == WAIT_OBJECT_0;
}

// Stays in STOP_PENDING for `duration`, reporting progress; the stop is already decided.
void linger_stopping(Runtime& rt, Millis duration) {
    for (auto left = duration.count(); left > 0; left -= kProgressMs) {
        Sleep(DWORD(std::min<long long>(left, kProgressMs)));
        rt.status.report(SERVICE_STOP_PENDING);
    }
}

DWORD WINAPI control_handler(DWORD control, DWORD, void*, void* context) {
    Runtime& rt = *static_cast<Runtime*>(context);
    if (control == SERVICE_CONTROL_INTERROGATE) {
        rt.status.repeat();
        return NO_ERROR;
    }
    if (control != SERVICE_CONTROL_STOP) return ERROR_CALL_NOT_IMPLEMENTED;
    if (rt.knobs.stop_refuse) {
        note("stop request ignored (stop=refuse)");
        rt.status.repeat();
        return NO_ERROR;
    }
    note("stop requested");
    rt.status.report(SERVICE_STOP_PENDING);
    SetEvent(rt.stop_requested.get());
    return NO_ERROR;
}

// Runs until the service is stopped; ends the process itself only for crash_after.
void run(Runtime& rt) {
    rt.status.report(SERVICE_START_PENDING);
    bool stop = false;
    if (rt.knobs.start_never) {
        note("start=never: staying START_PENDING");
        stop = WaitForSingleObject(rt.stop_requested.get(), INFINITE) == WAIT_OBJECT_0;
    } else {
        stop = wait_in(rt, SERVICE_START_PENDING, rt.knobs.start_delay);
    }

    DWORD exit_code = NO_ERROR;
    std::optional<Server> server;
    if (!stop) {
        int error = 0;
        const u_short port = rt.knobs.port.value_or(kPort);
        if (auto listener = Server::listen_on_loopback(port, error)) {
            server.emplace(std::move(*listener), kWeb);
            rt.status.report(SERVICE_RUNNING);
            note("running, listening on 127.0.0.1:" + std::to_string(port));
        } else {
            // Never claim RUNNING when the port is not ours.
            note("cannot listen on 127.0.0.1:" + std::to_string(port) + ", error " +
                 std::to_string(error));
            exit_code = DWORD(error);
        }
    }
    if (server) {
        const auto started = GetTickCount64();
        for (;;) {
            DWORD slice = INFINITE;
            if (rt.knobs.crash_after) {
                const auto elapsed = GetTickCount64() - started;
                const auto after = ULONGLONG(rt.knobs.crash_after->count());
                if (elapsed >= after) {
                    note("crash_after: exiting abruptly");
                    ExitProcess(3);
                }
                slice = DWORD(std::min<ULONGLONG>(after - elapsed, kProgressMs));
            }
            if (WaitForSingleObject(rt.stop_requested.get(), slice) == WAIT_OBJECT_0) break;
        }
    }
    // The port stays open while stopping, as a slow real server's would.
    if (stop || server) linger_stopping(rt, rt.knobs.stop_delay);
    server.reset();
    note("stopped");
    rt.status.report(SERVICE_STOPPED, exit_code);
}

void WINAPI service_main(DWORD, LPWSTR*) {
    Runtime& rt = *g_runtime;
    const SERVICE_STATUS_HANDLE handle =
        RegisterServiceCtrlHandlerExW(rt.name.c_str(), control_handler, &rt);
    if (!handle) {
        note("cannot register the control handler, error " + std::to_string(GetLastError()));
        return;
    }
    rt.status.attach(handle);
    run(rt);
}

int run_service(const std::wstring& name) {
    const WsaSession wsa;
    Runtime rt{name, load_knobs()};
    if (!wsa.ok() || !rt.stop_requested) {
        note("cannot initialise (winsock or event)", true);
        return 1;
    }
    g_runtime = &rt;
    std::wstring table_name = name;
    const SERVICE_TABLE_ENTRYW table[] = {{table_name.data(), service_main}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        note("--service only works when started by the service manager, error " +
                 std::to_string(GetLastError()),
             true);
        return 1;
    }
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: %s --install [NAME] [--basedir=DIR] | --remove [NAME] | --service NAME\n",
                 narrow(own_path().filename().wstring()).c_str());
    return 2;
}

}  // namespace
}  // namespace oapanel::stub

int wmain(int argc, wchar_t** argv) {
    using namespace oapanel::stub;
    if (argc < 2) return usage();
    const std::wstring command = argv[1];
    std::wstring name = kDefaultName;
    int next = 2;
    if (next < argc && std::wstring_view(argv[next]).substr(0, 2) != L"--") name = argv[next++];
    for (; next < argc; ++next) {
        // Only the install command takes options, and only the one the real server knows.
        if (command != L"--install" || std::wstring_view(argv[next]).substr(0, 10) != L"--basedir=")
            return usage();
    }
    if (command == L"--install") return install(name);
    if (command == L"--remove") return uninstall(name);
    if (command == L"--service" && argc == 3) return run_service(name);
    return usage();
}
