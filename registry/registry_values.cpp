// Root keys, key paths, byte lengths and the typed read and write of one value.
#include "registry/registry_values.h"

#include <charconv>
#include <limits>

#include "base/bytes.h"
#include "base/text.h"

namespace oapanel {

namespace {

struct RootKey {
    const char* name;
    platform::Handle handle;
};

constexpr RootKey kRootKeys[] = {
    {"HKEY_CURRENT_USER", platform::kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", platform::kHkeyLocalMachine},
    {"HKEY_USERS", platform::kHkeyUsers},
    {"HKEY_CLASSES_ROOT", platform::kHkeyClassesRoot},
    {"HKEY_CURRENT_CONFIG", platform::kHkeyCurrentConfig},
};

// Replaces the first occurrence of `what` again and again until none is left.
void replaceWhileFound(std::string& s, const std::string& what, const std::string& with) {
    for (auto pos = s.find(what); pos != std::string::npos; pos = s.find(what, pos))
        s.replace(pos, what.size(), with);
}

// A number for the DWORD types: blanks around an optional sign and decimal digits.
std::int32_t toNumber(const RegValue& v) {
    if (std::holds_alternative<std::monostate>(v)) return 0;
    if (const auto* n = std::get_if<std::int32_t>(&v)) return *n;
    const std::string text = TrimBlanks(std::get<std::string>(v));
    if (text.empty()) throw RegInternalFailure("Type mismatch");
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (*begin == '+') ++begin;
    std::int32_t n = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, n);
    if (ec == std::errc::result_out_of_range) throw RegInternalFailure("Overflow");
    if (ec != std::errc() || ptr != end) throw RegInternalFailure("Type mismatch");
    return n;
}

}  // namespace

std::string RegValueText(const RegValue& v) {
    if (const auto* text = std::get_if<std::string>(&v)) return *text;
    if (const auto* n = std::get_if<std::int32_t>(&v)) return std::to_string(*n);
    return {};
}

std::string RegStoredText(const std::vector<std::uint8_t>& data) {
    std::string text(data.begin(), data.end());
    // Only a terminating NUL goes: text stored without one keeps its last character.
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

platform::Handle GetRootKey(const std::string& strRootKeyName) {
    for (const auto& root : kRootKeys)
        if (EqualsIgnoringCase(strRootKeyName, root.name)) return root.handle;
    return 0;
}

std::string GetRootKeyName(platform::Handle hRootKey) {
    for (const auto& root : kRootKeys)
        if (root.handle == hRootKey) return root.name;
    return {};
}

std::string BuildKeyPath(const std::string& p1, const std::string& p2, const std::string& p3,
                         const std::string& p4) {
    std::string path = p1;
    for (const std::string* part : {&p2, &p3, &p4}) {
        if (part->empty()) continue;
        if (!path.empty()) path += '\\';
        path += *part;
    }
    replaceWhileFound(path, "\\\\", "\\");
    replaceWhileFound(path, "/", "\\");
    return path;
}

std::int16_t GetAnsiLength(platform::TextCodec& codec, const std::string& strText) {
    const std::size_t bytes = codec.ansiLength(strText);
    if (bytes > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
        throw RegInternalFailure("Overflow");
    return static_cast<std::int16_t>(bytes);
}

long WriteRegValue(RegAccess ra, platform::Handle hKey, const std::string& strValueName,
                   std::uint32_t lType, const RegValue& vValue) {
    switch (lType) {
        case platform::kRegSz:
        case platform::kRegExpandSz: {
            const std::string text = RegValueText(vValue) + '\0';
            const auto length = GetAnsiLength(ra.codec, text);
            const std::string ansi = ra.codec.toAnsi(text);
            std::vector<std::uint8_t> data(ansi.begin(), ansi.end());
            data.resize(static_cast<std::size_t>(length));
            return ra.reg.setValue(hKey, strValueName, lType, data);
        }
        case platform::kRegDword:
        case platform::kRegDwordBigEndian:
            // Type 5 is written in the machine's order too, as it is read back.
            return ra.reg.setValue(hKey, strValueName, lType, LittleEndian(toNumber(vValue)));
        default:
            return platform::kRegOk;
    }
}

long ReadRegValue(RegAccess ra, platform::Handle hKey, const std::string& strValueName,
                  RegValue& vValue, std::uint32_t& lType) {
    vValue = std::string();
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    long status = ra.reg.queryValue(hKey, strValueName, &type, nullptr, size);
    if (status != platform::kRegOk) return status;
    lType = type;

    std::vector<std::uint8_t> data;
    switch (type) {
        case platform::kRegSz:
        case platform::kRegExpandSz:
            status = ra.reg.queryValue(hKey, strValueName, nullptr, &data, size);
            if (status == platform::kRegOk) vValue = ra.codec.fromAnsi(RegStoredText(data));
            return status;
        case platform::kRegBinary:
            status = ra.reg.queryValue(hKey, strValueName, nullptr, &data, size);
            if (status == platform::kRegOk) vValue = HexPairs(data);
            return status;
        case platform::kRegDword:
        case platform::kRegDwordBigEndian: {
            std::uint32_t four = 4;
            status = ra.reg.queryValue(hKey, strValueName, nullptr, &data, four);
            if (status == platform::kRegOk) vValue = FromLittleEndian(data);
            return status;
        }
        default:
            return kRegTypeNotHandled;
    }
}

}  // namespace oapanel
