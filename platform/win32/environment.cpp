#include "platform/win32/environment.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/text.h"

namespace win32 {

namespace {

// ExpandEnvironmentStringsA into a buffer that grows until the text fits. The size it reports
// is not trusted as a byte count: under a double-byte code page Wine counts characters (and
// Windows documents one byte more than the text), so a result that filled the buffer to its
// last byte or two may have been cut short and is asked for again with more room. False when
// the call fails, or the text keeps growing past anything the call can produce.
bool expandAnsi(const std::string& source, std::string& expanded) {
    constexpr std::size_t kLimit = 1 << 20;
    std::string buffer(256, '\0');
    while (buffer.size() <= kLimit) {
        const DWORD n = ::ExpandEnvironmentStringsA(source.c_str(), buffer.data(),
                                                    static_cast<DWORD>(buffer.size()));
        if (n == 0) return false;
        if (n > buffer.size()) {
            buffer.assign(n, '\0');
            continue;
        }
        const auto length = static_cast<std::size_t>(std::find(buffer.begin(), buffer.end(), '\0') -
                                                     buffer.begin());
        if (length + 1 >= buffer.size()) {
            buffer.assign(buffer.size() * 2, '\0');
            continue;
        }
        expanded.assign(buffer.data(), length);
        return true;
    }
    return false;
}

}  // namespace

// The wide call, because Wine's GetEnvironmentVariableA cuts a double-byte value short (it
// ends the text after as many bytes as the value has characters).
bool Environment::getVariable(const std::string& name, std::string& value) {
    const std::wstring wideName = widen(name);
    std::wstring buffer(256, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), buffer.data(),
                                                  static_cast<DWORD>(buffer.size()));
        // A variable set to the empty text gives 0 without an error.
        if (n == 0 && ::GetLastError() != ERROR_SUCCESS) return false;
        if (n < buffer.size()) {
            buffer.resize(n);
            value = narrow(buffer);
            return true;
        }
        buffer.assign(n, L'\0');
    }
}

bool Environment::setVariable(const std::string& name, const std::string& value) {
    return ::SetEnvironmentVariableA(toAnsi(name).c_str(), toAnsi(value).c_str()) != 0;
}

std::string Environment::expand(const std::string& text) {
    std::string expanded;
    // A text that cannot be expanded is better kept as it is than lost.
    return expandAnsi(toAnsi(text), expanded) ? fromAnsi(expanded) : text;
}

bool Environment::broadcastSettingChange(const std::string& area, std::uint32_t timeoutMs) {
    const std::string ansiArea = toAnsi(area);
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                                 reinterpret_cast<LPARAM>(ansiArea.c_str()), SMTO_ABORTIFHUNG,
                                 timeoutMs, &result) != 0;
}

}  // namespace win32
