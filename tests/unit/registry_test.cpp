// basRegistry and the Registry class against the simulated registry and the GBK code page.
#include <functional>

#include "registry/Registry.h"
#include "registry/basRegistry.h"
#include "registry/reg_key.h"
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using namespace oapanel;
using Bytes = std::vector<std::uint8_t>;
using Arrange = std::function<void(fake::FakePlatform&)>;
constexpr auto HKCR = platform::kHkeyClassesRoot;

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// 16,384 ideographs: 32,768 bytes in the code page, one more than a length can count.
std::string chinese16k() {
    std::string s;
    for (int i = 0; i < 16384; ++i) s += "中";
    return s;
}

struct RegistryTest : ::testing::Test {
    fake::FakePlatform os;
    void TearDown() override { EXPECT_EQ(os.reg.openKeys(), 0u); }

    Registry addressed(platform::Handle root, const std::string& section, const std::string& name,
                       std::int32_t type = 0) {
        Registry r(os);
        r.ClassKey(AsClassKey(root));
        r.SectionKey(section);
        r.ValueKey(name);
        r.ValueType(type);
        return r;
    }
    // The error an action raises; fails the test when it raises none.
    static RegistryError raised(const std::function<void()>& action) {
        try {
            action();
        } catch (const RegistryError& e) {
            return e;
        }
        ADD_FAILURE() << "no error raised";
        return RegistryError(0, "", "");
    }
};

TEST(BasRegistry, RootKeysPathsAndLengths) {
    EXPECT_EQ(GetRootKey("hkey_local_machine"), HKLM);
    EXPECT_EQ(GetRootKey("Hkey_Users"), platform::kHkeyUsers);
    for (auto root : {HKCU, HKLM, HKCR, platform::kHkeyUsers, platform::kHkeyCurrentConfig})
        EXPECT_EQ(GetRootKey(GetRootKeyName(root)), root);
    for (const char* other : {"HKLM", "HKEY_PERFORMANCE_DATA", ""})
        EXPECT_EQ(GetRootKey(other), 0u);
    EXPECT_EQ(GetRootKeyName(platform::kHkeyPerformanceData), "");

    EXPECT_EQ(BuildKeyPath("", "Environment", "", ""), "Environment");
    EXPECT_EQ(BuildKeyPath("a//b", "", "", ""), "a\\\\b") << "\"/\" turns after doubles collapse";
    EXPECT_EQ(BuildKeyPath("a\\\\\\b", "c", "", "d"), "a\\b\\c\\d");
    EXPECT_EQ(BuildKeyPath("\\lead\\", "trail\\", "", ""), "\\lead\\trail\\");

    fake::FakeCodec codec;
    EXPECT_EQ(GetAnsiLength(codec, "澜栖OA，"), 8);
    EXPECT_EQ(GetAnsiLength(codec, std::string("a\0b", 3)), 3);
    EXPECT_EQ(GetAnsiLength(codec, std::string(32767, 'a')), 32767);
    EXPECT_THROW(GetAnsiLength(codec, std::string(32768, 'a')), RegInternalFailure);
    EXPECT_THROW(GetAnsiLength(codec, chinese16k()), RegInternalFailure);
}

