// What the OA system's two servers answer on their ports, read from the bytes received so far.
// The bytes come from whatever listens there, so nothing in them is trusted: every reader
// decides as early as the bytes allow and never looks further than it must.
#pragma once

#include <string>

namespace oapanel {

// What the bytes received so far from 3307 say. The panel sends nothing; the server speaks
// first with one packet: 3-byte little-endian payload length, a sequence number, the payload.
struct MysqlAnswer {
    enum class Kind { NeedMore, Greeting, Error, NotMysql } kind = Kind::NeedMore;
    std::string version;  // Greeting: the server version, printable ASCII
    int code = 0;         // Error: the 2-byte error code
    std::string message;  // Error: the message bytes as sent (the caller decodes them)
};
MysqlAnswer ReadMysqlAnswer(const std::string& bytes);

// The status of an HTTP/1.x answer, as soon as its status line says it.
struct HttpAnswer {
    enum class Kind { NeedMore, Status, NotHttp } kind = Kind::NeedMore;
    int status = 0;
};
HttpAnswer ReadHttpAnswer(const std::string& bytes);

}  // namespace oapanel
