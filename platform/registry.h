// The Windows registry (advapi32, ANSI functions) and the ANSI code page, as the program
// sees them. Key paths and value names are UTF-8 here; the backend converts them. Value
// data is raw bytes: text data is already in the ANSI code page (see TextCodec).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"

namespace platform {

// Predefined root keys.
inline constexpr Handle kHkeyClassesRoot = 0x80000000;
inline constexpr Handle kHkeyCurrentUser = 0x80000001;
inline constexpr Handle kHkeyLocalMachine = 0x80000002;
inline constexpr Handle kHkeyUsers = 0x80000003;
inline constexpr Handle kHkeyPerformanceData = 0x80000004;
inline constexpr Handle kHkeyCurrentConfig = 0x80000005;

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Access masks.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyNotify = 0x0010;
inline constexpr std::uint32_t kKeyCreateLink = 0x0020;
inline constexpr std::uint32_t kKeyAll3F = 0x003F;  // the six rights above together
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Statuses besides those in platform.h.
inline constexpr long kRegOk = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorRegAccessDenied = 5;
inline constexpr long kErrorMoreData = 234;
inline constexpr long kErrorNoMoreItems = 259;

struct KeyInfo {  // RegQueryInfoKeyA
    std::uint32_t subKeys = 0;
    std::uint32_t maxSubKeyLength = 0;
    std::uint32_t values = 0;
    std::uint32_t maxValueNameLength = 0;
    std::uint32_t maxValueLength = 0;
};

// Every operation returns the Windows status (0 success) and mirrors the named call.
class Registry {
public:
    virtual ~Registry() = default;
    // RegOpenKeyExA(root, path, 0, access, &key); key is 0 on failure.
    virtual long openKey(Handle root, const std::string& path, std::uint32_t access,
                         Handle& key) = 0;
    // RegCreateKeyExA(root, path, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL, &key, NULL).
    virtual long createKey(Handle root, const std::string& path, std::uint32_t access,
                           Handle& key) = 0;
    // RegQueryValueExA. With data == nullptr only the type and the size are asked. Otherwise
    // up to `size` bytes are read into *data (resized to what was read); ERROR_MORE_DATA
    // when they do not fit, with `size` then saying how many are needed.
    virtual long queryValue(Handle key, const std::string& name, std::uint32_t* type,
                            std::vector<std::uint8_t>* data, std::uint32_t& size) = 0;
    // RegSetValueExA(key, name, 0, type, data, size of data).
    virtual long setValue(Handle key, const std::string& name, std::uint32_t type,
                          const std::vector<std::uint8_t>& data) = 0;
    virtual long deleteValue(Handle key, const std::string& name) = 0;
    // RegDeleteKeyA: fails with ERROR_ACCESS_DENIED while the key has sub-keys.
    virtual long deleteKey(Handle root, const std::string& path) = 0;
    // RegEnumKeyA with a buffer of bufferChars characters.
    virtual long enumKey(Handle key, std::uint32_t index, std::string& name,
                         std::uint32_t bufferChars) = 0;
    // RegEnumValueA: the value's name, type and data.
    virtual long enumValue(Handle key, std::uint32_t index, std::string& name, std::uint32_t& type,
                           std::vector<std::uint8_t>& data) = 0;
    virtual long queryInfoKey(Handle key, KeyInfo& info) = 0;
    virtual long closeKey(Handle key) = 0;
};

// The system ANSI code page (GBK on the Chinese systems the program serves).
class TextCodec {
public:
    virtual ~TextCodec() = default;
    // UTF-8 text as the bytes of the ANSI code page; unrepresentable characters become '?'.
    virtual std::string toAnsi(const std::string& utf8) = 0;
    virtual std::string fromAnsi(const std::string& ansi) = 0;
    // Bytes the text takes in the ANSI code page.
    std::size_t ansiLength(const std::string& utf8) { return toAnsi(utf8).size(); }
};

}  // namespace platform
