// Stand-ins for the bundle's database server (mysqld2.exe, on 3307) and web container
// (tomcat6svc.exe, on 8080; the same program, which knows its role by its name). They are real
// Windows services that register, start, stop and answer like the real ones, and misbehave when
// a test asks in <exe>.knobs beside the exe, one key=value a line:
//   register=never   the install command fails without registering the service
//   start_delay=MS   stay START_PENDING this long before RUNNING
//   start=never      stay START_PENDING until stopped
//   start=fail       stop again at once with exit code 1067, like a server dying at start-up
//   port=N           listen on N instead of the usual port
//   greet=silent     accept connections but never send a byte (either role)
//   ready_delay=MS   web container only: /oa answers 404 until MS after RUNNING, then 200
//   port_taken=run   web container only: a port it cannot take leaves it RUNNING with nothing
//                    listening, as Tomcat 6 runs on without its connector
//   die_after=MS     MS after RUNNING, write a last error into the server's log, say STOPPED
//                    with exit code 1067 and end the process at once, as Windows reports a
//                    server that crashes (Wine's service manager would not notice by itself)
//   hang_after=MS    from MS after RUNNING (from RUNNING when only hang_for is given), for
//   hang_for=MS      hang_for MS (for good when only hang_after is given): accept connections
//                    but send nothing, then answer again; a stop still ends it at once
// Once RUNNING, the database greets each connection with a MySQL protocol-10 handshake and
// the web container answers HTTP/1.0: 200 for /oa and /oa/ when ready, 404 otherwise, 400 for
// a request head that is not whole within 2 s and 4 KB. Connections are served one at a time.
// A port they cannot take stops them too, with the socket error as the exit code. At that, at
// start=fail, port_taken=run and die_after they write what the real server would into its own
// log, the cause first and then what follows from it (Tomcat's Catalina.start wrapper, mysqld's
// "Aborting" and shutdown lines), in the server's format and, for the web container's
// Chinese level words, in GBK as a Chinese Windows would: mysql5\data\stub.err or
// tomcat6\logs\catalina.YYYY-MM-DD.log. What they do goes to <exe>.log beside the exe, one
// stamped line each (an answer to a browser too, with its path and status).
//
//   <exe> --install NAME [--basedir=DIR]     register service NAME
//   <exe> --service NAME                     run as service NAME (the service manager does this)
//
// Only Win32 threads (the service dispatcher's own), so that it builds with either MinGW
// thread model.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <climits>
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
    bool web = besideExe(L"").ends_with(L"\\tomcat6svc");
    bool registerNever = false, startFail = false, silent = false, portTakenRuns = false;
    DWORD startDelay = 0;  // INFINITE for start=never
    DWORD readyDelay = 0;
    DWORD dieAfter = INFINITE;                       // never
    DWORD hangAfter = INFINITE, hangFor = INFINITE;  // no hang; for good
    DWORD port = web ? 8080 : 3307;
};

// A line the stub does not understand fails the stub loudly: a misspelt knob must not leave
// a scenario checking a well-behaved server while it believes it checks a broken one.
std::optional<Knobs> loadKnobs() {
    Knobs k;
    File in(_wfopen(besideExe(L".knobs").c_str(), L"rb"));
    for (char line[256]; in && std::fgets(line, sizeof line, in.get());) {
        line[std::strcspn(line, " \t\r\n")] = '\0';
        const auto word = [&](const char* knob, bool& set) {
            return !std::strcmp(line, knob) && (set = true);
        };
        // FORMAT is "key=%lu%c": a number, then nothing more.
        const auto number = [&](const char* format, DWORD& set, unsigned long low = 0,
                                unsigned long high = INFINITE - 1) {
            unsigned long n = 0;
            char more = 0;
            return std::sscanf(line, format, &n, &more) == 1 && n >= low && n <= high &&
                   (set = DWORD(n), true);
        };
        if (!*line || word("register=never", k.registerNever) || word("start=fail", k.startFail) ||
            (!std::strcmp(line, "start=never") && (k.startDelay = INFINITE)) ||
            number("start_delay=%lu%c", k.startDelay) || number("port=%lu%c", k.port, 1, 65535) ||
            word("greet=silent", k.silent) || number("die_after=%lu%c", k.dieAfter) ||
            number("hang_after=%lu%c", k.hangAfter) || number("hang_for=%lu%c", k.hangFor) ||
            (k.web && (number("ready_delay=%lu%c", k.readyDelay) ||
                       word("port_taken=run", k.portTakenRuns))))
            continue;
        return note("bad knob: %s", line), std::nullopt;
    }
    if (k.hangFor != INFINITE && k.hangAfter == INFINITE) k.hangAfter = 0;
    return k;
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

// Only the service thread reports through `status`, so no lock is needed; the control handler
// (on the dispatcher's thread) just raises the stop event, and die_after's thread reports its
// last status from a record of its own.
struct Service {
    std::wstring name;
    Knobs knobs;
    Handle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    SERVICE_STATUS_HANDLE handle = nullptr;
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, 0, 0, NO_ERROR, 0, 0, 0};
    ULONGLONG runningSince = 0;
    DWORD connections = 0;

    void report(DWORD state, DWORD exitCode = NO_ERROR) {
        status.dwCurrentState = state;
        status.dwControlsAccepted = state == SERVICE_STOPPED ? 0 : SERVICE_ACCEPT_STOP;
        status.dwWin32ExitCode = exitCode;
        SetServiceStatus(handle, &status);
    }
};
Service* g_service = nullptr;  // ServiceMain has no context parameter

