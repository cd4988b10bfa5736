// Text conversions at the platform's edge: UTF-8 inside the program, UTF-16 at the "W"
// functions, the system ANSI code page (GBK on Chinese Windows) at the "A" functions.
#pragma once

#include <string>

namespace win32 {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& wide);
std::string toAnsi(const std::string& utf8);
std::string fromAnsi(const std::string& ansi);
// The text in UTF-16 for a field of `size` characters that ends in a NUL: whole when it fits,
// else cut between two characters (never inside a surrogate pair) and ended with "…".
std::wstring fitField(const std::string& utf8, std::size_t size);

}  // namespace win32
