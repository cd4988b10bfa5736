// Feeds arbitrary stored values to the two readers of the registry: the module's ReadRegValue and
// GetRegSetting, and the class's `value`. Whatever type and bytes another program left in the
// registry, reading must not crash, must not read past the data, must raise nothing but the
// documented errors, must close every key it opened, and must not change what is stored.
//
// The input is:  selector [4-byte type when selector >= 0xC0]  name length  name  data...
// A selector below 0xC0 picks one of the types 0 to 11 (the ones Windows defines); the rest give
// any 32-bit number. Everything after the name is the value's data, byte for byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "registry/Registry.h"
#include "registry/basRegistry.h"
#include "registry/reg_key.h"
#include "tests/fake/fake_platform.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr auto kRoot = platform::kHkeyCurrentUser;
const std::string kBase = "Software";
const std::string kApp = "oapanel fuzz";
const std::string kPath = kBase + "\\" + kApp;

// A default unlike any ordinary stored value, so it shows when a reader falls back to it.
const std::string kDefaultText = "\x01no value\x01";

struct Input {
    std::uint32_t type = 0;
    std::string name;
    Bytes data;
};

Input split(const std::uint8_t* bytes, std::size_t size) {
    Input in;
    std::size_t at = 0;
    auto next = [&]() -> std::uint8_t { return at < size ? bytes[at++] : 0; };
    const std::uint8_t selector = next();
    if (selector < 0xC0) {
        in.type = selector % 12u;
    } else {
        for (int i = 0; i < 4; ++i) in.type |= std::uint32_t{next()} << (8 * i);
    }
    const std::size_t nameLength = next() % 32u;
    for (std::size_t i = 0; i < nameLength && at < size; ++i) in.name += static_cast<char>(next());
    in.data.assign(bytes + at, bytes + size);
    return in;
}

[[noreturn]] void fail(const char* what, const Input& in) {
    std::fprintf(stderr, "registry_value_fuzz: %s (type %u, name of %zu bytes, %zu data bytes)\n",
                 what, in.type, in.name.size(), in.data.size());
    std::abort();
}

void require(bool holds, const char* what, const Input& in) {
    if (!holds) fail(what, in);
}

bool isAscii(const Bytes& data) {
    for (const auto b : data)
        if (b >= 0x80) return false;
    return true;
}