TEST_F(RegistryTest, ReadRegValueConvertsEachStoredType) {
    const struct {
        const char* what;
        std::uint32_t type;
        Bytes data;
        long status;
        RegValue value;
    } cases[] = {
        {"text", platform::kRegSz, bytes(std::string("\xD6\xD0\0", 3)), 0, std::string("中")},
        {"unexpanded", platform::kRegExpandSz, bytes(std::string("%A%\\x\0", 6)), 0,
         std::string("%A%\\x")},
        {"without its NUL", platform::kRegSz, bytes("abc"), 0, std::string("abc")},
        {"doubled NUL keeps one", platform::kRegSz, bytes(std::string("D:\\j\0\0", 6)), 0,
         std::string("D:\\j\0", 5)},
        {"binary", platform::kRegBinary, {0x0A, 0x1F, 0xFF}, 0, std::string("0A 1F FF")},
        {"negative dword", platform::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, 0, std::int32_t{-1}},
        {"big endian as stored",
         platform::kRegDwordBigEndian,
         {0, 0, 1, 2},
         0,
         std::int32_t{0x02010000}},
        {"dword too long", platform::kRegDword, Bytes(8, 1), platform::kErrorMoreData,
         std::string()},
        {"multi", platform::kRegMultiSz, bytes(std::string("a\0\0", 3)), -1, std::string()},
        {"link", platform::kRegLink, {1, 2}, -1, std::string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        os.reg.put(HKCU, "T", "v", c.type, c.data);
        RegKey key(os.reg);
        ASSERT_EQ(key.open(HKCU, "T", platform::kKeyQueryValue), 0);
        RegValue value;
        std::uint32_t type = 99;
        EXPECT_EQ(ReadRegValue(os, key.get(), "v", value, type), c.status);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(ReadRegValue(os, key.get(), "missing", value, type),
                  platform::kErrorFileNotFound);
        EXPECT_EQ(type, c.type) << "no type for a missing value";
    }
}

TEST_F(RegistryTest, WriteRegValueStoresTextWithItsNulAndNumbersInMachineOrder) {
    const struct {
        std::uint32_t type;
        RegValue value;
        std::optional<fake::FakeRegistry::Value> stored;
    } cases[] = {
        {platform::kRegSz, std::string("中"),
         fake::FakeRegistry::Value{1, bytes(std::string("\xD6\xD0\0", 3))}},
        {platform::kRegExpandSz, std::string("%P%"),
         fake::FakeRegistry::Value{2, bytes(std::string("%P%\0", 4))}},
        {platform::kRegSz, std::int32_t{-5},
         fake::FakeRegistry::Value{1, bytes(std::string("-5\0", 3))}},
        {platform::kRegDword, std::string(" +5 "), fake::FakeRegistry::Value{4, {5, 0, 0, 0}}},
        {platform::kRegDwordBigEndian, std::int32_t{258},
         fake::FakeRegistry::Value{5, {2, 1, 0, 0}}},
        {platform::kRegBinary, std::string("0A"), std::nullopt},
        {platform::kRegMultiSz, std::string("a"), std::nullopt},
    };
    RegKey key(os.reg);
    key.create(HKCU, "W", platform::kKeyAll3F);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        os.reg.removeKey(HKCU, "W");
        os.reg.addKey(HKCU, "W");
        EXPECT_EQ(WriteRegValue(os, key.get(), "v", c.type, c.value), 0);
        const auto stored = os.reg.get(HKCU, "W", "v");
        ASSERT_EQ(stored.has_value(), c.stored.has_value());
        EXPECT_TRUE(!stored || (stored->type == c.stored->type && stored->data == c.stored->data));
    }
    for (const char* text : {"abc", "", "5x", "99999999999"})
        EXPECT_THROW(WriteRegValue(os, key.get(), "n", platform::kRegDword, std::string(text)),
                     RegInternalFailure)
            << text;
    EXPECT_FALSE(os.reg.get(HKCU, "W", "n"));
}

TEST_F(RegistryTest, GetRegSettingGivesTheDefaultForWhatIsMissingEmptyOrUnreadable) {
    const RegValue kDefault = std::string("dflt");
    const struct {
        const char* what;
        Arrange arrange;
        RegValue expected;
    } cases[] = {
        {"text", [](auto& os) { os.reg.putText(HKCU, "A\\S", "v", "中文"); }, std::string("中文")},
        {"empty text", [](auto& os) { os.reg.putText(HKCU, "A\\S", "v", ""); }, kDefault},
        {"dword",
         [](auto& os) {
             os.reg.put(HKCU, "A\\S", "v", 4, {7, 0, 0, 0});
         },
         std::int32_t{7}},
        {"multi", [](auto& os) { os.reg.putText(HKCU, "A\\S", "v", "x", platform::kRegMultiSz); },
         kDefault},
        {"missing key", [](auto&) {}, kDefault},
        {"denied key",
         [](auto& os) {
             os.reg.putText(HKCU, "A\\S", "v", "x");
             os.reg.denyAccess(HKCU, "A");
         },
         kDefault},
        {"failing read",
         [](auto& os) {
             os.reg.putText(HKCU, "A\\S", "v", "x");
             os.fail("RegQueryValueExA", 5);
         },
         kDefault},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform machine;
        c.arrange(machine);
        EXPECT_EQ(GetRegSetting(machine, "A", "S", "v", kDefault, HKCU, ""), c.expected);
        EXPECT_EQ(machine.reg.openKeys(), 0u);
    }
}

