#include "tests/fake/fake.h"

#include <iconv.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace fake {

std::string Hex(std::uint64_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(n));
    return text;
}

void FakeWindowSystem::advance(double seconds) {
    const double target = clock_.monotonic + seconds;
    for (;;) {
        // The earliest of the agenda and the timers that falls within this step.
        double next = target;
        int timer = 0;
        for (const auto& [id, due] : timerDue_)
            if (due <= next) next = due, timer = id;
        if (!agenda_.empty() && agenda_.begin()->first <= next) {
            const auto it = agenda_.begin();
            clock_.monotonic = std::max(clock_.monotonic, it->first);
            const auto what = std::move(it->second);
            agenda_.erase(it);
            what();
            if (std::exchange(noticed_, false) && events) events->onServiceNotified();
            // A wake ends the wait under way; the test's own advance goes on to its end.
            if (std::exchange(woken_, false) && waiting_ > 0) return;
        } else if (timer) {
            // A real timer keeps ticking until it is disabled, also while its handler runs.
            clock_.monotonic = std::max(clock_.monotonic, next);
            timerDue_[timer] = clock_.monotonic + model->find(timer)->interval / 1000.0;
            events->onTimer(timer);
        } else {
            break;
        }
    }
    // A handler run from here may have waited on its own and moved the clock further.
    clock_.monotonic = std::max(clock_.monotonic, target);
}

P::LocalTime FakeClock::localTimeOf(std::int64_t t) {
    using namespace std::chrono;
    const sys_seconds at{seconds{t}};
    const auto day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{at - day};
    return {int(date.year()),          int(unsigned(date.month())), int(unsigned(date.day())),
            int(time.hours().count()), int(time.minutes().count()), int(time.seconds().count())};
}

std::string FakeEnvironment::expand(const std::string& text) {
    std::string out;
    std::size_t at = 0, open, close;
    while ((open = text.find('%', at)) != std::string::npos &&
           (close = text.find('%', open + 1)) != std::string::npos) {
        std::string value;
        out += text.substr(at, open - at);
        out += getVariable(text.substr(open + 1, close - open - 1), value)
                   ? value
                   : text.substr(open, close - open + 1);
        at = close + 1;
    }
    return out + text.substr(at);
}

namespace {

std::string convert(const std::string& text, const char* to, const char* from) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no iconv");
    std::string out;
    char* in = const_cast<char*>(text.data());
    std::size_t left = text.size();
    while (left > 0) {
        char buffer[64];
        char* put = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t n = ::iconv(cd, &in, &left, &put, &room);
        out.append(buffer, static_cast<std::size_t>(put - buffer));
        if (n != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // What the code page cannot hold becomes "?", one per character, as Windows does.
        out += '?';
        do ++in, --left;
        while (left > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80 && from[0] == 'U');
    }
    ::iconv_close(cd);
    return out;
}

const char* rootName(P::Handle h) {
    switch (h) {
        case P::kHkeyClassesRoot:
            return "HKCR";
        case P::kHkeyCurrentUser:
            return "HKCU";
        case P::kHkeyLocalMachine:
            return "HKLM";
        case P::kHkeyUsers:
            return "HKU";
        case P::kHkeyCurrentConfig:
            return "HKCC";
        default:
            return nullptr;
    }
}

// A key as the call record shows it: "HKLM\\SOFTWARE\\oa", or from a handle "0x1000\\sub".
std::string shown(P::Handle root, const std::string& path) {
    const std::string base = rootName(root) ? rootName(root) : Hex(root);
    return path.empty() ? base : base + "\\" + path;
}

}  // namespace

std::string FakeCodec::toAnsi(const std::string& utf8) { return convert(utf8, "CP936", "UTF-8"); }
std::string FakeCodec::fromAnsi(const std::string& ansi) { return convert(ansi, "UTF-8", "CP936"); }

