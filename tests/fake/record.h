// What every part of the simulated machine shares: the record of the platform calls made, with
// the failures a test injects into them.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "platform/platform.h"

namespace fake {

namespace P = platform;
using Bytes = std::vector<std::uint8_t>;
using oapanel::EqualsIgnoringCase;
using oapanel::UpperCase;

// Thrown by endProcess so that the test, not the process, ends.
struct ProcessEnded {
    std::uint32_t exitCode;
};

inline std::string Hex(std::uint64_t n) {
    char text[19] = "0x";
    return std::string(text, std::to_chars(text + 2, std::end(text), n, 16).ptr);
}

// Every platform call, as "RegOpenKeyExA HKLM\\SOFTWARE 0x1", plus the failures to inject:
// an operation named in `failing`, by its name (the call's first word) or by its whole call,
// fails with that error.
struct Record {
    std::vector<std::string> calls;
    std::map<std::string, std::uint32_t> failing;
    bool exited = false;  // ExitProcess was called: whatever still unwinds writes no file
    std::function<void(const std::string&)> onCall;  // runs as each recorded call is made

    bool call(const std::string& text, std::uint32_t* error = nullptr) {
        calls.push_back(text);
        if (onCall) onCall(text);
        const std::string op = text.substr(0, text.find(' '));
        const auto it = failing.count(op) ? failing.find(op) : failing.find(text);
        if (it != failing.end() && error) *error = it->second;
        return it != failing.end();
    }
    int count(const std::string& prefix) const {
        return int(
            std::ranges::count_if(calls, [&](const auto& c) { return c.starts_with(prefix); }));
    }
};

// A fake of one platform interface, which records the calls made to it.
template <class Interface>
class Recording : public Interface {
public:
    explicit Recording(Record& r) : r_(r) {}

protected:
    Record& r_;
};

}  // namespace fake