TEST_F(RegistryTest, SettingsAreReadWithQueryRightsAndWrittenAsPlainText) {
    os.reg.putText(HKLM, "SYSTEM\\CurrentControlSet\\Services\\Tomcat6Brackwen", "ImagePath",
                   "D:\\t.exe");
    os.reg.put(HKLM, "SYSTEM\\CurrentControlSet\\Services\\MySQL5Brackwen", "Start", 4,
               {3, 0, 0, 0});
    os.reg.makeReadOnly(HKLM);
    EXPECT_TRUE(IsServiceRegistered(os, kTomcat));
    EXPECT_EQ(GetServiceImagePath(os, kTomcat), "D:\\t.exe");
    EXPECT_EQ(GetServiceImagePath(os, kMysql), "Nothing") << "a service key without ImagePath";
    EXPECT_EQ(
        os.count("RegOpenKeyExA HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tomcat6Brackwen 0x1"),
        2);
    EXPECT_FALSE(SaveRegSetting(os, "Session Manager", "Environment", "X", "x", HKLM, "SYSTEM"));

    os.reg.putText(HKCU, "Environment", "PATH", "%P%\\bin", platform::kRegExpandSz);
    EXPECT_TRUE(SaveRegSetting(os, "", "Environment", "PATH", "%P%\\bin", HKCU, ""));
    EXPECT_EQ(os.reg.get(HKCU, "Environment", "PATH")->type, platform::kRegSz);
    EXPECT_TRUE(SaveRegSetting(os, "New", "Deep", "v", "中文", HKCU, "Software/oa"));
    EXPECT_EQ(os.reg.get(HKCU, "Software\\oa\\New\\Deep", "v")->data.size(), 5u);
    EXPECT_EQ(os.count("RegCreateKeyExA HKCU\\Software\\oa\\New\\Deep 0x3f"), 1);
    EXPECT_TRUE(SaveRegSetting(os, "A", "", "fits", std::string(32766, 'x'), HKCU, ""));
    EXPECT_FALSE(SaveRegSetting(os, "A", "", "long", std::string(32767, 'x'), HKCU, ""));
    EXPECT_FALSE(os.reg.get(HKCU, "A", "long"));
}

TEST_F(RegistryTest, DeleteRegSettingRemovesValuesAndWholeTreesButNeverARoot) {
    os.reg.putText(HKCU, "Software\\Tree\\B\\C", "v", "1");
    os.reg.addKey(HKCU, "Software\\Tree\\B\\D\\E");
    os.reg.putText(HKCU, "Software\\Tree", "top", "3");
    os.reg.addKey(HKCU, "Software\\Sibling");
    EXPECT_TRUE(DeleteRegSetting(os, "Tree", "", "", HKCU, "Software"));
    EXPECT_FALSE(os.reg.hasKey(HKCU, "Software\\Tree"));
    EXPECT_TRUE(os.reg.hasKey(HKCU, "Software\\Sibling"));
    EXPECT_FALSE(DeleteRegSetting(os, "Tree", "", "", HKCU, "Software")) << "already gone";
    for (const char* path : {"", "\\", "/"})
        EXPECT_FALSE(DeleteRegSetting(os, path, "", "", HKCU, ""));
    EXPECT_TRUE(os.reg.hasKey(HKCU, "Software\\Sibling"));

    os.reg.putText(HKCU, "Run", "oapanel", "x");
    os.reg.putText(HKCU, "Run", "other", "y");
    EXPECT_TRUE(DeleteRegSetting(os, "Run", "", "oapanel", HKCU, ""));
    EXPECT_FALSE(os.reg.get(HKCU, "Run", "oapanel"));
    EXPECT_TRUE(os.reg.get(HKCU, "Run", "other"));
    EXPECT_FALSE(DeleteRegSetting(os, "Missing", "Key", "v", HKCU, "Software"));
    EXPECT_TRUE(os.reg.hasKey(HKCU, "Software\\Missing\\Key")) << "created on the way";

    os.reg.addKey(HKLM, "SOFTWARE\\oa\\sub");
    os.reg.makeReadOnly(HKLM);
    EXPECT_FALSE(DeleteRegSetting(os, "oa", "", "", HKLM, "SOFTWARE"));
    EXPECT_TRUE(os.reg.hasKey(HKLM, "SOFTWARE\\oa\\sub"));
}

