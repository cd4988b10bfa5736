#include "base/text.h"

#include <cctype>

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

}  // namespace oapanel
