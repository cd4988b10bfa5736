// Small text helpers the simulated machine's parts share for names and call records.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

namespace fake {

// Windows compares key, value and service names without regard to case.
inline std::string upper(std::string s) {
    for (auto& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

// A handle or mask as it appears in the call record ("0x80000000").
inline std::string hex(std::uint64_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(n));
    return text;
}

}  // namespace fake
