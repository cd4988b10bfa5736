// What happened to the services while the panel was not running, as the service manager wrote
// it into the System event log. The records' bytes come from the log as they are stored, so
// every length and offset in them is checked before it is used.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace oapanel {

// One record of the log: its time (seconds since 1970 UTC), event id (the low 16 bits), source
// and first insertion string.
struct LogRecord {
    std::int64_t time = 0;
    std::uint32_t eventId = 0;
    std::string source;
    std::string firstString;
};

// The whole records at the front of the bytes ReadEventLogW gave, in order; a record cut short,
// or one whose length is less than a record's head or more than the bytes, ends the list.
std::vector<LogRecord> ReadRecords(const std::vector<std::uint8_t>& bytes);

// How often a service ended unexpectedly, and when last.
struct Crashes {
    int count = 0;
    std::int64_t latest = 0;
};

// The service manager's records of each service (by its display name) having terminated
// unexpectedly (7031, 7034) or with an error (7023, 7024), newest first as long as `recent`
// holds for their time. Nothing when the log cannot be read.
std::vector<Crashes> CountCrashes(platform::EventLog& log, const std::vector<std::string>& names,
                                  const std::function<bool(std::int64_t time)>& recent);

}  // namespace oapanel
