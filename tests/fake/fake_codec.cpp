// The simulated double-byte ANSI code page.
#include <cstdint>

#include "tests/fake/fake_registry.h"

namespace fake {

namespace {

struct Range {
    std::uint32_t first, last;
};

// The characters that take two bytes, in the order of their codes.
constexpr Range kDoubleByte[] = {{0x3000, 0x303F}, {0x4E00, 0x9FFF}, {0xFF00, 0xFFEF}};

// Trail bytes as in GBK: 0x40-0x7E and 0x80-0xFE, 190 of them per lead byte.
constexpr std::uint32_t kTrailsPerLead = 190;
constexpr std::uint32_t kLowTrails = 0x7F - 0x40;

// The next code point of UTF-8 text, or -1 for a malformed sequence (one byte consumed).
long nextCodePoint(const std::string& s, std::size_t& i) {
    const auto c = static_cast<unsigned char>(s[i]);
    int extra = -1;
    if (c < 0x80)
        extra = 0;
    else if ((c & 0xE0) == 0xC0)
        extra = 1;
    else if ((c & 0xF0) == 0xE0)
        extra = 2;
    else if ((c & 0xF8) == 0xF0)
        extra = 3;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
        ++i;
        return extra == 0 ? c : -1;
    }
    long cp = extra == 0 ? c : (c & (0x3F >> extra));
    for (int k = 1; k <= extra; ++k) {
        const auto cont = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((cont & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        cp = (cp << 6) | (cont & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {  // every double-byte character lies below U+10000
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The place of a double-byte character in the code page, or -1.
long indexOf(long cp) {
    long base = 0;
    for (const auto& r : kDoubleByte) {
        if (cp >= static_cast<long>(r.first) && cp <= static_cast<long>(r.last))
            return base + cp - static_cast<long>(r.first);
        base += static_cast<long>(r.last - r.first + 1);
    }
    return -1;
}

long codePointAt(std::uint32_t index) {
    for (const auto& r : kDoubleByte) {
        const std::uint32_t size = r.last - r.first + 1;
        if (index < size) return static_cast<long>(r.first + index);
        index -= size;
    }
    return -1;
}

bool isTrail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

}  // namespace

std::string FakeCodec::toAnsi(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const long cp = nextCodePoint(utf8, i);
        const long index = indexOf(cp);
        if (cp >= 0 && cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (index >= 0) {
            const auto u = static_cast<std::uint32_t>(index);
            const std::uint32_t trail = u % kTrailsPerLead;
            out += static_cast<char>(0x81 + u / kTrailsPerLead);
            out += static_cast<char>(trail < kLowTrails ? 0x40 + trail : 0x80 + trail - kLowTrails);
        } else {
            out += '?';
        }
    }
    return out;
}

std::string FakeCodec::fromAnsi(const std::string& ansi) {
    std::string out;
    for (std::size_t i = 0; i < ansi.size();) {
        const auto lead = static_cast<unsigned char>(ansi[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        const auto trail = i + 1 < ansi.size() ? static_cast<unsigned char>(ansi[i + 1]) : 0;
        if (lead < 0x81 || lead > 0xFE || !isTrail(trail)) {
            out += '?';
            ++i;
            continue;
        }
        const std::uint32_t offset = trail < 0x80 ? trail - 0x40u : trail - 0x80u + kLowTrails;
        const long cp = codePointAt((lead - 0x81u) * kTrailsPerLead + offset);
        if (cp < 0)
            out += '?';
        else
            appendUtf8(out, static_cast<std::uint32_t>(cp));
        i += 2;
    }
    return out;
}

}  // namespace fake
