// Small text helpers with no platform calls. Windows compares names (services, registry keys,
// environment variables, paths) without regard to letter case, in the ASCII range.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace oapanel {

// Removes leading and trailing blanks (spaces only: the callers' texts are names and paths).
std::string TrimBlanks(const std::string& text);

std::string UpperCase(std::string text);
bool EqualsIgnoringCase(const std::string& a, const std::string& b);
bool ContainsIgnoringCase(const std::string& text, const std::string& part);

// Turns bytes of the system's ANSI code page into UTF-8 (the platform's TextCodec::fromAnsi).
using AnsiDecoder = std::function<std::string(const std::string&)>;
// Bytes from outside as text: valid UTF-8 as it is, anything else through fromAnsi.
std::string DecodedText(const std::string& bytes, const AnsiDecoder& fromAnsi);
// Bytes from outside (a server's log, a network peer) as one line of text for the window, the
// log file and a balloon: valid UTF-8 is read as UTF-8, anything else through fromAnsi; what
// still cannot be read (invalid UTF-8 after decoding, U+FFFD) and control characters become
// "?"; blanks and CR at either end are trimmed; more than maxChars characters (code points)
// are cut to maxChars followed by "…".
std::string ShownText(const std::string& bytes, const AnsiDecoder& fromAnsi,
                      std::size_t maxChars = 200);

}  // namespace oapanel