TEST_F(RegistryTest, EnumSubKeysListsNamesAndWhetherEachHasSubKeys) {
    os.reg.addKey(HKCU, "K\\first\\child");
    os.reg.addKey(HKCU, "K\\Second");
    const SubKeyList flagged = EnumSubKeys(os, "hkey_current_user", "K", true);
    EXPECT_EQ(flagged.names, (std::vector<std::string>{"first", "Second"}));
    EXPECT_EQ(flagged.hasSubKeys, (std::vector<bool>{true, false}));
    EXPECT_EQ(os.count("RegOpenKeyExA HKCU\\K 0x20019"), 3) << "one open per index";
    EXPECT_TRUE(EnumSubKeys(os, "HKEY_CURRENT_USER", "K", false).hasSubKeys.empty());
    EXPECT_TRUE(EnumSubKeys(os, "HKCU", "K", true).names.empty());
}

TEST_F(RegistryTest, EveryKeyIsClosedWhenAPlatformCallFails) {
    for (const char* op : {"RegQueryValueExA", "RegSetValueExA", "RegDeleteValueA", "RegDeleteKeyA",
                           "RegEnumKeyA", "RegCreateKeyExA"}) {
        fake::FakePlatform machine;
        machine.reg.putText(HKCU, "A\\B\\C", "v", "x");
        machine.fail(op, 1);
        GetRegSetting(machine, "A", "B", "v", {}, HKCU, "");
        SaveRegSetting(machine, "A", "B", "v", "y", HKCU, "");
        DeleteRegSetting(machine, "A", "B", "v", HKCU, "");
        DeleteRegSetting(machine, "A", "", "", HKCU, "");
        EnumSubKeys(machine, "HKEY_CURRENT_USER", "A", true);
        Registry r(machine);
        r.ClassKey(AsClassKey(HKCU));
        r.SectionKey("A\\B");
        r.ValueKey("v");
        r.value();
        EXPECT_EQ(machine.reg.openKeys(), 0u) << op;
    }
}

// --- the Registry class -------------------------------------------------------------------

TEST_F(RegistryTest, TheClassReadsByTheStoredType) {
    const struct {
        std::uint32_t type;
        Bytes data;
        Variant expected;
    } cases[] = {
        {platform::kRegSz, bytes(std::string("\xD6\xD0\0", 3)), std::string("中")},
        {platform::kRegSz, {}, std::string()},
        {platform::kRegExpandSz, bytes(std::string("%SystemRoot%\\x\0", 15)),
         std::string("C:\\windows\\x")},
        {platform::kRegDword, {2, 1, 0, 0}, std::int32_t{258}},
        {platform::kRegDwordBigEndian, {0, 0, 1, 2}, std::int32_t{258}},
        {platform::kRegBinary, {0x0A, 0xFF}, ByteArray{0, {0x0A, 0xFF}}},
        {platform::kRegMultiSz, bytes(std::string("a\0b\0\0", 5)), std::string("a\0b\0", 4)},
        {platform::kRegLink, {1, 2}, ByteArray{0, {1, 2}}},
        {11, Bytes(8, 7), ByteArray{0, Bytes(8, 7)}},
    };
    os.env.setVariable("SystemRoot", "C:\\windows");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        os.reg.put(HKCU, "A", "v", c.type, c.data);
        Registry r = addressed(HKCU, "A", "v");
        EXPECT_EQ(r.value(), c.expected);
        EXPECT_EQ(r.ValueType(), static_cast<std::int32_t>(c.type));
    }
    EXPECT_EQ(os.count("RegOpenKeyExA HKCU\\A 0x1"), 9);
    // What cannot be read gives the default and keeps the type.
    os.reg.denyAccess(HKCU, "A");
    for (const char* section : {"A", "Missing"}) {
        Registry r = addressed(HKCU, section, "v", 4);
        r.Default(std::string("dflt"));
        EXPECT_EQ(r.value(), Variant(std::string("dflt")));
        EXPECT_EQ(r.ValueType(), 4);
    }
    Registry none(os);  // a new object addresses nothing
    EXPECT_TRUE(IsEmpty(none.value()));
    EXPECT_FALSE(none.KeyExists());
}

