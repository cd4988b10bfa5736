// Whether a server of the OA system really answers: the database greets on 3307, the web
// container answers GET /oa/ on 8080. A probe makes one try at a time on a non-blocking socket
// and is stepped by the caller's timer, so the window is never held up waiting for a server.
#pragma once

#include <optional>
#include <string>

#include "base/text.h"
#include "platform/network.h"

namespace oapanel {

enum class ProbeKind { Database, WebApplication };

class ReadinessProbe {
public:
    // startedAt: when the server's "启动" line was written; now: the monotonic clock.
    ReadinessProbe(platform::Sockets& sockets, ProbeKind kind, double startedAt, double now);
    ReadinessProbe(const ReadinessProbe&) = delete;
    ReadinessProbe& operator=(const ReadinessProbe&) = delete;
    ~ReadinessProbe();

    // Moves the probe on without blocking. Once it is decided: the line to show (the probe is
    // over then); until then nothing.
    std::optional<std::string> Step(double now, const AnsiDecoder& fromAnsi);
    bool Over() const { return over_; }
    // Seconds until the probe has something to do: soon while a try is open, else when the
    // next try is due.
    double IdleFor(double now) const;
    // Whether the last line says the server is ready.
    bool Ready() const { return ready_; }

private:
    void BeginTry(double now);
    void EndTry();
    // What the bytes received so far decide; nothing while more are needed.
    std::optional<std::string> Decide(bool closed, double now, const AnsiDecoder& fromAnsi);
    std::optional<std::string> Finish(std::string line, bool ready);

    platform::Sockets& sockets_;
    ProbeKind kind_;
    double startedAt_, deadline_;
    bool winsock_ = false, over_ = false, ready_ = false;
    platform::Socket socket_ = platform::kInvalidSocket;
    bool connected_ = false;
    double tryBegan_ = -1e9, tryEnds_ = 0;
    std::string received_;
    int lastStatus_ = 0;  // the web application's last answer that was not ready yet
};

}  // namespace oapanel
