// Reading and writing `value`: the conversions by value type.
#include <limits>

#include "base/bytes.h"
#include "registry/Registry.h"
#include "registry/registry_values.h"
#include "registry/reg_key.h"

namespace oapanel {

namespace {

constexpr long kErrorInvalidData = 13;

// "%" followed, from two characters on, by another "%": a text meant to be expanded
// (%PATH%, %a%), unlike 50% or %%.
bool holdsReference(const std::string& text) {
    const auto first = text.find('%');
    return first != std::string::npos && text.find('%', first + 2) != std::string::npos;
}

}  // namespace

std::string VariantText(const Variant& v) {
    if (const auto* text = std::get_if<std::string>(&v)) return *text;
    if (const auto* n = std::get_if<std::int16_t>(&v)) return std::to_string(*n);
    if (const auto* n = std::get_if<std::int32_t>(&v)) return std::to_string(*n);
    if (const auto* array = std::get_if<ByteArray>(&v)) return HexPairs(array->bytes);
    return {};
}

std::int32_t Registry::ReverseBytes(std::int32_t n) {
    const auto u = static_cast<std::uint32_t>(n);
    return static_cast<std::int32_t>((u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) |
                                     (u << 24));
}

std::string Registry::ExpandEnvStr(const std::string& sText) { return env_.expand(sText); }

Variant Registry::value() {
    RegKey key(reg_);
    key.open(root(), sectionKey_, platform::kKeyQueryValue);
    // A probe with an empty buffer learns the type and the size.
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::vector<std::uint8_t> data;
    const long status = reg_.queryValue(key.get(), valueKey_, &type, &data, size);
    if (status != platform::kRegOk && status != platform::kErrorMoreData) return default_;
    valueType_ = static_cast<std::int32_t>(type);

    data.clear();
    if (type == platform::kRegDword || type == platform::kRegDwordBigEndian) {
        std::uint32_t four = 4;
        reg_.queryValue(key.get(), valueKey_, nullptr, &data, four);
        const std::int32_t n = FromLittleEndian(data);
        return type == platform::kRegDword ? n : ReverseBytes(n);
    }
    if (size > 0) reg_.queryValue(key.get(), valueKey_, nullptr, &data, size);
    switch (type) {
        case platform::kRegSz:
        case platform::kRegMultiSz:  // raw: the strings stay separated by their NULs
            return codec_.fromAnsi(RegStoredText(data));
        case platform::kRegExpandSz:
            return ExpandEnvStr(codec_.fromAnsi(RegStoredText(data)));
        default:
            return ByteArray{0, std::move(data)};
    }
}

void Registry::value(const Variant& vValue) {
    RegKey key(reg_);
    if (key.create(root(), sectionKey_, platform::kKeyAll3F) != platform::kRegOk)
        raise(kErrRegistry, writeFailure(vValue));
    if (storeValue(key.get(), vValue) != platform::kRegOk)
        raise(kErrWriteRefused, writeFailure(vValue));
}

long Registry::storeValue(platform::Handle key, const Variant& vValue) {
    switch (valueType_) {
        case platform::kRegSz:
        case platform::kRegExpandSz: {
            // The stored type follows the text, whichever of the two was asked for.
            const std::string text = VariantText(vValue);
            const auto type = holdsReference(text) ? platform::kRegExpandSz : platform::kRegSz;
            return reg_.setValue(key, valueKey_, type, ansiTextWithNul(text));
        }
        case platform::kRegBinary:
            if (const auto* array = std::get_if<ByteArray>(&vValue))
                return reg_.setValue(key, valueKey_, platform::kRegBinary, array->bytes);
            throw RegistryError(kErrRegistry, "", "");
        case platform::kRegDword:
        case platform::kRegDwordBigEndian:
            if (const auto* n = std::get_if<std::int16_t>(&vValue))
                return reg_.setValue(key, valueKey_, platform::kRegDword, LittleEndian(*n));
            if (const auto* n = std::get_if<std::int32_t>(&vValue))
                return reg_.setValue(key, valueKey_, platform::kRegDword, LittleEndian(*n));
            return platform::kRegOk;  // anything else is left unwritten, without complaint
        default:
            return kErrorInvalidData;
    }
}

std::vector<std::uint8_t> Registry::ansiTextWithNul(const std::string& text) const {
    // The byte count with its NUL is a 16-bit number: a text of 32767 bytes or more does not
    // fit, and is refused before anything is written.
    std::int16_t length = 0;
    try {
        length = GetAnsiLength(codec_, text);
    } catch (const RegInternalFailure&) {
        raise(kErrOverflow, "Overflow");
    }
    if (length == std::numeric_limits<std::int16_t>::max()) raise(kErrOverflow, "Overflow");
    const std::string ansi = codec_.toAnsi(text);
    std::vector<std::uint8_t> data(ansi.begin(), ansi.end());
    data.push_back(0);
    return data;
}

std::string Registry::writeFailure(const Variant& vValue) const {
    return "Failed to set registry value Key: '" + keyText() + "',Section: '" + sectionKey_ +
           "',Key: '" + valueKey_ + "' to value: '" + VariantText(vValue) + "'";
}

}  // namespace oapanel