TEST_F(RegistryTest, TheClassWritesByValueType) {
    const struct {
        std::int32_t valueType;
        Variant value;
        std::uint32_t storedType;
        Bytes data;
    } cases[] = {
        {1, std::string("C:\\oa"), 1, bytes(std::string("C:\\oa\0", 6))},
        {1, std::string("%ProgramFiles%\\x"), 2, bytes(std::string("%ProgramFiles%\\x\0", 17))},
        {1, std::string("%a%"), 2, bytes(std::string("%a%\0", 4))},
        {1, std::string("100%"), 1, bytes(std::string("100%\0", 5))},
        {2, std::string("%%"), 1, bytes(std::string("%%\0", 3))},
        {1, std::string("中"), 1, bytes(std::string("\xD6\xD0\0", 3))},
        {1, std::int32_t{42}, 1, bytes(std::string("42\0", 3))},
        {4, std::int32_t{5}, 4, {5, 0, 0, 0}},
        {5, std::int16_t{-2}, 4, {0xFE, 0xFF, 0xFF, 0xFF}},
        {3, ByteArray{1, {1, 2, 3, 4}}, 3, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(VariantText(c.value));
        Registry r = addressed(HKCU, "Software\\oa", "v", c.valueType);
        r.value(c.value);
        const auto stored = os.reg.get(HKCU, "Software\\oa", "v");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->type, c.storedType);
        EXPECT_EQ(stored->data, c.data);
        EXPECT_EQ(r.ValueType(), c.valueType);
    }
    EXPECT_EQ(os.count("RegCreateKeyExA HKCU\\Software\\oa 0x3f"), 10);
    addressed(HKCU, "A", "v", 4).value(std::string("5"));  // a dword from text: quietly not written
    EXPECT_TRUE(os.reg.hasKey(HKCU, "A"));
    EXPECT_FALSE(os.reg.get(HKCU, "A", "v"));
    addressed(HKCU, "A", "v", 1).value(std::string(32766, 'x'));
    EXPECT_EQ(os.reg.get(HKCU, "A", "v")->data.size(), 32767u);
}

TEST_F(RegistryTest, RefusedWritesRaiseAndLeaveTheObjectAsItWas) {
    const std::string kFailure =
        "Failed to set registry value Key: '-2147483646',Section: 'SOFTWARE\\oa',Key: 'v' to "
        "value: '";
    const struct {
        const char* what;
        std::int32_t valueType;
        Variant value;
        Arrange arrange;
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
        {"set refused", 4, std::int32_t{7}, [](auto& os) { os.fail("RegSetValueExA", 5); },
         kErrWriteRefused, "oapanel.cRegistry", kFailure + "7'", true},
        {"text too long", 1, std::string(32767, 'x'), [](auto&) {}, kErrOverflow,
         "oapanel.cRegistry", "Overflow", true},
        {"chinese too long", 1, chinese16k(), [](auto&) {}, kErrOverflow, "oapanel.cRegistry",
         "Overflow", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform machine;
        c.arrange(machine);
        Registry r(machine);
        r.ClassKey(AsClassKey(HKLM));
        r.SectionKey("SOFTWARE\\oa");
        r.ValueKey("v");
        r.ValueType(c.valueType);
        const RegistryError e = raised([&] { r.value(c.value); });
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.source(), c.source);
        EXPECT_EQ(e.description(), c.description);
        EXPECT_EQ(machine.reg.hasKey(HKLM, "SOFTWARE\\oa"), c.keyCreated);
        EXPECT_FALSE(machine.reg.get(HKLM, "SOFTWARE\\oa", "v"));
        EXPECT_EQ(r.SectionKey(), "SOFTWARE\\oa");
        EXPECT_EQ(r.ValueType(), c.valueType);
        EXPECT_EQ(machine.reg.openKeys(), 0u);
    }
    const RegistryError e = raised([&] { Registry(os).value(std::string("x")); });
    EXPECT_EQ(e.description(),
              "Failed to set registry value Key: '0',Section: '',Key: '' to value: 'x'");
}

