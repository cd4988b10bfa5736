// Stand-ins for the bundle's database server (mysqld2.exe, a bare listener on 3307) and web
// container (tomcat6svc.exe, built with OAPANEL_STUB_WEB: HTTP on 8080). They are real
// Windows services that register, start, stop and listen like the real ones, and misbehave
// when a test asks in <exe>.knobs beside the exe, one key=value a line:
//   register=never   the install command fails without registering the service
//   start_delay=MS   stay START_PENDING this long before RUNNING
//   start=never      stay START_PENDING until stopped
//   port=N           listen on N instead of the usual port
// What they do goes to <exe>.log beside the exe, one stamped line each.
//
//   <exe> --install [NAME] [--basedir=DIR]   register service NAME
//   <exe> --service NAME                     run as service NAME (the service manager does this)
//
// Only Win32 threads (the service dispatcher's own), so that it builds with either MinGW
// thread model.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace {

#ifdef OAPANEL_STUB_WEB
constexpr bool kWeb = true;
constexpr u_short kPort = 8080;
constexpr wchar_t kDefaultName[] = L"Tomcat6Brackwen";
#else
constexpr bool kWeb = false;
constexpr u_short kPort = 3307;
constexpr wchar_t kDefaultName[] = L"MySQL5Brackwen";
#endif

template <class Raw, auto close, Raw invalid = Raw{}>
class Owned {
public:
    explicit Owned(Raw raw = invalid) : raw_(raw) {}
    Owned(Owned&& other) noexcept : raw_(std::exchange(other.raw_, invalid)) {}
    Owned& operator=(Owned&&) = delete;
    ~Owned() {
        if (raw_ != invalid) close(raw_);
    }
    Raw get() const { return raw_; }
    explicit operator bool() const { return raw_ != invalid; }

private:
    Raw raw_;
};
using ScHandle = Owned<SC_HANDLE, CloseServiceHandle>;
using Handle = Owned<HANDLE, CloseHandle>;
using Socket = Owned<SOCKET, closesocket, INVALID_SOCKET>;
using File = Owned<FILE*, fclose>;

std::wstring besideExe(const wchar_t* extension) {
    wchar_t path[MAX_PATH] = {};
    std::wstring own(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return own.substr(0, own.find_last_of(L'.')) + extension;
}

std::string narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out += c < 0x80 ? char(c) : '?';
    return out;
}

void note(const std::string& line, bool toConsole = false) {
    if (toConsole) std::printf("%s\n", line.c_str());
    SYSTEMTIME t{};
    GetLocalTime(&t);
    File log(_wfopen(besideExe(L".log").c_str(), L"ab"));
    if (log)
        std::fprintf(log.get(), "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] %s\r\n", t.wYear,
                     t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                     GetCurrentProcessId(), line.c_str());
}

struct Knobs {
    bool registerNever = false;
    DWORD startDelay = 0;  // INFINITE for start=never
    u_short port = kPort;
};

// A line the stub does not understand fails the stub loudly: a misspelt knob must not leave
// a scenario checking a well-behaved server while it believes it checks a broken one.
std::optional<Knobs> loadKnobs() {
    Knobs knobs;
    File in(_wfopen(besideExe(L".knobs").c_str(), L"rb"));
    char buf[256];
    while (in && std::fgets(buf, sizeof buf, in.get())) {
        std::string line(buf);
        line.erase(line.find_last_not_of(" \t\r\n") + 1);
        const auto eq = line.find('=');
        const std::string key = line.substr(0, eq),
                          value = eq == line.npos ? "" : line.substr(eq + 1);
        char* end = nullptr;
        const unsigned long number = std::strtoul(value.c_str(), &end, 10);
        const bool isNumber = !value.empty() && *end == '\0';
        if (line.empty()) continue;
        if (line == "register=never")
            knobs.registerNever = true;
        else if (line == "start=never")
            knobs.startDelay = INFINITE;
        else if (key == "start_delay" && isNumber && number < INFINITE)
            knobs.startDelay = DWORD(number);
        else if (key == "port" && isNumber && number >= 1 && number <= 65535)
            knobs.port = u_short(number);
        else {
            note("bad knob: " + line, true);
            return std::nullopt;
        }
    }
    return knobs;
}

int install(const std::wstring& name) {
    const auto knobs = loadKnobs();
    if (!knobs || knobs->registerNever) {
        note("install " + narrow(name) + ": refused", true);
        return 1;
    }
    const std::wstring exe = besideExe(L".exe");
    // ImagePath is unquoted, as the panel expects: a blank would make it run something else.
    if ((exe + name).find_first_of(L" \t\"") != std::wstring::npos) {
        note("install: refusing a path or name with blanks or quotes", true);
        return 1;
    }
    const std::wstring command = exe + L" --service " + name;
    ScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    ScHandle service(
        scm ? CreateServiceW(scm.get(), name.c_str(), name.c_str(), SERVICE_QUERY_STATUS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr)
            : nullptr);
    if (!service) {
        note("install " + narrow(name) + ": failed, error " + std::to_string(GetLastError()), true);
        return 1;
    }
    note("install " + narrow(name) + ": registered as " + narrow(command), true);
    return 0;
}

