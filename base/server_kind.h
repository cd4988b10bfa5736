// The two servers of the OA system, as the floors below the engine tell them apart: each
// speaks its own protocol and writes its own kind of log.
#pragma once

namespace oapanel {

enum class ServerKind { Database, WebContainer };

}  // namespace oapanel