TEST_F(RegistryTest, KeyOperationsRaiseWithTheirExactDescriptions) {
    const std::string kKey = "'-2147483646',Section: 'SOFTWARE\\oa";
    const struct {
        const char* what;
        Arrange arrange;
        std::function<bool(Registry&)> operation;
        std::string description;  // empty: succeeds
    } cases[] = {
        {"create", [](auto&) {}, [](Registry& r) { return r.CreateKey(); }, ""},
        {"create refused", [](auto& os) { os.reg.makeReadOnly(HKLM); },
         [](Registry& r) { return r.CreateKey(); }, "Failed to create registry Key: 'SOFTWARE\\oa"},
        {"delete", [](auto& os) { os.reg.addKey(HKLM, "SOFTWARE\\oa"); },
         [](Registry& r) { return r.DeleteKey(); }, ""},
        {"delete with sub-keys", [](auto& os) { os.reg.addKey(HKLM, "SOFTWARE\\oa\\sub"); },
         [](Registry& r) { return r.DeleteKey(); }, "Failed to delete registry Key: " + kKey},
        {"delete value", [](auto& os) { os.reg.putText(HKLM, "SOFTWARE\\oa", "v", "x"); },
         [](Registry& r) { return r.DeleteValue(); }, ""},
        {"delete value of a missing key", [](auto&) {}, [](Registry& r) { return r.DeleteValue(); },
         "Failed to open key " + kKey + "' for delete access"},
        {"delete a missing value", [](auto& os) { os.reg.addKey(HKLM, "SOFTWARE\\oa"); },
         [](Registry& r) { return r.DeleteValue(); },
         "Failed to delete registry Key: " + kKey + "',Key: 'v"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform machine;
        c.arrange(machine);
        Registry r(machine);
        r.ClassKey(AsClassKey(HKLM));
        r.SectionKey("SOFTWARE\\oa");
        r.ValueKey("v");
        if (c.description.empty()) {
            EXPECT_TRUE(c.operation(r));
        } else {
            const RegistryError e = raised([&] { c.operation(r); });
            EXPECT_EQ(e.number(), 26001);
            EXPECT_EQ(e.source(), "oapanel.cRegistry");
            EXPECT_EQ(e.description(), c.description);
        }
        EXPECT_EQ(machine.reg.openKeys(), 0u);
    }
    os.reg.addKey(HKLM, "SOFTWARE\\oa");
    os.reg.makeReadOnly(HKLM);
    EXPECT_TRUE(addressed(HKLM, "SOFTWARE\\oa", "").KeyExists()) << "asks only to read";
}

TEST_F(RegistryTest, TemporaryAddressesPutBackOnlyWhatTheyReplaced) {
    os.reg.putText(HKLM, "Own", "name", "from HKLM");
    os.reg.putText(HKCU, "Own", "mine", "own value");
    Registry r = addressed(HKCU, "Own", "mine", 1);
    r.Default(std::string("own default"));
    EXPECT_EQ(r.ReadKey("name", "", AsClassKey(HKLM)), Variant(std::string("from HKLM")));
    EXPECT_EQ(r.ReadKey("missing", "", 0, Variant(std::int32_t{9})), Variant(std::int32_t{9}));
    EXPECT_EQ(r.ReadKey("missing"), Variant(std::string("own default")));
    EXPECT_EQ(r.ReadKey(), Variant(std::string("own value")));
    EXPECT_EQ(r.ValueKey() + r.SectionKey(), "mineOwn");
    EXPECT_EQ(r.ClassKey(), AsClassKey(HKCU));

    r.WriteKey(std::string("x"), "other", "Elsewhere");
    EXPECT_EQ(os.reg.get(HKCU, "Elsewhere", "other")->type, platform::kRegSz);
    EXPECT_EQ(r.ValueKey() + r.SectionKey(), "mineOwn");
    os.reg.makeReadOnly(HKLM);
    EXPECT_EQ(raised([&] { r.WriteKey(std::string("x"), "", "", AsClassKey(HKLM)); }).number(),
              26001);
    EXPECT_EQ(r.ClassKey(), AsClassKey(HKLM)) << "an error leaves the temporary address";
}

TEST_F(RegistryTest, EnumerationsListNamesAndNeverFailOnAMissingKey) {
    os.reg.putText(HKCU, "Vals", "a", "1");
    os.reg.put(HKCU, "Vals", "bb", 4, {2, 0, 0, 0});
    os.reg.addKey(HKCU, "Sects\\one\\deeper");
    os.reg.addKey(HKCU, "Sects\\Two");
    std::vector<std::string> names{"stale"};
    std::int32_t count = -1;
    EXPECT_TRUE(addressed(HKCU, "Vals", "").EnumerateValues(names, count));
    EXPECT_EQ(names, (std::vector<std::string>{"a", "bb"}));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(addressed(HKCU, "Sects", "").EnumerateSections(names, count));
    EXPECT_EQ(names, (std::vector<std::string>{"one", "Two"}));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(os.count("RegOpenKeyExA HKCU\\Sects 0x8"), 1);
    for (const char* missing : {"Missing", "Vals"}) {
        EXPECT_TRUE(addressed(HKCU, missing, "").EnumerateSections(names, count));
        EXPECT_TRUE(names.empty() && count == 0);
    }
    EXPECT_TRUE(addressed(HKCU, "Missing", "").EnumerateValues(names, count));
    EXPECT_TRUE(names.empty() && count == 0);
}

// --- file-type association ------------------------------------------------------------------

struct AssociationTest : RegistryTest {
    // The default value of a key under both roots; fails the test when the two differ.
    std::optional<std::string> entry(const std::string& key) {
        const std::string classes = os.reg.text(HKCR, key, "");
        EXPECT_EQ(classes, os.reg.text(HKLM, "SOFTWARE\\Classes\\" + key, "")) << key;
        if (classes != "<none>") {
            EXPECT_EQ(os.reg.get(HKCR, key, "")->type, platform::kRegSz);
        }
        return classes == "<none>" ? std::nullopt : std::optional(classes);
    }
    std::vector<std::string> created() {
        std::vector<std::string> keys;
        for (const auto& call : os.record.calls)
            if (call.rfind("RegCreateKeyExA HKCR\\", 0) == 0)
                keys.push_back(call.substr(21, call.rfind(' ') - 21));
        return keys;
    }
};

TEST_F(AssociationTest, TheRequiredArgumentsWriteFourKeysUnderEachRoot) {
    Registry r(os);
    r.CreateEXEAssociation("  C:\\a b\\x.exe  ", "oa.doc", "OA 文档", "oad");
    EXPECT_EQ(created(), (std::vector<std::string>{".oad", "oa.doc", "oa.doc\\shell\\open",
                                                   "oa.doc\\shell\\open\\command"}));
    EXPECT_EQ(entry(".oad"), "oa.doc");
    EXPECT_EQ(entry("oa.doc"), "OA 文档");
    EXPECT_EQ(entry("oa.doc\\shell\\open"), "&Open");
    EXPECT_EQ(entry("oa.doc\\shell\\open\\command"), "\"C:\\a b\\x.exe\" \"%1\"");
    EXPECT_EQ(os.count("RegCreateKeyExA HKLM\\SOFTWARE\\Classes\\"), 4);
    EXPECT_FALSE(os.reg.hasKey(HKCR, "oa.doc\\DefaultIcon"));
    // The object is left at the last entry, under the machine root.
    EXPECT_EQ(r.ClassKey(), AsClassKey(HKLM));
    EXPECT_EQ(r.SectionKey(), "oa.doc\\shell\\open\\command");
    EXPECT_EQ(r.ValueType(), 1);
}

TEST_F(AssociationTest, EveryVerbInOrderWithItsDefaultTextAndTheIconLast) {
    for (const std::string own : {"", "(&X)"}) {
        SCOPED_TRACE(own);
        os.record.calls.clear();
        Registry r(os);
        r.CreateEXEAssociation("\"C:\\x.exe", "cls", "desc", "abc", own, true, own, true, own, true,
                               own, 0);
        EXPECT_EQ(created(), (std::vector<std::string>{
                                 ".abc", "cls", "cls\\shell\\open", "cls\\shell\\open\\command",
                                 "cls\\shell\\print", "cls\\shell\\print\\command",
                                 "cls\\shell\\add", "cls\\shell\\add\\command", "cls\\shell\\new",
                                 "cls\\shell\\new\\command", "cls\\DefaultIcon"}));
        EXPECT_EQ(entry("cls\\shell\\open"), own.empty() ? "&Open" : own);
        EXPECT_EQ(entry("cls\\shell\\print"), own.empty() ? "&Print" : own);
        EXPECT_EQ(entry("cls\\shell\\add"), own.empty() ? "&Install abc" : own);
        EXPECT_EQ(entry("cls\\shell\\new"), own.empty() ? "&New" : own);
        EXPECT_EQ(entry("cls\\shell\\print\\command"), "\"C:\\x.exe\" /p \"%1\"");
        EXPECT_EQ(entry("cls\\shell\\add\\command"), "\"C:\\x.exe\" /a \"%1\"");
        EXPECT_EQ(entry("cls\\shell\\new\\command"), "\"C:\\x.exe\" /n \"%1\"");
        EXPECT_EQ(entry("cls\\DefaultIcon"), "\"C:\\x.exe\",0");
    }
    os.reg.makeReadOnly(HKLM);  // the first refused write raises and keeps what was written
    EXPECT_EQ(
        raised([&] { Registry(os).CreateEXEAssociation("C:\\x.exe\"", "c2", "d", "e"); }).number(),
        26001);
    EXPECT_TRUE(os.reg.get(HKCR, ".e", ""));
    EXPECT_FALSE(os.reg.hasKey(HKCR, "c2"));
}

TEST_F(AssociationTest, AdditionalVerbsNeedTriplesAndTheClassAndSkipFailedWrites) {
    const std::vector<Variant> six = {
        std::string("edit"), std::string("编辑"), std::string("notepad.exe \"%1\""),
        std::string("view"), std::string("View"), std::int32_t{7}};
    Registry r(os);
    auto error = r.CreateAdditionalEXEAssociations("cls", {});
    ASSERT_TRUE(error);  // ClassKey 0 addresses nothing: no class there
    EXPECT_EQ(error->number(), kErrAssociationNoClass);
    EXPECT_EQ(error->description(),
              "Error - attempt to create additional associations before class defined.");
    r.ClassKey(AsClassKey(HKCR));
    os.reg.addKey(HKCR, "cls");
    error = r.CreateAdditionalEXEAssociations("cls", {six.begin(), six.begin() + 4});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), kErrAssociationItems);
    EXPECT_EQ(error->source(), "oapanel.cRegistry");
    EXPECT_EQ(error->description(),
              "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected "
              "Name/Text/Command");
    EXPECT_EQ(os.count("RegCreateKeyExA"), 0);

    os.reg.makeReadOnly(HKLM);
    EXPECT_FALSE(r.CreateAdditionalEXEAssociations("cls", six));
    EXPECT_EQ(os.reg.text(HKCR, "cls\\shell\\edit", ""), "编辑");
    EXPECT_EQ(os.reg.text(HKCR, "cls\\shell\\edit\\command", ""), "notepad.exe \"%1\"");
    EXPECT_EQ(os.reg.text(HKCR, "cls\\shell\\view\\command", ""), "7");
    EXPECT_FALSE(os.reg.hasKey(HKLM, "SOFTWARE\\Classes\\cls"));
}

}  // namespace
}  // namespace unit