// Only the service thread reports the status, so no lock is needed; the control handler
// (on the dispatcher's thread) just raises the stop event.
struct Service {
    std::wstring name;
    Knobs knobs;
    Handle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    SERVICE_STATUS_HANDLE handle = nullptr;
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, 0, 0, NO_ERROR, 0, 0, 0};

    // Repeating a pending state advances its checkpoint: the manager sees progress.
    void report(DWORD state, DWORD exitCode = NO_ERROR) {
        const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        status.dwCheckPoint = pending ? status.dwCheckPoint + 1 : 0;
        status.dwCurrentState = state;
        status.dwControlsAccepted = state == SERVICE_STOPPED ? 0 : SERVICE_ACCEPT_STOP;
        status.dwWin32ExitCode = exitCode;
        status.dwWaitHint = pending ? 2000 : 0;
        SetServiceStatus(handle, &status);
    }

    // True when a stop came within `ms`.
    bool stopWithin(DWORD ms) {
        for (;;) {
            const DWORD slice = std::min<DWORD>(ms, 1000);
            if (WaitForSingleObject(stop.get(), slice) == WAIT_OBJECT_0) return true;
            if (ms != INFINITE) ms -= slice;
            if (ms == 0) return false;
            report(SERVICE_START_PENDING);
        }
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

Socket listenOn(u_short port) {
    Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const BOOL exclusive = TRUE;  // a second server on the port must fail, not share it
    if (!s ||
        setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive), sizeof exclusive) != 0 ||
        bind(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(s.get(), SOMAXCONN) != 0)
        return Socket();
    return s;
}

// The web container answers any request with one small page; the database only accepts.
void answer(const Socket& client) {
    if (!kWeb) return;
    // The accepted socket inherits the listener's non-blocking event mode: undo that, and give
    // a silent client two seconds at most.
    WSAEventSelect(client.get(), nullptr, 0);
    u_long blocking = 0;
    ioctlsocket(client.get(), FIONBIO, &blocking);
    const DWORD timeoutMs = 2000;
    setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof timeoutMs);
    char request[4096];
    if (recv(client.get(), request, sizeof request, 0) <= 0) return;
    const std::string body = "<html><head><title>OA</title></head><body>OA</body></html>\r\n";
    const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    send(client.get(), reply.data(), int(reply.size()), 0);
    shutdown(client.get(), SD_SEND);
}

// Accepts until stopped; reports RUNNING only once the port is really ours.
DWORD serve(Service& service) {
    Socket listener = listenOn(service.knobs.port);
    Handle incoming(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const std::string where = "127.0.0.1:" + std::to_string(service.knobs.port);
    if (!listener || !incoming || WSAEventSelect(listener.get(), incoming.get(), FD_ACCEPT) != 0) {
        const int error = WSAGetLastError();
        note("cannot listen on " + where + ", error " + std::to_string(error));
        return DWORD(error ? error : ERROR_SERVICE_SPECIFIC_ERROR);
    }
    service.report(SERVICE_RUNNING);
    note("running, listening on " + where);
    const HANDLE events[] = {service.stop.get(), incoming.get()};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        WSANETWORKEVENTS happened{};
        WSAEnumNetworkEvents(listener.get(), incoming.get(), &happened);  // resets the event
        while (true) {
            Socket client(accept(listener.get(), nullptr, nullptr));
            if (!client) break;
            answer(client);
        }
    }
    service.report(SERVICE_STOP_PENDING);
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, LPWSTR*) {
    Service& service = *g_service;
    service.handle = RegisterServiceCtrlHandlerExW(service.name.c_str(), control, nullptr);
    if (!service.handle) {
        note("cannot register the control handler, error " + std::to_string(GetLastError()));
        return;
    }
    service.report(SERVICE_START_PENDING);
    const DWORD exitCode = service.stopWithin(service.knobs.startDelay) ? NO_ERROR : serve(service);
    note("stopped");
    service.report(SERVICE_STOPPED, exitCode);
}

int runService(const std::wstring& name) {
    WSADATA wsa{};
    const auto knobs = loadKnobs();
    if (!knobs || WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    Service service{name, *knobs};
    g_service = &service;
    std::wstring tableName = name;
    const SERVICE_TABLE_ENTRYW table[] = {{tableName.data(), serviceMain}, {nullptr, nullptr}};
    const bool ran = StartServiceCtrlDispatcherW(table);
    if (!ran)
        note("--service: not started by the service manager, error " +
                 std::to_string(GetLastError()),
             true);
    WSACleanup();
    return ran ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring_view command = argc > 1 ? argv[1] : L"";
    std::wstring name = kDefaultName;
    int next = 2;
    if (next < argc && !std::wstring_view(argv[next]).starts_with(L"--")) name = argv[next++];
    // Only the install command takes an option, the one the real server knows.
    const bool basedir = next < argc && command == L"--install" &&
                         std::wstring_view(argv[next]).starts_with(L"--basedir=");
    if (next + basedir == argc) {
        if (command == L"--install") return install(name);
        if (command == L"--service" && next == 3) return runService(name);
    }
    std::fprintf(stderr, "usage: --install [NAME] [--basedir=DIR] | --service NAME\n");
    return 2;
}
