#include "platform/win32/text.h"

#include <windows.h>

namespace win32 {

namespace {

std::wstring toWide(const std::string& text, UINT codePage) {
    if (text.empty()) return {};
    const int n =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string fromWide(const std::wstring& text, UINT codePage) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring widen(const std::string& utf8) { return toWide(utf8, CP_UTF8); }
std::string narrow(const std::wstring& wide) { return fromWide(wide, CP_UTF8); }
std::string toAnsi(const std::string& utf8) { return fromWide(widen(utf8), CP_ACP); }
std::string fromAnsi(const std::string& ansi) { return narrow(toWide(ansi, CP_ACP)); }

std::wstring fitField(const std::string& utf8, std::size_t size) {
    std::wstring text = widen(utf8);
    if (text.size() < size) return text;
    if (size < 2) return {};      // no room for the mark
    std::size_t keep = size - 2;  // room for the mark and the NUL
    if (keep > 0 && IS_HIGH_SURROGATE(text[keep - 1])) --keep;
    text.resize(keep);
    return text + L'\u2026';
}

}  // namespace win32
