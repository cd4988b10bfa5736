// Small text helpers with no platform calls. Windows compares names (services, registry keys,
// environment variables, paths) without regard to letter case, in the ASCII range.
#pragma once

#include <string>

namespace oapanel {

// Removes leading and trailing blanks (spaces only: the callers' texts are names and paths).
std::string TrimBlanks(const std::string& text);

std::string UpperCase(std::string text);
bool EqualsIgnoringCase(const std::string& a, const std::string& b);
bool ContainsIgnoringCase(const std::string& text, const std::string& part);

}  // namespace oapanel
