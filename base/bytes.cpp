#include "base/bytes.h"

namespace oapanel {

std::vector<std::uint8_t> LittleEndian(std::int32_t n) {
    const auto u = static_cast<std::uint32_t>(n);
    return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
            static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
}

std::int32_t FromLittleEndian(const std::vector<std::uint8_t>& data) {
    std::uint32_t u = 0;
    for (std::size_t i = 0; i < data.size() && i < 4; ++i) u |= std::uint32_t{data[i]} << (8 * i);
    return static_cast<std::int32_t>(u);
}

std::string HexPairs(const std::vector<std::uint8_t>& data) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const auto byte : data) {
        if (!text.empty()) text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

}  // namespace oapanel
