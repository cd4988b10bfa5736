// Whether a server of the OA system really answers: the database greets on 3307, the web
// container answers GET /oa/ on 8080. A probe makes one try at a time on a non-blocking socket
// and is stepped by the caller's timer, so the window is never held up waiting for a server.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/text.h"
#include "platform/network.h"
#include "base/owner.h"
#include "base/server_kind.h"

namespace oapanel {

// What a probe found out, once it is decided.
struct ProbeResult {
    enum class Kind {
        Ready,         // the database greeted (version); /oa answered 200-399 (status)
        ErrorPacket,   // the database answered with an error: code, message
        NotTheServer,  // something else answers on the port; ownerId/ownerExe when it is known
        NoAnswer,      // nothing ready in time; status: the web application's last answer, or 0
    };
    Kind kind = Kind::NoAnswer;
    int seconds = 0;  // from the server's start line to the answer
    std::string version;
    int status = 0;
    int code = 0;
    std::string message;  // as shown: decoded, at most 200 characters
    std::uint32_t ownerId = 0;
    std::string ownerExe;
};

// Who else holds the server's port, when the system can tell: asked as an answer arrives.
struct PortStranger {
    std::uint32_t processId = 0;
    std::string exeName;
};
using StrangerCheck = std::function<std::optional<PortStranger>()>;

class ReadinessProbe {
public:
    // The server on 127.0.0.1:port. startedAt: when its "启动" line was written; now: the
    // monotonic clock. A probe tries once a second until it gives up (the database after 60 s,
    // the web application after 300), or, once, only one try.
    ReadinessProbe(platform::Sockets& sockets, ServerKind kind, std::uint16_t port,
                   double startedAt, double now, StrangerCheck stranger = {}, bool once = false);
    ReadinessProbe(const ReadinessProbe&) = delete;
    ReadinessProbe& operator=(const ReadinessProbe&) = delete;
    ~ReadinessProbe();

    // Moves the probe on without blocking. Once it is decided: the result (the probe is over
    // then); until then nothing.
    std::optional<ProbeResult> Step(double now, const AnsiDecoder& fromAnsi);
    bool Over() const { return over_; }
    // Seconds until the probe has something to do: soon while a try is open, else when the
    // next try is due.
    double IdleFor(double now) const;

private:
    void BeginTry(double now);
    void EndTry();
    // What the bytes received so far decide; nothing while more are needed.
    std::optional<ProbeResult> Decide(bool closed, double now, const AnsiDecoder& fromAnsi);
    std::optional<ProbeResult> Finish(ProbeResult result);

    platform::Sockets& sockets_;
    ServerKind kind_;
    std::uint16_t port_;
    StrangerCheck stranger_;
    bool once_, tried_ = false, strangerAsked_ = false;
    double startedAt_, deadline_;
    bool winsock_ = false, over_ = false;
    Owner<platform::Sockets, &platform::Sockets::closesocket, platform::Socket,
          platform::kInvalidSocket>
        socket_;
    bool connected_ = false;
    double tryBegan_ = -1e9, tryEnds_ = 0;
    std::string received_;
    int lastStatus_ = 0;  // the web application's last answer that was not ready yet
};

}  // namespace oapanel