// The stored text as a reader should give it when no code page conversion is involved: the
// bytes without one terminating NUL.
std::string plainText(const Bytes& data) {
    std::string text(data.begin(), data.end());
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

std::uint32_t littleEndian(const Bytes& data) {
    std::uint32_t u = 0;
    for (std::size_t i = 0; i < data.size() && i < 4; ++i) u |= std::uint32_t{data[i]} << (8 * i);
    return u;
}

// "0A 1F FF" back into its bytes; false when the text is not exactly such pairs.
bool parseHexPairs(const std::string& text, Bytes& out) {
    out.clear();
    if (text.empty()) return true;
    if (text.size() % 3 != 2) return false;
    for (std::size_t i = 0; i < text.size(); i += 3) {
        if (i > 0 && text[i - 1] != ' ') return false;
        unsigned value = 0;
        for (std::size_t k = i; k < i + 2; ++k) {
            const char c = text[k];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<unsigned>(c - '0');
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<unsigned>(c - 'A' + 10);
            else
                return false;
        }
        out.push_back(static_cast<std::uint8_t>(value));
    }
    return true;
}

void checkModule(fake::FakePlatform& os, const Input& in) {
    oapanel::RegValue value;
    std::uint32_t type = 0xFFFFFFFFu;
    long status = 0;
    {
        oapanel::RegKey key(os.reg);
        require(key.open(kRoot, kPath, platform::kKeyQueryValue) == platform::kRegOk,
                "the key with the value cannot be opened", in);
        status = oapanel::ReadRegValue(os, key.get(), in.name, value, type);
    }
    require(type == in.type, "ReadRegValue did not report the stored type", in);

    const auto* text = std::get_if<std::string>(&value);
    switch (in.type) {
        case platform::kRegSz:
        case platform::kRegExpandSz:
            require(status == platform::kRegOk && text, "text was not read as text", in);
            if (isAscii(in.data))
                require(*text == plainText(in.data), "text came back changed", in);
            break;
        case platform::kRegBinary: {
            Bytes back;
            require(
                status == platform::kRegOk && text && parseHexPairs(*text, back) && back == in.data,
                "binary data did not come back as its hexadecimal pairs", in);
            break;
        }
        case platform::kRegDword:
        case platform::kRegDwordBigEndian:
            if (in.data.size() <= 4) {
                const auto* n = std::get_if<std::int32_t>(&value);
                require(status == platform::kRegOk && n &&
                            static_cast<std::uint32_t>(*n) == littleEndian(in.data),
                        "a number was not read in stored byte order", in);
            } else {
                require(status != platform::kRegOk && text && text->empty(),
                        "a number longer than four bytes was taken as read", in);
            }
            break;
        default:
            require(status == oapanel::kRegTypeNotHandled && text && text->empty(),
                    "a type the module does not handle gave a value", in);
    }

    // GetRegSetting reads the same way, with the default for whatever is empty or unreadable.
    const oapanel::RegValue setting = oapanel::GetRegSetting(
        os, kApp, "", in.name, oapanel::RegValue(kDefaultText), kRoot, kBase);
    const bool emptyRead = std::holds_alternative<std::monostate>(value) || (text && text->empty());
    require(setting == (emptyRead ? oapanel::RegValue(kDefaultText) : value),
            "GetRegSetting does not give what ReadRegValue read, or the default for nothing", in);
}

void checkClass(fake::FakePlatform& os, const Input& in) {
    oapanel::Registry r(os);
    r.ClassKey(oapanel::AsClassKey(kRoot));
    r.SectionKey(kPath);
    r.ValueKey(in.name);
    r.ValueType(-7);
    r.Default(std::string(kDefaultText));
    const oapanel::Variant value = r.value();
    require(r.ValueType() == static_cast<std::int32_t>(in.type),
            "the class did not take the stored type", in);

    const auto* text = std::get_if<std::string>(&value);
    switch (in.type) {
        case platform::kRegSz:
        case platform::kRegMultiSz:
            require(text != nullptr, "text was not read as text", in);
            if (isAscii(in.data))
                require(*text == plainText(in.data), "text came back changed", in);
            break;
        case platform::kRegExpandSz:
            require(text != nullptr, "expandable text was not read as text", in);
            if (isAscii(in.data) && plainText(in.data).find('%') == std::string::npos)
                require(*text == plainText(in.data), "text without references came back changed",
                        in);
            break;
        case platform::kRegDword:
        case platform::kRegDwordBigEndian:
            require(std::holds_alternative<std::int32_t>(value), "a number was not read as one",
                    in);
            if (in.data.size() <= 4) {
                // The stored bytes, missing ones as 0, read in the order the type names.
                std::uint32_t expected = 0;
                for (std::size_t i = 0; i < in.data.size(); ++i)
                    expected |= std::uint32_t{in.data[i]}
                                << (in.type == platform::kRegDword ? 8 * i : 24 - 8 * i);
                require(static_cast<std::uint32_t>(std::get<std::int32_t>(value)) == expected,
                        "a number came back in the wrong byte order", in);
            }
            break;
        default: {
            const auto* array = std::get_if<oapanel::ByteArray>(&value);
            require(array && array->lowerBound == 0 && array->bytes == in.data,
                    "other types did not come back as their bytes, from index 0", in);
        }
    }

    // ReadKey at the same address from an object that points elsewhere gives the same, and puts
    // back the fields it replaced.
    oapanel::Registry other(os);
    other.ClassKey(oapanel::AsClassKey(platform::kHkeyLocalMachine));
    other.SectionKey("Elsewhere");
    other.ValueKey("elsewhere");
    const bool nameGiven = !in.name.empty();
    const oapanel::Variant again =
        other.ReadKey(in.name, kPath, oapanel::AsClassKey(kRoot), oapanel::Variant(kDefaultText));
    // Without a name the object's own (missing) value is read, which gives the default.
    require(again == (nameGiven ? value : oapanel::Variant(kDefaultText)),
            "ReadKey and value disagree", in);
    require(other.ClassKey() == oapanel::AsClassKey(platform::kHkeyLocalMachine) &&
                other.SectionKey() == "Elsewhere" && other.ValueKey() == "elsewhere" &&
                oapanel::IsEmpty(other.Default()),
            "ReadKey did not restore the address", in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const Input in = split(bytes, size);

    fake::FakePlatform os;
    os.env.variables["SystemRoot"] = "C:\\windows";
    os.env.variables["EMPTY"] = "";
    // An exact-size copy: the readers get nothing but the stored bytes, so any read past them
    // lands outside the allocation.
    os.reg.put(kRoot, kPath, in.name, in.type, Bytes(in.data));

    try {
        checkModule(os, in);
        checkClass(os, in);
    } catch (const oapanel::RegistryError&) {
    } catch (const oapanel::RegInternalFailure&) {
    }

    require(os.reg.openKeys() == 0, "a key was left open", in);
    const auto stored = os.reg.get(kRoot, kPath, in.name);
    require(stored && stored->type == in.type && stored->data == in.data,
            "reading changed the stored value", in);
    return 0;
}