DWORD WINAPI control(DWORD code, DWORD, void*, void*) {
    if (code == SERVICE_CONTROL_STOP) note("stop requested"), SetEvent(g_service->stop.get());
    return code == SERVICE_CONTROL_STOP || code == SERVICE_CONTROL_INTERROGATE
               ? NO_ERROR
               : ERROR_CALL_NOT_IMPLEMENTED;
}

// What the real server writes into its own log when it is in trouble: the cause first, then
// what follows from it, so that the panel can be made to quote the cause and not the trailer.
// The web container's level words are Chinese, in the ANSI code page of a Chinese Windows
// (GBK), as Java writes them there.
enum class Trouble { PortTaken, StartFailed, RunsWithoutPort, Died };

void logTrouble(const Knobs& knobs, Trouble trouble) {
    std::wstring folder = besideExe(L"");  // ...\bin\name
    folder = folder.substr(0, folder.rfind(L'\\', folder.rfind(L'\\') - 1)) +
             (knobs.web ? L"\\logs" : L"\\data");
    CreateDirectoryW(folder.c_str(), nullptr);
    SYSTEMTIME t{};
    GetLocalTime(&t);
    wchar_t name[32] = L"\\stub.err";
    if (knobs.web) swprintf(name, 32, L"\\catalina.%04u-%02u-%02u.log", t.wYear, t.wMonth, t.wDay);
    char stamp[32];  // Java's in a Chinese locale; mysqld 5.0's pads the hour with a blank
    std::snprintf(
        stamp, sizeof stamp, knobs.web ? "%u-%u-%u %u:%02u:%02u" : "%02u%02u%02u %2u:%02u:%02u",
        knobs.web ? t.wYear : t.wYear % 100, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    const std::string at = std::string(stamp) + " ", port = std::to_string(knobs.port);
    const std::string bind =
        "java.net.BindException: Address already in use: JVM_Bind <null>:" + port;
    const std::string permGen = "java.lang.OutOfMemoryError: PermGen space";
    const std::string wrapper = "Catalina.start: \r\nLifecycleException:  ";
    const char* const catalina = "catalina.startup.Catalina start";
    std::string text;
    // A Java record: the line naming its source, then the level, 严重 (SEVERE) unless told, and
    // the message, then the exception.
    const auto java = [&](const char* source, const std::string& rest,
                          const char* level = "\xD1\xCF\xD6\xD8") {
        text += at + "org.apache." + source + "\r\n" + level + ": " + rest + "\r\n";
    };
    const auto mysqld = [&](const std::string& line) { text += at + line + "\r\n"; };
    if (knobs.web && trouble == Trouble::Died) {
        java("coyote.http11.Http11Processor process",
             "Error processing request\r\njava.lang.OutOfMemoryError: Java heap space");
    } else if (knobs.web && trouble == Trouble::StartFailed) {
        java("catalina.startup.HostConfig deployDirectory",
             "Error deploying web application directory oa\r\n" + permGen);
        java(catalina, wrapper + permGen);
    } else if (knobs.web) {
        java("coyote.http11.Http11Protocol init",
             "Error initializing endpoint\r\n" + bind +
                 "\r\n\tat org.apache.tomcat.util.net.JIoEndpoint.init(JIoEndpoint.java:502)");
        if (trouble == Trouble::PortTaken)
            java(catalina, wrapper + "Protocol handler initialization failed: " + bind);
        else  // 信息 (INFO): Tomcat 6 runs on without its connector
            java(catalina, "Server startup in 1467 ms", "\xD0\xC5\xCF\xA2");
    } else if (trouble == Trouble::Died) {
        mysqld("[ERROR] mysqld2: Out of memory (Needed 8388608 bytes)");
    } else {
        if (trouble == Trouble::PortTaken) {
            mysqld("[ERROR] Can't start server: Bind on TCP/IP port: No such file or directory");
            mysqld("[ERROR] Do you already have another mysqld server running on port: " + port +
                   " ?");
        } else {  // InnoDB writes its own lines, without the stamp
            text +=
                "InnoDB: Error: log file .\\ib_logfile0 is of different size 0 5242880 bytes\r\n"
                "InnoDB: than specified in the .cnf file 0 10485760 bytes!\r\n";
        }
        mysqld("[ERROR] Aborting\r\n");
        mysqld("[Note] mysqld2: Shutdown complete\r\n");
    }
    const File log(_wfopen((folder + name).c_str(), L"ab"));
    if (!log) return note("cannot write %ls%ls", folder.c_str(), name);
    std::fwrite(text.data(), 1, text.size(), log.get());
    note("wrote the trouble to %ls%ls", folder.c_str(), name);
}

struct Client {
    Handle event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    Socket socket;
};

// Adds the client's next bytes to `got`; false once it has closed, the service is stopping or
// the deadline has passed, so that no client holds up a stop or the next client for long.
bool readSome(Service& service, const Client& client, std::string& got, ULONGLONG deadline) {
    for (const HANDLE events[] = {service.stop.get(), client.event.get()};;) {
        char bytes[1024];
        const int n = recv(client.socket.s, bytes, sizeof bytes, 0);
        if (n > 0) return got.append(bytes, n), true;
        if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) return false;
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = DWORD(std::min<ULONGLONG>(deadline - now, INFINITE));
        if (now >= deadline || WaitForMultipleObjects(2, events, FALSE, wait) != WAIT_OBJECT_0 + 1)
            return false;
    }
}

