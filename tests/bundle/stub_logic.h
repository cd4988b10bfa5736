// The parts of the stub servers that need no operating system: reading the knobs file
// and answering an HTTP request. Kept apart so they can be unit-tested on their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace oapanel::stub {

using Millis = std::chrono::milliseconds;

// How a test wants the stub to misbehave. The defaults are a well-behaved server that
// registers, starts and stops at once.
struct Knobs {
    Millis register_delay{0};
    bool register_never = false;        // the install command fails without registering
    Millis start_delay{0};              // time spent in START_PENDING before RUNNING
    bool start_never = false;           // never leave START_PENDING (until stopped or killed)
    std::optional<Millis> crash_after;  // die this long after reaching RUNNING
    bool stop_refuse = false;           // ignore stop requests
    Millis stop_delay{0};               // time spent in STOP_PENDING before STOPPED
    std::optional<std::uint16_t> port;  // listen here instead of the server's usual port

    bool operator==(const Knobs&) const = default;
};

// Reads "key=value" lines. Blank lines, '#' comments, unknown keys and values that do not
// parse are skipped, so a typo in a test's knobs file leaves that knob at its default
// instead of making the stub refuse to run. Keys and words are not case-sensitive; a later
// line overrides an earlier one.
Knobs parse_knobs(std::string_view text);

// The whole response (status line, headers, body) of the web container stub to a request
// whose head is `request`. GET or HEAD of /oa or /oa/ answers 200 with a small page.
std::string http_reply(std::string_view request);

}  // namespace oapanel::stub
