// Whatever type and bytes another program left in the registry, the readers (the module's
// ReadRegValue and GetRegSetting, the class's `value`) must not crash or read past the data,
// must raise nothing, must give what the type says, must close every key and must leave the
// value as it was.
//
// Input: a selector (below 0xC0 the types 0 to 11, else the next 4 bytes are any type number),
// the value name's length (mod 32), the name, then the data byte for byte.
#undef NDEBUG  // the checks are the point, in any build
#include <cassert>

#include "registry/Registry.h"
#include "registry/basRegistry.h"
#include "registry/reg_key.h"
#include "tests/fake/fake.h"

using oapanel::RegValue, oapanel::Variant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::size_t at = 0;
    const auto next = [&]() -> std::uint32_t { return at < size ? bytes[at++] : 0; };
    std::uint32_t type = next(), wide = 0;
    for (int i = 0; type >= 0xC0 && i < 4; ++i) wide |= next() << 8 * i;
    type = type < 0xC0 ? type % 12 : wide;
    std::string name;
    for (std::uint32_t n = next() % 32; n > 0 && at < size; --n) name += char(next());
    const fake::Bytes data(bytes + at, bytes + size);  // stored exactly: ASan sees past it

    // What a reader should make of it: the text without a final NUL, the hexadecimal pairs, the
    // first four bytes as a little-endian number.
    std::string text(data.begin(), data.end()), hex;
    if (!text.empty() && text.back() == '\0') text.pop_back();
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        hex += std::string(i ? " " : "") + "0123456789ABCDEF"[data[i] >> 4] +
               "0123456789ABCDEF"[data[i] & 15];
        if (i < 4) number |= std::uint32_t{data[i]} << 8 * i;
    }
    const bool isText = type == 1 || type == 2, isBytes = type == 0 || type == 3 || type >= 6;
    const bool isNumber = (type == 4 || type == 5) && data.size() <= 4;

    fake::FakePlatform os;
    os.env.variables["SYSTEMROOT"] = "C:\\windows";
    os.reg.put(platform::kHkeyCurrentUser, "Software\\fuzz", name, type, data);
    text = os.codec().fromAnsi(text);
    {
        RegValue value;
        std::uint32_t found = ~0u;
        oapanel::RegKey key(os.reg);
        key.open(platform::kHkeyCurrentUser, "Software\\fuzz", platform::kKeyQueryValue);
        const long status = oapanel::ReadRegValue(os, key.get(), name, value, found);
        assert(found == type);
        assert(!isText || value == RegValue(text));
        assert(type != 3 || value == RegValue(hex));
        assert(!isNumber || value == RegValue(std::int32_t(number)));
        assert(isText || type == 3 || isNumber || (status != 0 && value == RegValue("")));
        const RegValue setting = oapanel::GetRegSetting(os, "fuzz", "", name, RegValue("\1"),
                                                        platform::kHkeyCurrentUser, "Software");
        assert(setting == (value == RegValue("") ? RegValue("\1") : value));

        oapanel::Registry r(os);
        r.ClassKey(oapanel::AsClassKey(platform::kHkeyCurrentUser));
        r.SectionKey("Software\\fuzz");
        r.ValueKey(name);
        const Variant read = r.value();
        assert(r.ValueType() == std::int32_t(type));
        assert(!(type == 1 || type == 7) || read == Variant(text));
        assert(!isNumber ||
               read == Variant(std::int32_t(type == 4 ? number : __builtin_bswap32(number))));
        assert(!isBytes || type == 7 || read == Variant(oapanel::ByteArray{0, data}));
    }
    assert(os.reg.openKeys() == 0);
    const auto stored = os.reg.get(platform::kHkeyCurrentUser, "Software\\fuzz", name);
    assert(stored && stored->type == type && stored->data == data);
    return 0;
}