// What a MySQL 5.0 server sends the moment a client connects: a protocol-10 handshake with the
// version, the connection id, the scramble's first 8 bytes, capabilities 0xA22C (4.1 protocol,
// secure connection), latin1, autocommit, 13 reserved zeros and the scramble's last 12 bytes;
// numbers little-endian, as Windows keeps them. The packet's head: its length and number 0.
std::string greeting(DWORD connectionId) {
    using namespace std::string_literals;
    const std::string payload =
        '\x0A' + "5.0.96-stub\0"s + std::string(reinterpret_cast<const char*>(&connectionId), 4) +
        "stubscra\0\x2C\xA2\x08\x02\0"s + std::string(13, '\0') + "mble-for-4.1\0"s;
    return char(payload.size()) + "\0\0\0"s + payload;
}

// The web container serves /oa once the application has deployed, ready_delay after RUNNING.
void answerHttp(Service& service, const Client& client) {
    std::string head;
    const ULONGLONG deadline = GetTickCount64() + 2000;
    const auto whole = [&] {
        return head.find("\r\n\r\n") != head.npos || head.find("\n\n") != head.npos;
    };
    while (head.size() < 4096 && !whole() && readSome(service, client, head, deadline)) {
    }
    // "GET /oa/?x HTTP/1.0": the path runs from the first blank to the query or the next blank.
    char path[201] = "";
    std::sscanf(head.c_str(), "%*s %200[^ ?\r\n]", path);
    const bool ready = GetTickCount64() - service.runningSince >= service.knobs.readyDelay;
    const bool oa = !std::strcmp(path, "/oa") || !std::strcmp(path, "/oa/");
    const int status = !whole() ? 400 : oa && ready ? 200 : 404;
    const std::string line = std::to_string(status) + (status == 200   ? " OK"
                                                       : status == 404 ? " Not Found"
                                                                       : " Bad Request"),
                      body = "<html><body>" + line + "</body></html>\n",
                      reply = "HTTP/1.0 " + line +
                              "\r\nContent-Type: text/html\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                              (head.starts_with("HEAD ") ? "" : body);
    send(client.socket.s, reply.data(), int(reply.size()), 0);
    // The path comes from the network: printable ASCII only in the log.
    std::replace_if(
        path, path + std::strlen(path), [](char c) { return c < 0x21 || c > 0x7E; }, '?');
    note("answered %s with %d", *path ? path : "-", status);
}

