// Per-application style access to the registry: a setting is addressed by an application
// part, a section part and a value name below a root key and a base path. Every operation
// opens the key it needs and closes it again before it returns; no handle reaches a caller.
//
// Names and text data cross the platform in the ANSI code page (GBK on the machines this
// program serves); byte lengths there come from GetAnsiLength.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "platform/platform.h"

namespace oapanel {

// What the module works with: the registry and the ANSI code page. A Platform converts to it,
// so callers pass the platform they hold.
struct RegAccess {
    RegAccess(platform::Registry& r, platform::TextCodec& c) : reg(r), codec(c) {}
    RegAccess(platform::Platform& os)  // NOLINT(google-explicit-constructor): meant to convert
        : reg(os.registry()), codec(os.codec()) {}

    platform::Registry& reg;
    platform::TextCodec& codec;
};

// A value as the module hands it out: nothing, a text, or a signed 32-bit number.
using RegValue = std::variant<std::monostate, std::string, std::int32_t>;

// The value as text: a number in decimal, nothing as the empty text.
std::string RegValueText(const RegValue& v);

// Text data as stored, still in the ANSI code page, without its terminating NUL. Data
// stored without one is kept whole; embedded NULs stay.
std::string RegStoredText(const std::vector<std::uint8_t>& data);

// A step that cannot go on: a byte count beyond 16 bits, a text that is no number. The
// setting operations turn it into their fallback; the lower-level helpers let it through.
class RegInternalFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The status ReadRegValue gives for a value type it does not handle.
inline constexpr long kRegTypeNotHandled = -1;

// The predefined root key of a name such as "HKEY_LOCAL_MACHINE" (any letter case); 0 for
// anything else, short forms like "HKLM" included.
platform::Handle GetRootKey(const std::string& strRootKeyName);
// The name of a predefined root key; empty for any other handle.
std::string GetRootKeyName(platform::Handle hRootKey);

// base\application\section\fourth with empty parts skipped, doubled backslashes made single
// and then every "/" turned into "\". Leading and trailing backslashes stay.
std::string BuildKeyPath(const std::string& p1, const std::string& p2, const std::string& p3,
                         const std::string& p4);

// Bytes of the text in the ANSI code page, as a 16-bit signed count: throws
// RegInternalFailure when that overflows (more than 32767 bytes).
std::int16_t GetAnsiLength(platform::TextCodec& codec, const std::string& strText);

// Writes a value into an open key. Types 1 and 2 store the text with its NUL; 4 and 5 store
// the number's four bytes in little-endian order (type 5 too). Other types write nothing
// and give 0. Returns the platform's status; throws RegInternalFailure for a text too long
// or a value that is no number.
long WriteRegValue(RegAccess ra, platform::Handle hKey, const std::string& strValueName,
                   std::uint32_t lType, const RegValue& vValue);

// Reads a value of an open key. vValue starts as the empty text. Texts come back as stored
// (REG_EXPAND_SZ unexpanded), REG_BINARY as "0A 1F FF", both DWORD types as the number in
// stored byte order. lType is set once the value was found. Returns the platform's status,
// or kRegTypeNotHandled for REG_NONE, REG_LINK, REG_MULTI_SZ and above.
long ReadRegValue(RegAccess ra, platform::Handle hKey, const std::string& strValueName,
                  RegValue& vValue, std::uint32_t& lType);

// The value at base\application\section, or vDefault when it is missing, empty or cannot be
// read. The key is opened with KEY_QUERY_VALUE only.
RegValue GetRegSetting(RegAccess ra, const std::string& strAppName, const std::string& strSection,
                       const std::string& strKey, const RegValue& vDefault,
                       platform::Handle hRootKey, const std::string& strBasePath);

// Creates the key path as needed and writes the text as REG_SZ, whatever type the value had.
// True when the text was stored; false when the key could not be created or opened, the
// write was refused, or the text is over 32766 bytes in the ANSI code page.
bool SaveRegSetting(RegAccess ra, const std::string& strAppName, const std::string& strSection,
                    const std::string& strKey, const std::string& strSetting,
                    platform::Handle hRootKey, const std::string& strBasePath);

// With a value name: deletes that value (creating the key when it is missing). With an
// empty one: deletes the key with everything below it. True when the final delete succeeded.
bool DeleteRegSetting(RegAccess ra, const std::string& strAppName, const std::string& strSection,
                      const std::string& strKey, platform::Handle hRootKey,
                      const std::string& strBasePath);

struct SubKeyList {
    std::vector<std::string> names;  // in the platform's enumeration order
    std::vector<bool> hasSubKeys;    // filled only when asked for; one flag per name
};

// The sub-keys of a key; both lists empty when it cannot be opened.
SubKeyList EnumSubKeys(RegAccess ra, const std::string& strRootKeyName,
                       const std::string& strKeyPath, bool bFillFlags);

// A service's ImagePath under HKLM\SYSTEM\CurrentControlSet\Services, "Nothing" when absent.
std::string GetServiceImagePath(RegAccess ra, const std::string& strServiceName);
bool IsServiceRegistered(RegAccess ra, const std::string& strServiceName);

}  // namespace oapanel
