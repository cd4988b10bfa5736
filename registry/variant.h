// The values the Registry class reads and writes: nothing, a text, a 16- or 32-bit integer,
// or a byte array that remembers the index of its first element.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace oapanel {

struct ByteArray {
    std::int32_t lowerBound = 0;
    std::vector<std::uint8_t> bytes;

    bool operator==(const ByteArray&) const = default;
};

using Variant = std::variant<std::monostate, std::string, std::int16_t, std::int32_t, ByteArray>;

// The value as text: integers in decimal, a byte array as hexadecimal pairs ("0A 1F FF"),
// nothing as the empty text.
std::string VariantText(const Variant& v);

inline bool IsEmpty(const Variant& v) { return std::holds_alternative<std::monostate>(v); }

}  // namespace oapanel
