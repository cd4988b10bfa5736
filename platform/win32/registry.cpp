#include "platform/win32/registry.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/text.h"

namespace win32 {

namespace {

// The predefined keys travel as their 32-bit numbers (0x80000002); a 64-bit Windows knows
// them only sign-extended (0xFFFFFFFF80000002), so they are widened that way.
HKEY hkey(platform::Handle h) {
    if (h >= platform::kHkeyClassesRoot && h <= 0x80000006u)
        return reinterpret_cast<HKEY>(
            static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(h))));
    return reinterpret_cast<HKEY>(h);
}

platform::Handle handle(HKEY k) { return reinterpret_cast<platform::Handle>(k); }

long status(LSTATUS s) { return static_cast<long>(s); }

}  // namespace

long Registry::openKey(platform::Handle root, const std::string& path, std::uint32_t access,
                       platform::Handle& key) {
    HKEY k = nullptr;
    const LSTATUS s = ::RegOpenKeyExA(hkey(root), toAnsi(path).c_str(), 0, access, &k);
    key = s == ERROR_SUCCESS ? handle(k) : 0;
    return status(s);
}

long Registry::createKey(platform::Handle root, const std::string& path, std::uint32_t access,
                         platform::Handle& key) {
    HKEY k = nullptr;
    const LSTATUS s = ::RegCreateKeyExA(hkey(root), toAnsi(path).c_str(), 0, nullptr,
                                        REG_OPTION_NON_VOLATILE, access, nullptr, &k, nullptr);
    key = s == ERROR_SUCCESS ? handle(k) : 0;
    return status(s);
}

long Registry::queryValue(platform::Handle key, const std::string& name, std::uint32_t* type,
                          std::vector<std::uint8_t>* data, std::uint32_t& size) {
    const std::string ansiName = toAnsi(name);
    DWORD t = 0;
    DWORD n = size;
    if (!data) {
        const LSTATUS s = ::RegQueryValueExA(hkey(key), ansiName.c_str(), nullptr, &t, nullptr, &n);
        if (type && s == ERROR_SUCCESS) *type = t;
        size = n;
        return status(s);
    }
    // Always a real buffer, so a size of 0 asks "does it fit" rather than "how big is it".
    std::vector<std::uint8_t> buffer(std::max<std::size_t>(size, 1));
    const LSTATUS s =
        ::RegQueryValueExA(hkey(key), ansiName.c_str(), nullptr, &t, buffer.data(), &n);
    if (type && (s == ERROR_SUCCESS || s == ERROR_MORE_DATA)) *type = t;
    size = n;
    if (s == ERROR_SUCCESS)
        data->assign(buffer.begin(), buffer.begin() + std::min<std::size_t>(n, buffer.size()));
    else
        data->clear();
    return status(s);
}

long Registry::setValue(platform::Handle key, const std::string& name, std::uint32_t type,
                        const std::vector<std::uint8_t>& data) {
    return status(::RegSetValueExA(hkey(key), toAnsi(name).c_str(), 0, type,
                                   data.empty() ? nullptr : data.data(),
                                   static_cast<DWORD>(data.size())));
}

long Registry::deleteValue(platform::Handle key, const std::string& name) {
    return status(::RegDeleteValueA(hkey(key), toAnsi(name).c_str()));
}

long Registry::deleteKey(platform::Handle root, const std::string& path) {
    return status(::RegDeleteKeyA(hkey(root), toAnsi(path).c_str()));
}

long Registry::enumKey(platform::Handle key, std::uint32_t index, std::string& name,
                       std::uint32_t bufferChars) {
    std::string buffer(std::max<std::uint32_t>(bufferChars, 1), '\0');
    const LSTATUS s = ::RegEnumKeyA(hkey(key), index, buffer.data(), bufferChars);
    if (s == ERROR_SUCCESS) name = fromAnsi(buffer.substr(0, buffer.find('\0')));
    return status(s);
}

long Registry::enumValue(platform::Handle key, std::uint32_t index, std::string& name,
                         std::uint32_t& type, std::vector<std::uint8_t>& data) {
    DWORD maxName = 0;
    DWORD maxData = 0;
    LSTATUS s = ::RegQueryInfoKeyA(hkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &maxName, &maxData, nullptr, nullptr);
    if (s != ERROR_SUCCESS) return status(s);
    // The longest name is counted in characters; in a double-byte code page each may take
    // two bytes. A value that grows meanwhile gets a bigger buffer on the next round.
    std::size_t nameBytes = 2 * (static_cast<std::size_t>(maxName) + 1);
    std::size_t dataBytes = std::max<std::size_t>(maxData, 1);
    for (int round = 0; round < 4; ++round) {
        std::string nameBuffer(nameBytes, '\0');
        std::vector<std::uint8_t> dataBuffer(dataBytes);
        DWORD nameLength = static_cast<DWORD>(nameBytes);
        DWORD dataLength = static_cast<DWORD>(dataBytes);
        DWORD t = 0;
        s = ::RegEnumValueA(hkey(key), index, nameBuffer.data(), &nameLength, nullptr, &t,
                            dataBuffer.data(), &dataLength);
        if (s == ERROR_MORE_DATA) {
            nameBytes *= 2;
            dataBytes = std::max<std::size_t>(dataBytes * 2, dataLength);
            continue;
        }
        if (s == ERROR_SUCCESS) {
            name = fromAnsi(nameBuffer.substr(0, nameLength));
            type = t;
            data.assign(dataBuffer.begin(),
                        dataBuffer.begin() + std::min<std::size_t>(dataLength, dataBytes));
        }
        return status(s);
    }
    return status(s);
}

long Registry::queryInfoKey(platform::Handle key, platform::KeyInfo& info) {
    DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
    const LSTATUS s =
        ::RegQueryInfoKeyA(hkey(key), nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr,
                           &values, &maxValueName, &maxValue, nullptr, nullptr);
    if (s == ERROR_SUCCESS) info = {subKeys, maxSubKey, values, maxValueName, maxValue};
    return status(s);
}

long Registry::closeKey(platform::Handle key) { return status(::RegCloseKey(hkey(key))); }

std::string TextCodec::toAnsi(const std::string& utf8) { return win32::toAnsi(utf8); }

std::string TextCodec::fromAnsi(const std::string& ansi) { return win32::fromAnsi(ansi); }

}  // namespace win32