long FakeRegistry::where(P::Handle root, const std::string& path, std::string& full,
                         std::vector<std::string>* names) const {
    if (rootName(root))
        full = rootName(root);
    else if (open_.count(root))
        full = open_.at(root).first;
    else
        return 6;  // ERROR_INVALID_HANDLE
    // One trailing backslash is accepted; a leading one or an empty part is malformed.
    const std::string rest =
        !path.empty() && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
    for (std::size_t start = 0; !path.empty();) {
        const auto end = rest.find('\\', start);
        const std::string part = rest.substr(start, end - start);
        if (part.empty()) return 161;  // ERROR_BAD_PATHNAME
        full += "\\" + UpperCase(part);
        if (names) names->push_back(part);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return P::kRegOk;
}

std::string FakeRegistry::place(P::Handle root, const std::string& path,
                                std::vector<std::string>* names) const {
    std::string full;
    if (!rootName(root) || where(root, path, full, names)) throw std::invalid_argument(path);
    return full;
}

long FakeRegistry::hand(P::Handle root, const std::string& path, std::uint32_t access, bool create,
                        const std::string& op, P::Handle& key) {
    key = 0;
    std::string full;
    std::vector<std::string> names;
    const long status = where(root, path, full, &names);
    std::uint32_t error = 0;
    if (r_.call(op + " " + shown(root, path) + " " + Hex(access), op, &error)) return long(error);
    if (status) return status;
    const bool missing = !keys_.count(full) && full.find('\\') != std::string::npos;
    if (missing && !create) return P::kErrorFileNotFound;
    // Creating a missing key is itself a write.
    const std::uint32_t needed = access | (missing ? P::kKeyCreateSubKey : 0);
    if ((needed & rightsAt(full)) != needed) return P::kErrorRegAccessDenied;
    if (create) {
        for (std::string at = full; !names.empty(); names.pop_back(), at.resize(at.rfind('\\')))
            if (!keys_.count(at)) keys_[at] = {at, names.back(), {}};
    }
    open_[next_] = {full, access};
    key = next_++;
    return P::kRegOk;
}

long FakeRegistry::use(P::Handle key, std::uint32_t right, const std::string& call, Key*& k) {
    std::uint32_t error = 0;
    if (r_.call(call, call.substr(0, call.find(' ')), &error)) return long(error);
    std::string full;
    std::uint32_t access = right & rightsAt(rootName(key) ? rootName(key) : "");
    if (rootName(key)) {
        full = rootName(key);
        keys_[full].full = full;
    } else if (open_.count(key)) {
        std::tie(full, access) = open_[key];
    } else {
        return 6;  // ERROR_INVALID_HANDLE
    }
    if ((access & right) != right) return P::kErrorRegAccessDenied;
    if (!keys_.count(full)) return 1018;  // ERROR_KEY_DELETED
    k = &keys_[full];
    return P::kRegOk;
}

long FakeRegistry::deleteKey(P::Handle root, const std::string& path) {
    std::string full;
    const long status = where(root, path, full);
    std::uint32_t error = 0;
    if (r_.call("RegDeleteKeyA " + shown(root, path), "RegDeleteKeyA", &error)) return long(error);
    if (status) return status;
    if (full.find('\\') == std::string::npos) return P::kErrorRegAccessDenied;  // a root stays
    if (!keys_.count(full)) return P::kErrorFileNotFound;
    if (!(rightsAt(full) & 0x10000) || !children(full).empty()) return P::kErrorRegAccessDenied;
    keys_.erase(full);
    return P::kRegOk;
}

int FakeSockets::bind(P::Socket s, const P::SockAddrIn& a) {
    const auto it = open_.find(s);
    const std::string at = std::to_string(a.addr[0]) + "." + std::to_string(a.addr[1]) + "." +
                           std::to_string(a.addr[2]) + "." + std::to_string(a.addr[3]) + ":" +
                           std::to_string(a.port);
    if (r_.call("bind " + at, "bind") || it == open_.end() || it->second) return P::kSocketError;
    const auto clash = [&](const Binding& b) {
        return b.port == a.port && (b.address == a.addr || a.addr == P::kInAddrAny ||
                                    (b.address == P::kInAddrAny && b.exclusive));
    };
    if (std::any_of(held_.begin(), held_.end(), clash)) return P::kSocketError;
    for (const auto& [other, b] : open_)
        if (b && clash(*b)) return P::kSocketError;
    it->second = Binding{a.addr, a.port, false};
    return 0;
}

int FakeSockets::connect(P::Socket s, const P::SockAddrIn& a) {
    if (r_.call("connect " + std::to_string(a.port), "connect") || !open_.count(s))
        return lastError_ = 10038, P::kSocketError;  // WSAENOTSOCK
    Link& l = links_[s];
    const auto it = servers.find(a.port);
    l.server = a.addr == P::kInAddrLoopback && it != servers.end() ? &it->second : nullptr;
    l.since = clock_.monotonic;
    if (l.nonBlocking) return lastError_ = P::kWsaEWouldBlock, P::kSocketError;
    return l.server ? 0 : (lastError_ = P::kWsaEConnRefused, P::kSocketError);
}

std::size_t FakeSockets::Available(Link& l) {
    const double elapsed = clock_.monotonic - l.since - l.server->delay;
    if (elapsed < 0) return 0;
    if (!l.answered) l.answer = l.server->answer ? l.server->answer(l.request) : "";
    l.answered = true;
    if (l.server->rate <= 0) return l.answer.size();
    return std::min(l.answer.size(), static_cast<std::size_t>(elapsed * l.server->rate));
}

// When the socket is ready for the call: now, later, or never (infinity).
double FakeSockets::ReadyAt(Link& l, bool forWriting) {
    const double now = clock_.monotonic;
    if (forWriting || !l.server) return now;
    const double first = l.since + l.server->delay;
    if (now < first) return first;
    if (l.taken < Available(l)) return now;
    if (l.taken < l.answer.size()) return first + (l.taken + 1) / l.server->rate;
    return l.server->staysOpen ? HUGE_VAL : now;  // the close is news too
}

// The window's thread sits in the call: time passes, and no event is handled meanwhile.
int FakeSockets::Block(Link& l, bool forWriting, double seconds) {
    const double wait = std::min(ReadyAt(l, forWriting) - clock_.monotonic, seconds);
    if (wait > 0) clock_.monotonic += wait + 1e-9;
    longestBlock = std::max(longestBlock, wait);
    return ReadyAt(l, forWriting) <= clock_.monotonic ? 1 : 0;
}

int FakeSockets::select(P::Socket s, bool forWriting, std::uint32_t timeoutMs) {
    if (r_.call(std::string("select ") + (forWriting ? "write" : "read"), "select") ||
        !links_.count(s))
        return lastError_ = 10038, P::kSocketError;
    Link& l = links_[s];
    if (forWriting && !l.server) return lastError_ = P::kWsaEConnRefused, P::kSocketError;
    return Block(l, forWriting, timeoutMs / 1000.0);
}

int FakeSockets::send(P::Socket s, const std::string& bytes) {
    if (r_.call("send", "send") || !links_.count(s) || !links_[s].server)
        return lastError_ = 10057, P::kSocketError;  // WSAENOTCONN
    links_[s].request += bytes;
    return static_cast<int>(bytes.size());
}

int FakeSockets::recv(P::Socket s, std::string& bytes, std::size_t max) {
    if (r_.call("recv", "recv") || !links_.count(s) || !links_[s].server)
        return lastError_ = 10057, P::kSocketError;
    Link& l = links_[s];
    if (!Block(l, false, l.nonBlocking ? 0 : 3600))
        return lastError_ = P::kWsaEWouldBlock, P::kSocketError;
    const std::size_t n = std::min(max, Available(l) - l.taken);
    bytes.append(l.answer, l.taken, n);
    l.taken += n;
    return static_cast<int>(n);
}

void FakeCommands::run(const std::string& line) {
    if (line.compare(0, 7, "cmd /c ")) return;
    const std::string command = line.substr(7), name = command.substr(command.rfind(' ') + 1);
    const bool start = !command.compare(0, 10, "net start ");
    if (start || !command.compare(0, 9, "net stop ")) {
        if (netDelay <= 0) return settle(name, start);
        return ui_.after(netDelay, [this, name, start] { settle(name, start); });
    }
    if (!command.compare(0, 10, "sc delete ")) {
        scm_.installed.erase(UpperCase(name));
        return reg_.removeKey(P::kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Services\\" + name);
    }
    // The bundle's installers: the web container's script and the database server itself.
    const std::string program = command.substr(0, command.find(' '));
    std::string service, image;
    if (command.find("\\tomcat6\\bin\\service.bat install ") != std::string::npos) {
        service = "Tomcat6Brackwen";
        image = program.substr(0, program.rfind('\\')) + "\\tomcat6svc.exe --service " + service;
    } else if (const auto at = command.find(" --install "); at != std::string::npos) {
        service = command.substr(at + 11, command.find(' ', at + 11) - at - 11);
        image = program + " --service " + service;
    } else {
        return;
    }
    const double delay = registerDelay.count(service) ? registerDelay[service] : 0.5;
    if (delay < 0 || scm_.find(service)) return;  // never registers, or already there
    ui_.after(delay, [this, service, image] { registerService(service, image); });
}

void FakeCommands::settle(const std::string& name, bool starting) {
    auto* s = scm_.find(name);
    // A start needs a stopped service; a stop anything but a stopped one.
    if (!s || starting != (s->state == P::kServiceStopped)) return;
    // Refused before it runs: it stays STOPPED with the exit code of its last run.
    if (starting && (s->refusesStart || s->config.startType == P::kServiceDisabled)) return;
    const double delay = starting ? s->startDelay : s->stopDelay;
    if (!starting && delay < 0) return;  // the service ignores the stop
    const std::uint32_t pending = starting ? P::kServiceStartPending : P::kServiceStopPending;
    s->state = pending;
    if (delay < 0) return;
    ui_.after(delay, [this, name, pending, starting] {
        auto* t = scm_.find(name);
        if (!t || t->state != pending) return;
        t->state = starting && !t->failsWith ? P::kServiceRunning : P::kServiceStopped;
        t->exitCode = starting ? t->failsWith : 0;
        t->processId = t->state == P::kServiceRunning ? 0x600 : 0;
        if (scm_.notified(name, t->state)) ui_.notify();
    });
}

}  // namespace fake
