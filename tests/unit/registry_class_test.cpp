// The Registry class against the simulated registry.
#include <gtest/gtest.h>

#include <functional>

#include "registry/Registry.h"
#include "registry/env_value.h"
#include "tests/fake/fake_platform.h"

namespace {

using namespace oapanel;
using Bytes = std::vector<std::uint8_t>;

constexpr auto HKCU = platform::kHkeyCurrentUser;
constexpr auto HKLM = platform::kHkeyLocalMachine;
const std::string kEnvKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The error an action raises; fails the test when it raises none.
RegistryError raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const RegistryError& e) {
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return RegistryError(0, "", "");
}

Registry addressed(fake::FakePlatform& os, platform::Handle root, const std::string& section,
                   const std::string& name, std::int32_t type = 0) {
    Registry r(os);
    r.ClassKey(AsClassKey(root));
    r.SectionKey(section);
    r.ValueKey(name);
    r.ValueType(type);
    return r;
}

TEST(RegistryClass, ANewObjectAddressesNothing) {
    fake::FakePlatform os;
    Registry r(os);
    EXPECT_EQ(r.ClassKey(), 0);
    EXPECT_EQ(r.ValueType(), 0);
    EXPECT_FALSE(r.KeyExists());
    EXPECT_TRUE(IsEmpty(r.value()));
    const RegistryError e = raised([&] { r.value(std::string("x")); });
    EXPECT_EQ(e.number(), 26001);
    EXPECT_EQ(e.source(), "oapanel.cRegistry");
    EXPECT_EQ(e.description(),
              "Failed to set registry value Key: '0',Section: '',Key: '' to value: 'x'");
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(RegistryClass, ReadingConvertsByTheStoredType) {
    const struct {
        const char* what;
        std::uint32_t type;
        Bytes data;
        Variant expected;
    } cases[] = {
        {"text", platform::kRegSz, bytes(std::string("abc\0", 4)), std::string("abc")},
        {"empty text", platform::kRegSz, {}, std::string()},
        {"chinese", platform::kRegSz, {}, std::string("中文")},  // stored below
        {"expanded", platform::kRegExpandSz, bytes(std::string("%SystemRoot%\\x\0", 15)),
         std::string("C:\\windows\\x")},
        {"dword", platform::kRegDword, {2, 1, 0, 0}, std::int32_t{258}},
        {"big endian", platform::kRegDwordBigEndian, {0, 0, 1, 2}, std::int32_t{258}},
        {"binary", platform::kRegBinary, {0x0A, 0x1F, 0xFF}, ByteArray{0, {0x0A, 0x1F, 0xFF}}},
        {"multi stays raw", platform::kRegMultiSz, bytes(std::string("a\0b\0\0", 5)),
         std::string("a\0b\0", 4)},
        {"link", platform::kRegLink, {1, 2}, ByteArray{0, {1, 2}}},
        {"qword", 11, Bytes(8, 7), ByteArray{0, Bytes(8, 7)}},
        {"empty binary", platform::kRegBinary, {}, ByteArray{0, {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        os.env.variables["SystemRoot"] = "C:\\windows";
        if (std::string(c.what) == "chinese")
            os.reg.putText(HKCU, "A", "v", "中文");
        else
            os.reg.put(HKCU, "A", "v", c.type, c.data);
        Registry r = addressed(os, HKCU, "A", "v");
        EXPECT_EQ(r.value(), c.expected);
        EXPECT_EQ(r.ValueType(), static_cast<std::int32_t>(c.type));
        EXPECT_EQ(os.reg.openKeys(), 0u);
        EXPECT_EQ(os.count("RegOpenKeyExA HKCU\\A 0x1"), 1);
    }
}

TEST(RegistryClass, WhatCannotBeReadGivesTheDefaultAndKeepsTheType) {
    const struct {
        const char* what;
        std::function<void(fake::FakeRegistry&)> arrange;
    } cases[] = {
        {"missing value", [](auto& r) { r.putText(HKCU, "A", "other", "x"); }},
        {"missing key", [](auto&) {}},
        {"denied key",
         [](auto& r) {
             r.putText(HKCU, "A", "v", "x");
             r.denyAccess(HKCU, "A");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        c.arrange(os.reg);
        Registry r = addressed(os, HKCU, "A", "v", 4);
        r.Default(std::string("dflt"));
        EXPECT_EQ(r.value(), Variant(std::string("dflt")));
        EXPECT_EQ(r.ValueType(), 4);
        EXPECT_EQ(os.reg.openKeys(), 0u);
    }
}

TEST(RegistryClass, WritingStoresByValueType) {
    const struct {
        const char* what;
        std::int32_t valueType;
        Variant value;
        std::uint32_t storedType;
        Bytes data;
    } cases[] = {
        {"path", 1, std::string("C:\\oa\\jre"), 1, bytes(std::string("C:\\oa\\jre\0", 10))},
        {"reference", 1, std::string("%ProgramFiles%\\x"), 2,
         bytes(std::string("%ProgramFiles%\\x\0", 17))},
        {"short reference", 1, std::string("%a%"), 2, bytes(std::string("%a%\0", 4))},
        {"percent sign", 1, std::string("100%"), 1, bytes(std::string("100%\0", 5))},
        {"two percent signs", 2, std::string("%%"), 1, bytes(std::string("%%\0", 3))},
        {"chinese", 1, std::string("中文"), 1, {}},  // size checked below
        {"number as text", 1, std::int32_t{42}, 1, bytes(std::string("42\0", 3))},
        {"dword", 4, std::int32_t{5}, 4, {5, 0, 0, 0}},
        {"16-bit, big endian asked", 5, std::int16_t{-2}, 4, {0xFE, 0xFF, 0xFF, 0xFF}},
        {"byte array from 1 to 4", 3, ByteArray{1, {1, 2, 3, 4}}, 3, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        Registry r = addressed(os, HKCU, "Software\\oa", "v", c.valueType);
        r.value(c.value);
        const auto stored = os.reg.get(HKCU, "Software\\oa", "v");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->type, c.storedType);
        if (std::string(c.what) == "chinese")
            EXPECT_EQ(stored->data.size(), 5u);
        else
            EXPECT_EQ(stored->data, c.data);
        EXPECT_EQ(r.ValueType(), c.valueType);
        EXPECT_EQ(os.reg.openKeys(), 0u);
    }
}

TEST(RegistryClass, ADwordFromAnythingButAnIntegerIsQuietlyNotWritten) {
    fake::FakePlatform os;
    Registry r = addressed(os, HKCU, "A", "v", 4);
    r.value(std::string("5"));
    EXPECT_TRUE(os.reg.hasKey(HKCU, "A"));
    EXPECT_FALSE(os.reg.get(HKCU, "A", "v"));
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(RegistryClass, RefusedWritesRaiseAndLeaveTheObjectAsItWas) {
    const std::string kFailure =
        "Failed to set registry value Key: '-2147483646',Section: 'SOFTWARE\\oa',Key: 'v' to "
        "value: '";
    const struct {
        const char* what;
        std::int32_t valueType;
        Variant value;
        std::function<void(fake::FakePlatform&)> arrange;
        std::int32_t number;
        std::string source, description;
        bool keyCreated;
    } cases[] = {
        {"text as binary", 3, std::string("0A"), [](auto&) {}, 26001, "", "", true},
        {"multi", 7, std::string("x"), [](auto&) {}, kErrWriteRefused, "oapanel.cRegistry",
         kFailure + "x'", true},
        {"no type", 0, std::int32_t{1}, [](auto&) {}, kErrWriteRefused, "oapanel.cRegistry",
         kFailure + "1'", true},
        {"read-only key", 1, std::string("x"), [](auto& os) { os.reg.makeReadOnly(HKLM); }, 26001,
         "oapanel.cRegistry", kFailure + "x'", false},
        {"set refused", 4, std::int32_t{7}, [](auto& os) { os.faults.fail("RegSetValueExA", 5); },
         kErrWriteRefused, "oapanel.cRegistry", kFailure + "7'", true},
        {"text too long", 1, std::string(32767, 'x'), [](auto&) {}, kErrOverflow,
         "oapanel.cRegistry", "Overflow", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        c.arrange(os);
        Registry r = addressed(os, HKLM, "SOFTWARE\\oa", "v", c.valueType);
        const RegistryError e = raised([&] { r.value(c.value); });
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.source(), c.source);
        EXPECT_EQ(e.description(), c.description);
        EXPECT_EQ(os.reg.hasKey(HKLM, "SOFTWARE\\oa"), c.keyCreated);
        EXPECT_FALSE(os.reg.get(HKLM, "SOFTWARE\\oa", "v"));
        EXPECT_EQ(r.SectionKey(), "SOFTWARE\\oa");
        EXPECT_EQ(r.ValueType(), c.valueType);
        EXPECT_EQ(os.reg.openKeys(), 0u);
    }
}

TEST(RegistryClass, TheLongestTextThatFitsIs32766Bytes) {
    fake::FakePlatform os;
    Registry r = addressed(os, HKCU, "A", "v", 1);
    r.value(std::string(32766, 'x'));
    EXPECT_EQ(os.reg.get(HKCU, "A", "v")->data.size(), 32767u);
    std::string chinese;
    for (int i = 0; i < 16384; ++i) chinese += "中";
    EXPECT_EQ(raised([&] { r.value(chinese); }).number(), kErrOverflow);
}

TEST(RegistryClass, KeyOperationsRaiseWithTheirExactDescriptions) {
    const struct {
        const char* what;
        std::function<void(fake::FakeRegistry&)> arrange;
        std::function<bool(Registry&)> operation;
        std::string description;  // empty: succeeds
    } cases[] = {
        {"create", [](auto&) {}, [](Registry& r) { return r.CreateKey(); }, ""},
        {"create refused", [](auto& reg) { reg.makeReadOnly(HKLM); },
         [](Registry& r) { return r.CreateKey(); }, "Failed to create registry Key: 'SOFTWARE\\oa"},
        {"delete", [](auto& reg) { reg.addKey(HKLM, "SOFTWARE\\oa"); },
         [](Registry& r) { return r.DeleteKey(); }, ""},
        {"delete with sub-keys", [](auto& reg) { reg.addKey(HKLM, "SOFTWARE\\oa\\sub"); },
         [](Registry& r) { return r.DeleteKey(); },
         "Failed to delete registry Key: '-2147483646',Section: 'SOFTWARE\\oa"},
        {"delete value", [](auto& reg) { reg.putText(HKLM, "SOFTWARE\\oa", "v", "x"); },
         [](Registry& r) { return r.DeleteValue(); }, ""},
        {"delete value of a missing key", [](auto&) {}, [](Registry& r) { return r.DeleteValue(); },
         "Failed to open key '-2147483646',Section: 'SOFTWARE\\oa' for delete access"},
        {"delete a missing value", [](auto& reg) { reg.addKey(HKLM, "SOFTWARE\\oa"); },
         [](Registry& r) { return r.DeleteValue(); },
         "Failed to delete registry Key: '-2147483646',Section: 'SOFTWARE\\oa',Key: 'v"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        c.arrange(os.reg);
        Registry r = addressed(os, HKLM, "SOFTWARE\\oa", "v");
        if (c.description.empty()) {
            EXPECT_TRUE(c.operation(r));
        } else {
            const RegistryError e = raised([&] { c.operation(r); });
            EXPECT_EQ(e.number(), 26001);
            EXPECT_EQ(e.source(), "oapanel.cRegistry");
            EXPECT_EQ(e.description(), c.description);
        }
        EXPECT_EQ(os.reg.openKeys(), 0u);
    }
}

TEST(RegistryClass, KeyExistsAsksOnlyToRead) {
    fake::FakePlatform os;
    os.reg.addKey(HKLM, "SOFTWARE\\oa");
    os.reg.makeReadOnly(HKLM);
    EXPECT_TRUE(addressed(os, HKLM, "SOFTWARE\\oa", "").KeyExists());
    EXPECT_FALSE(addressed(os, HKLM, "SOFTWARE\\none", "").KeyExists());
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(RegistryClass, ReadKeyPutsBackOnlyTheFieldsItReplaced) {
    fake::FakePlatform os;
    os.reg.putText(HKLM, "Own", "name", "from HKLM");
    os.reg.putText(HKCU, "Own", "mine", "own value");
    Registry r = addressed(os, HKCU, "Own", "mine");
    r.Default(std::string("own default"));

    EXPECT_EQ(r.ReadKey("name", "", AsClassKey(HKLM)), Variant(std::string("from HKLM")));
    EXPECT_EQ(r.ValueKey(), "mine");
    EXPECT_EQ(r.SectionKey(), "Own");
    EXPECT_EQ(r.ClassKey(), AsClassKey(HKCU));
    EXPECT_EQ(r.Default(), Variant(std::string("own default")));

    EXPECT_EQ(r.ReadKey("missing", "", 0, Variant(std::int32_t{9})), Variant(std::int32_t{9}));
    EXPECT_EQ(r.Default(), Variant(std::string("own default")));
    EXPECT_EQ(r.ReadKey("missing"), Variant(std::string("own default")));
    EXPECT_EQ(r.ReadKey(), Variant(std::string("own value")));
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(RegistryClass, WriteKeyRestoresItsAddressUnlessTheWriteRaises) {
    fake::FakePlatform os;
    Registry r = addressed(os, HKCU, "Own", "mine", 1);
    r.WriteKey(std::string("x"), "other", "Elsewhere");
    EXPECT_EQ(os.reg.get(HKCU, "Elsewhere", "other")->type, platform::kRegSz);
    EXPECT_EQ(r.ValueKey(), "mine");
    EXPECT_EQ(r.SectionKey(), "Own");

    os.reg.makeReadOnly(HKLM);
    EXPECT_EQ(raised([&] { r.WriteKey(std::string("x"), "", "", AsClassKey(HKLM)); }).number(),
              26001);
    EXPECT_EQ(r.ClassKey(), AsClassKey(HKLM));
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(RegistryClass, EnumerationsListNamesFromIndexOneAndNeverFailOnAMissingKey) {
    fake::FakePlatform os;
    os.reg.putText(HKCU, "Vals", "a", "1");
    os.reg.putDword(HKCU, "Vals", "bb", 2);
    os.reg.addKey(HKCU, "Empty");
    os.reg.addKey(HKCU, "Sects\\one\\deeper");
    os.reg.addKey(HKCU, "Sects\\Two");

    std::vector<std::string> names{"stale"};
    std::int32_t count = -1;
    EXPECT_TRUE(addressed(os, HKCU, "Vals", "").EnumerateValues(names, count));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "bb"}));

    const struct {
        const char* section;
        std::vector<std::string> sections;
    } cases[] = {{"Empty", {}}, {"Missing", {}}, {"Sects", {"one", "Two"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        EXPECT_TRUE(addressed(os, HKCU, c.section, "").EnumerateSections(names, count));
        EXPECT_EQ(names, c.sections);
        EXPECT_EQ(count, static_cast<std::int32_t>(c.sections.size()));
        EXPECT_TRUE(addressed(os, HKCU, c.section, "").EnumerateValues(names, count));
        EXPECT_EQ(count, 0);
    }
    EXPECT_EQ(os.count("RegOpenKeyExA HKCU\\Sects 0x8"), 1);
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(AddEnvValue, WritesTheSystemVariableAndAnnouncesIt) {
    fake::FakePlatform os;
    addEnvValue(os, "JRE_BK_HOME", "D:\\OA\\jre16bk");
    addEnvValue(os, "OA_BIN", "%JRE_BK_HOME%\\bin");
    EXPECT_EQ(os.reg.get(HKLM, kEnvKey, "JRE_BK_HOME")->type, platform::kRegSz);
    EXPECT_EQ(os.reg.get(HKLM, kEnvKey, "OA_BIN")->type, platform::kRegExpandSz);
    ASSERT_EQ(os.env.broadcasts.size(), 2u);
    EXPECT_EQ(os.env.broadcasts[0].area, "Environment");
    EXPECT_EQ(os.env.broadcasts[0].timeoutMs, 5000u);
    std::string value;
    EXPECT_FALSE(os.env.getVariable("JRE_BK_HOME", value));  // the process keeps its own
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(AddEnvValue, ARefusedWriteRaisesAndAnnouncesNothing) {
    fake::FakePlatform os;
    os.reg.makeReadOnly(HKLM);
    const RegistryError e = raised([&] { addEnvValue(os, "JRE_BK_HOME", "D:\\OA\\jre16bk"); });
    EXPECT_EQ(e.number(), 26001);
    EXPECT_TRUE(os.env.broadcasts.empty());
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

}  // namespace