// hang_after/hang_for: a connection that comes while the server hangs gets nothing until the
// hang is over (or the service stops), then its answer, late, as from a server that recovers.
bool waitOutHang(Service& service) {
    const Knobs& knobs = service.knobs;
    const ULONGLONG since = GetTickCount64() - service.runningSince,
                    end = knobs.hangFor == INFINITE ? ULLONG_MAX
                                                    : ULONGLONG(knobs.hangAfter) + knobs.hangFor;
    if (knobs.hangAfter == INFINITE || since < knobs.hangAfter || since >= end) return true;
    note("connection left unanswered while hanging");
    const DWORD left = end == ULLONG_MAX ? INFINITE : DWORD(end - since);
    return WaitForSingleObject(service.stop.get(), left) == WAIT_TIMEOUT;
}

void answer(Service& service, const Client& client) {
    WSAEventSelect(client.socket.s, client.event.get(), FD_READ | FD_CLOSE);
    if (!waitOutHang(service)) return;
    const bool speaks = !service.knobs.silent;
    if (speaks && service.knobs.web) return answerHttp(service, client);
    const std::string hello = greeting(++service.connections);
    if (speaks) send(client.socket.s, hello.data(), int(hello.size()), 0);
    note("connection %lu %s", service.connections, speaks ? "greeted" : "left unanswered");
    // Like the real server, wait for the client (it would log in next), but not for ever.
    const ULONGLONG deadline = service.knobs.silent ? ULLONG_MAX : GetTickCount64() + 3000;
    for (std::string ignored; readSome(service, client, ignored, deadline);) ignored.clear();
}

// die_after: the process ends abruptly, as a crashing server's does. Windows' service manager
// notices that by itself and says STOPPED with 1067 (ERROR_PROCESS_ABORTED); Wine 8's does not
// notice at all (the service stays RUNNING with the dead process's id), so the stub says what
// Windows would, just before it ends.
DWORD WINAPI dieLater(void* context) {
    const Service& service = *static_cast<const Service*>(context);
    if (WaitForSingleObject(service.stop.get(), service.knobs.dieAfter) != WAIT_TIMEOUT) return 0;
    logTrouble(service.knobs, Trouble::Died);
    note("dying, exit code %lu", ERROR_PROCESS_ABORTED);
    SERVICE_STATUS last{
        SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, ERROR_PROCESS_ABORTED, 0, 0, 0};
    SetServiceStatus(service.handle, &last);
    TerminateProcess(GetCurrentProcess(), ERROR_PROCESS_ABORTED);
    return 0;
}

// Serves until stopped, waiting on the stop and the listening socket together so that a stop
// is prompt. RUNNING is reported only once the port is really ours (or port_taken=run).
DWORD serve(Service& service) {
    const Socket listener{socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)};
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(u_short(service.knobs.port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const BOOL exclusive = TRUE;  // a second server on the port must fail, not share it
    setsockopt(listener.s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    const bool listening =
        bind(listener.s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
        listen(listener.s, SOMAXCONN) == 0;
    if (!listening) {
        const int error = WSAGetLastError();
        note("cannot listen on 127.0.0.1:%lu, error %d", service.knobs.port, error);
        if (!service.knobs.portTakenRuns)
            return logTrouble(service.knobs, Trouble::PortTaken), DWORD(error);
        logTrouble(service.knobs, Trouble::RunsWithoutPort);
    }
    service.report(SERVICE_RUNNING);
    service.runningSince = GetTickCount64();
    if (service.knobs.dieAfter != INFINITE)
        CloseHandle(CreateThread(nullptr, 0, dieLater, &service, 0, nullptr));
    note("running, %s on 127.0.0.1:%lu", listening ? "listening" : "not listening",
         service.knobs.port);
    const Handle incoming{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    WSAEventSelect(listener.s, incoming.get(), FD_ACCEPT);
    const HANDLE events[] = {service.stop.get(), incoming.get()};
    while (WaitForMultipleObjects(listening ? 2 : 1, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        for (SOCKET s; (s = accept(listener.s, nullptr, nullptr)) != INVALID_SOCKET;)
            answer(service, Client{.socket = {s}});
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
    if (service.knobs.startFail) {
        exitCode = ERROR_PROCESS_ABORTED;
        logTrouble(service.knobs, Trouble::StartFailed);
    } else if (WaitForSingleObject(service.stop.get(), service.knobs.startDelay) == WAIT_TIMEOUT)
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
