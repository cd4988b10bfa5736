// basRegistry against the simulated registry and double-byte code page.
#include <gtest/gtest.h>

#include <functional>

#include "registry/basRegistry.h"
#include "registry/reg_key.h"
#include "tests/fake/fake_platform.h"

namespace {

using namespace oapanel;
using Bytes = std::vector<std::uint8_t>;

constexpr auto HKCU = platform::kHkeyCurrentUser;
constexpr auto HKLM = platform::kHkeyLocalMachine;
const std::string kServices = "SYSTEM\\CurrentControlSet\\Services";

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(RootKeys, NamesInAnyCaseGiveTheirHandlesAndOtherNamesGiveNothing) {
    const struct {
        const char* name;
        platform::Handle handle;
    } cases[] = {
        {"HKEY_CURRENT_USER", platform::kHkeyCurrentUser},
        {"hkey_local_machine", platform::kHkeyLocalMachine},
        {"Hkey_Users", platform::kHkeyUsers},
        {"HKEY_CLASSES_ROOT", platform::kHkeyClassesRoot},
        {"HKEY_CURRENT_CONFIG", platform::kHkeyCurrentConfig},
        {"HKLM", 0},
        {"HKCU", 0},
        {"HKEY_PERFORMANCE_DATA", 0},
        {"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GetRootKey(c.name), c.handle);
        if (c.handle) {
            EXPECT_EQ(GetRootKey(GetRootKeyName(c.handle)), c.handle);
        }
    }
    EXPECT_EQ(GetRootKeyName(platform::kHkeyPerformanceData), "");
    EXPECT_EQ(GetRootKeyName(0), "");
}

TEST(BuildKeyPath, JoinsThePartsAndNormalisesSeparators) {
    const struct {
        const char *p1, *p2, *p3, *p4, *path;
    } cases[] = {
        {"", "", "", "", ""},
        {"", "Environment", "", "", "Environment"},
        {"a\\", "b", "", "", "a\\b"},
        {"a//b", "", "", "", "a\\\\b"},  // "/" is turned after doubles are collapsed
        {"a\\\\\\b", "", "", "", "a\\b"},
        {"a/b", "c", "", "d", "a\\b\\c\\d"},
        {"\\lead\\", "trail\\", "", "", "\\lead\\trail\\"},
        {"System\\CurrentControlSet\\Control", "Session Manager", "Environment", "",
         "System\\CurrentControlSet\\Control\\Session Manager\\Environment"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p1);
        EXPECT_EQ(BuildKeyPath(c.p1, c.p2, c.p3, c.p4), c.path);
    }
}

TEST(GetAnsiLength, CountsBytesOfTheDoubleByteCodePage) {
    fake::FakeCodec codec;
    const struct {
        std::string text;
        int bytes;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"中文", 4},
        {std::string("a\0b", 3), 3},  // a NUL counts one
        {"澜栖OA，", 8},              // full-width comma: two bytes
        {"é", 1},                     // not in the code page: one "?"
        {std::string(32767, 'a'), 32767},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        EXPECT_EQ(GetAnsiLength(codec, c.text), c.bytes);
    }
}

TEST(GetAnsiLength, MoreThan32767BytesIsAnOverflow) {
    fake::FakeCodec codec;
    EXPECT_THROW(GetAnsiLength(codec, std::string(32768, 'a')), RegInternalFailure);
    std::string chinese;
    for (int i = 0; i < 16384; ++i) chinese += "中";
    EXPECT_THROW(GetAnsiLength(codec, chinese), RegInternalFailure);
}

TEST(ReadRegValue, ConvertsEachStoredType) {
    const struct {
        const char* what;
        std::uint32_t type;
        Bytes data;
        long status;
        RegValue value;
    } cases[] = {
        {"text", platform::kRegSz, bytes(std::string("abc\0", 4)), 0, std::string("abc")},
        {"unexpanded", platform::kRegExpandSz, bytes(std::string("%SystemRoot%\\x\0", 15)), 0,
         std::string("%SystemRoot%\\x")},
        {"text without its NUL", platform::kRegSz, bytes("abc"), 0, std::string("abc")},
        {"doubled NUL keeps one", platform::kRegSz, bytes(std::string("D:\\j\0\0", 6)), 0,
         std::string("D:\\j\0", 5)},
        {"binary", platform::kRegBinary, {0x0A, 0x1F, 0xFF}, 0, std::string("0A 1F FF")},
        {"dword", platform::kRegDword, {0x02, 0x01, 0x00, 0x00}, 0, std::int32_t{258}},
        {"negative", platform::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, 0, std::int32_t{-1}},
        {"big endian in stored order",
         platform::kRegDwordBigEndian,
         {0x00, 0x00, 0x01, 0x02},
         0,
         std::int32_t{0x02010000}},
        {"dword too long", platform::kRegDword, Bytes(8, 1), platform::kErrorMoreData,
         std::string()},
        {"multi", platform::kRegMultiSz, bytes(std::string("a\0b\0\0", 5)), -1, std::string()},
        {"none", platform::kRegNone, {}, -1, std::string()},
        {"link", platform::kRegLink, {1, 2}, -1, std::string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        os.reg.put(HKCU, "T", "v", c.type, c.data);
        RegKey key(os.reg);
        ASSERT_EQ(key.open(HKCU, "T", platform::kKeyQueryValue), 0);
        RegValue value;
        std::uint32_t type = 99;
        EXPECT_EQ(ReadRegValue(os, key.get(), "v", value, type), c.status);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(type, c.type);
    }
}

TEST(ReadRegValue, AMissingValueGivesItsStatusAndNoType) {
    fake::FakePlatform os;
    os.reg.addKey(HKCU, "T");
    RegKey key(os.reg);
    key.open(HKCU, "T", platform::kKeyQueryValue);
    RegValue value = std::int32_t{1};
    std::uint32_t type = 99;
    EXPECT_EQ(ReadRegValue(os, key.get(), "v", value, type), platform::kErrorFileNotFound);
    EXPECT_EQ(value, RegValue(std::string()));
    EXPECT_EQ(type, 99u);
}

TEST(GetRegSetting, GivesTheDefaultForWhatIsMissingEmptyOrUnreadable) {
    const RegValue kDefault = std::string("dflt");
    const struct {
        const char* what;
        std::function<void(fake::FakeRegistry&)> arrange;
        RegValue expected;
    } cases[] = {
        {"text", [](auto& r) { r.putText(HKCU, "A\\S", "v", "中文"); }, std::string("中文")},
        {"empty text", [](auto& r) { r.putText(HKCU, "A\\S", "v", ""); }, kDefault},
        {"dword", [](auto& r) { r.putDword(HKCU, "A\\S", "v", 7); }, std::int32_t{7}},
        {"multi", [](auto& r) { r.putText(HKCU, "A\\S", "v", "x", platform::kRegMultiSz); },
         kDefault},
        {"empty binary", [](auto& r) { r.put(HKCU, "A\\S", "v", platform::kRegBinary, {}); },
         kDefault},
        {"missing value", [](auto& r) { r.addKey(HKCU, "A\\S"); }, kDefault},
        {"missing key", [](auto&) {}, kDefault},
        {"denied key",
         [](auto& r) {
             r.putText(HKCU, "A\\S", "v", "x");
             r.denyAccess(HKCU, "A");
         },
         kDefault},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        c.arrange(os.reg);
        EXPECT_EQ(GetRegSetting(os, "A", "S", "v", kDefault, HKCU, ""), c.expected);
        EXPECT_EQ(os.reg.openKeys(), 0u);
    }
}

TEST(GetRegSetting, ReadsWithQueryRightsSoAReadOnlyMachineKeyStillShowsItsValues) {
    fake::FakePlatform os;
    os.reg.putText(HKLM, kServices + "\\Tomcat6Brackwen", "ImagePath", "D:\\OA\\tomcat6.exe");
    os.reg.putText(HKLM, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                   "JRE_BK_HOME", "D:\\OA\\jre16bk");
    os.reg.makeReadOnly(HKLM);

    EXPECT_TRUE(IsServiceRegistered(os, "Tomcat6Brackwen"));
    EXPECT_EQ(GetServiceImagePath(os, "Tomcat6Brackwen"), "D:\\OA\\tomcat6.exe");
    EXPECT_EQ(
        RegValueText(GetRegSetting(os, "Session Manager", "Environment", "JRE_BK_HOME",
                                   std::string(), HKLM, "System\\CurrentControlSet\\Control")),
        "D:\\OA\\jre16bk");
    EXPECT_EQ(os.count("RegOpenKeyExA HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tomcat6Brackwen "
                       "0x1"),
              2);
    // A service key without an ImagePath is no registered service.
    os.reg.putDword(HKLM, kServices + "\\MySQL5Brackwen", "Start", 3);
    EXPECT_FALSE(IsServiceRegistered(os, "MySQL5Brackwen"));
    EXPECT_EQ(GetServiceImagePath(os, "MySQL5Brackwen"), "Nothing");
    EXPECT_EQ(os.reg.openKeys(), 0u);

    // Writing there is still refused, and said so.
    EXPECT_FALSE(SaveRegSetting(os, "Session Manager", "Environment", "JRE_BK_HOME", "x", HKLM,
                                "SYSTEM\\CurrentControlSet\\Control"));
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(WriteRegValue, StoresTextWithItsNulAndNumbersInMachineOrder) {
    const struct {
        const char* what;
        std::uint32_t type;
        RegValue value;
        std::optional<fake::FakeRegistry::Value> stored;
    } cases[] = {
        {"text", platform::kRegSz, std::string("C:\\oa\\jre"),
         fake::FakeRegistry::Value{1, bytes(std::string("C:\\oa\\jre\0", 10))}},
        {"expandable as given", platform::kRegExpandSz, std::string("%P%"),
         fake::FakeRegistry::Value{2, bytes(std::string("%P%\0", 4))}},
        {"number as text", platform::kRegSz, std::int32_t{-5},
         fake::FakeRegistry::Value{1, bytes(std::string("-5\0", 3))}},
        {"text as dword", platform::kRegDword, std::string(" 5 "),
         fake::FakeRegistry::Value{4, {5, 0, 0, 0}}},
        {"big endian in machine order", platform::kRegDwordBigEndian, std::int32_t{258},
         fake::FakeRegistry::Value{5, {2, 1, 0, 0}}},
        {"binary is not written", platform::kRegBinary, std::string("0A"), std::nullopt},
        {"multi is not written", platform::kRegMultiSz, std::string("a"), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        RegKey key(os.reg);
        key.create(HKCU, "W", platform::kKeyAll3F);
        EXPECT_EQ(WriteRegValue(os, key.get(), "v", c.type, c.value), 0);
        const auto stored = os.reg.get(HKCU, "W", "v");
        ASSERT_EQ(stored.has_value(), c.stored.has_value());
        if (stored) {
            EXPECT_EQ(stored->type, c.stored->type);
            EXPECT_EQ(stored->data, c.stored->data);
        }
    }
}

TEST(WriteRegValue, ATextThatIsNoNumberCannotBeADword) {
    fake::FakePlatform os;
    RegKey key(os.reg);
    key.create(HKCU, "W", platform::kKeyAll3F);
    for (const char* text : {"abc", "", "5x", "99999999999"})
        EXPECT_THROW(WriteRegValue(os, key.get(), "v", platform::kRegDword, std::string(text)),
                     RegInternalFailure)
            << text;
    EXPECT_FALSE(os.reg.get(HKCU, "W", "v"));
}

TEST(SaveRegSetting, StoresTextAsPlainStringCreatingThePath) {
    fake::FakePlatform os;
    os.reg.putText(HKCU, "Environment", "PATH", "%USERPROFILE%\\bin", platform::kRegExpandSz);
    EXPECT_TRUE(SaveRegSetting(os, "", "Environment", "PATH", "%USERPROFILE%\\bin", HKCU, ""));
    EXPECT_EQ(os.reg.get(HKCU, "Environment", "PATH")->type, platform::kRegSz);

    EXPECT_TRUE(SaveRegSetting(os, "New", "Deep", "v", "中文", HKCU, "Software/oa"));
    const auto stored = os.reg.get(HKCU, "Software\\oa\\New\\Deep", "v");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->data.size(), 5u);  // two double-byte characters and the NUL
    EXPECT_EQ(RegValueText(GetRegSetting(os, "New", "Deep", "v", {}, HKCU, "Software\\oa")),
              "中文");
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(SaveRegSetting, ATextOver32766BytesIsRefusedAndNothingIsWritten) {
    fake::FakePlatform os;
    EXPECT_TRUE(SaveRegSetting(os, "A", "", "fits", std::string(32766, 'x'), HKCU, ""));
    EXPECT_EQ(os.reg.get(HKCU, "A", "fits")->data.size(), 32767u);
    EXPECT_FALSE(SaveRegSetting(os, "A", "", "long", std::string(32767, 'x'), HKCU, ""));
    EXPECT_FALSE(os.reg.get(HKCU, "A", "long"));
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(DeleteRegSetting, RemovesAKeyWithAllItsNestedSubKeys) {
    fake::FakePlatform os;
    os.reg.putText(HKCU, "Software\\Tree\\B\\C", "v", "1");
    os.reg.putText(HKCU, "Software\\Tree\\B\\D\\E", "v", "2");
    os.reg.addKey(HKCU, "Software\\Tree\\F");
    os.reg.putText(HKCU, "Software\\Tree", "top", "3");
    os.reg.addKey(HKCU, "Software\\Sibling");

    EXPECT_TRUE(DeleteRegSetting(os, "Tree", "", "", HKCU, "Software"));
    EXPECT_FALSE(os.reg.hasKey(HKCU, "Software\\Tree"));
    EXPECT_TRUE(os.reg.hasKey(HKCU, "Software\\Sibling"));
    EXPECT_EQ(os.reg.openKeys(), 0u);
    // A missing key is a failed delete.
    EXPECT_FALSE(DeleteRegSetting(os, "Tree", "", "", HKCU, "Software"));
}

TEST(DeleteRegSetting, AKeyThatMayNotBeDeletedStaysAndReportsFalse) {
    fake::FakePlatform os;
    os.reg.addKey(HKLM, "SOFTWARE\\oa\\sub\\leaf");
    os.reg.makeReadOnly(HKLM);
    EXPECT_FALSE(DeleteRegSetting(os, "oa", "", "", HKLM, "SOFTWARE"));
    EXPECT_TRUE(os.reg.hasKey(HKLM, "SOFTWARE\\oa\\sub\\leaf"));
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(DeleteRegSetting, NeverDeletesBelowARootItself) {
    for (const char* path : {"", "\\", "/"}) {
        SCOPED_TRACE(path);
        fake::FakePlatform os;
        os.reg.addKey(HKCU, "Software\\Keep");
        EXPECT_FALSE(DeleteRegSetting(os, path, "", "", HKCU, ""));
        EXPECT_TRUE(os.reg.hasKey(HKCU, "Software\\Keep"));
        EXPECT_EQ(os.count("RegDeleteKeyA"), 0);
    }
}

TEST(DeleteRegSetting, AValueIsDeletedAndAMissingKeyIsCreatedOnTheWay) {
    fake::FakePlatform os;
    os.reg.putText(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "oapanel", "x");
    os.reg.putText(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "other", "y");
    EXPECT_TRUE(DeleteRegSetting(os, "CurrentVersion", "Run", "oapanel", HKCU,
                                 "Software\\Microsoft\\Windows"));
    EXPECT_FALSE(os.reg.get(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "oapanel"));
    EXPECT_TRUE(os.reg.get(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "other"));

    EXPECT_FALSE(DeleteRegSetting(os, "Missing", "Key", "v", HKCU, "Software"));
    EXPECT_TRUE(os.reg.hasKey(HKCU, "Software\\Missing\\Key"));
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(EnumSubKeys, ListsNamesAndWhetherEachHasSubKeysOfItsOwn) {
    fake::FakePlatform os;
    os.reg.addKey(HKCU, "K\\first\\child");
    os.reg.addKey(HKCU, "K\\second");

    const SubKeyList flagged = EnumSubKeys(os, "hkey_current_user", "K", true);
    EXPECT_EQ(flagged.names, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(flagged.hasSubKeys, (std::vector<bool>{true, false}));
    // One open per index, the one that ends the list included.
    EXPECT_EQ(os.count("RegOpenKeyExA HKCU\\K 0x20019"), 3);

    const SubKeyList plain = EnumSubKeys(os, "HKEY_CURRENT_USER", "K", false);
    EXPECT_EQ(plain.names, flagged.names);
    EXPECT_TRUE(plain.hasSubKeys.empty());

    for (const char* root : {"HKEY_CURRENT_USER", "HKCU"}) {
        const SubKeyList none = EnumSubKeys(os, root, "Missing", true);
        EXPECT_TRUE(none.names.empty() && none.hasSubKeys.empty()) << root;
    }
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(BasRegistry, EveryKeyIsClosedWhenAPlatformCallFails) {
    const char* failing[] = {"RegQueryValueExA", "RegSetValueExA", "RegDeleteValueA",
                             "RegDeleteKeyA",    "RegEnumKeyA",    "RegCreateKeyExA"};
    for (const char* op : failing) {
        SCOPED_TRACE(op);
        fake::FakePlatform os;
        os.reg.putText(HKCU, "A\\B\\C", "v", "x");
        os.faults.fail(op, 1);
        GetRegSetting(os, "A", "B", "v", {}, HKCU, "");
        SaveRegSetting(os, "A", "B", "v", "y", HKCU, "");
        DeleteRegSetting(os, "A", "B", "v", HKCU, "");
        DeleteRegSetting(os, "A", "", "", HKCU, "");
        EnumSubKeys(os, "HKEY_CURRENT_USER", "A", true);
        EXPECT_EQ(os.reg.openKeys(), 0u);
    }
}

}  // namespace
