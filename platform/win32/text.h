// Text conversions at the platform's edge: UTF-8 inside the program, UTF-16 at the "W"
// functions, the system ANSI code page (GBK on Chinese Windows) at the "A" functions.
#pragma once

#include <string>

namespace win32 {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& wide);
std::string toAnsi(const std::string& utf8);
std::string fromAnsi(const std::string& ansi);

}  // namespace win32
