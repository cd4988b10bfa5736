#include "base/text.h"

#include <cctype>
#include <cstddef>

namespace oapanel {

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string UpperCase(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

bool ContainsIgnoringCase(const std::string& text, const std::string& part) {
    return UpperCase(text).find(UpperCase(part)) != std::string::npos;
}

namespace {

constexpr char32_t kUnreadable = 0xFFFD;

// The code point that starts at text[at], moving `at` past it. Overlong forms, surrogates,
// values past U+10FFFF and sequences cut short by the end of the text are unreadable; they
// use up one byte, so that what follows is read afresh.
char32_t NextCodePoint(const std::string& text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    ++at;
    if (lead < 0x80) return lead;
    const std::size_t extra = 1 + (lead >= 0xE0) + (lead >= 0xF0);
    if (lead < 0xC2 || lead > 0xF4 || text.size() - at < extra) return kUnreadable;
    char32_t point = lead & (0x3F >> extra);
    for (std::size_t k = 0; k < extra; ++k) {
        const unsigned char next = byte(at + k);
        const unsigned char low = k ? 0x80 : lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = k ? 0xBF : lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (next < low || next > high) return kUnreadable;
        point = point << 6 | (next & 0x3F);
    }
    at += extra;
    return point;
}

bool IsUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        // A U+FFFD sent as such is valid UTF-8; only a sequence that uses up one byte is not.
        if (NextCodePoint(text, at) == kUnreadable && at == start + 1) return false;
    }
    return true;
}

// Every code point as itself, "?" or a blank; CR stays so that it can be trimmed at the ends.
std::string Readable(const std::string& text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const char32_t point = NextCodePoint(text, at);
        if (point == '\t')
            out += ' ';
        else if (point == kUnreadable || (point < 0x20 && point != '\r') ||
                 (point >= 0x7F && point < 0xA0))
            out += '?';
        else
            out.append(text, start, at - start);
    }
    return out;
}

}  // namespace

std::string DecodedText(const std::string& bytes, const AnsiDecoder& fromAnsi) {
    return IsUtf8(bytes) || !fromAnsi ? bytes : fromAnsi(bytes);
}

std::string ShownText(const std::string& bytes, const AnsiDecoder& fromAnsi, std::size_t maxChars) {
    std::string text = Readable(DecodedText(bytes, fromAnsi));
    const auto first = text.find_first_not_of(" \r");
    if (first == std::string::npos) return {};
    text = text.substr(first, text.find_last_not_of(" \r") - first + 1);
    for (auto& c : text)
        if (c == '\r') c = '?';
    std::size_t chars = 0, cut = 0;
    for (; cut < text.size(); ++cut)
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80 && chars++ == maxChars) break;
    return cut < text.size() ? text.substr(0, cut) + "…" : text;
}

}  // namespace oapanel
