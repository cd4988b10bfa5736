// Byte order and hexadecimal text, as the registry stores and shows numbers and binary data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace oapanel {

// The four bytes of n, lowest first (the order of REG_DWORD).
std::vector<std::uint8_t> LittleEndian(std::int32_t n);
// Up to four bytes, lowest first; missing high bytes count as 0.
std::int32_t FromLittleEndian(const std::vector<std::uint8_t>& data);
// "0A 1F FF": upper-case pairs separated by one blank.
std::string HexPairs(const std::vector<std::uint8_t>& data);

}  // namespace oapanel
