// Whatever type and bytes another program left in the registry, the readers (basRegistry's,
// by way of GetRegSetting, and the Registry class) must not crash, read past the data, raise,
// or leave a key open. Input: the type (one byte; from 0xF0 on, a number far above the known
// types), then the data, stored exactly so that the sanitizers see any read past its end.
#include "registry/Registry.h"
#include "registry/basRegistry.h"
#include "tests/fake/fake.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    fake::FakePlatform os;
    os.reg.put(platform::kHkeyCurrentUser, "Software\\fuzz", "v",
               bytes[0] < 0xF0 ? bytes[0] % 12 : 0xFFFFFF00u | bytes[0],
               fake::Bytes(bytes + 1, bytes + size));
    oapanel::GetRegSetting(os, "fuzz", "", "v", oapanel::RegValue(""), platform::kHkeyCurrentUser,
                           "Software");
    oapanel::Registry(os).ReadKey("v", "Software\\fuzz",
                                  oapanel::AsClassKey(platform::kHkeyCurrentUser));
    if (os.reg.openKeys() != 0) __builtin_trap();  // a key left open
    return 0;
}
