// The registry values module and the Registry class against the simulated registry and the GBK code
// page.
#include <functional>

#include "registry/Registry.h"
#include "registry/registry_values.h"
#include "registry/reg_key.h"
#include "tests/unit/panel_fixture.h"

namespace unit {
namespace {

using namespace oapanel;
using Bytes = std::vector<std::uint8_t>;
constexpr auto HKCR = platform::kHkeyClassesRoot;
const std::string kZhong = "\xD6\xD0";  // 中 in GBK

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string chinese16k() {  // 32,768 bytes in the code page: one more than a length counts
    std::string s;
    for (int i = 0; i < 16384; ++i) s += "中";
    return s;
}

struct RegistryTest : ::testing::Test {
    fake::FakePlatform os;
    void TearDown() override { EXPECT_EQ(os.reg.openKeys(), 0u); }

    Registry at(platform::Handle root, const std::string& section, const std::string& name,
                std::int32_t type = 0) {
        Registry r(os);
        r.ClassKey(AsClassKey(root));
        r.SectionKey(section);
        r.ValueKey(name);
        r.ValueType(type);
        return r;
    }
    // The error an action raises, as "number source description".
    static std::string raised(const std::function<void()>& action) {
        try {
            action();
        } catch (const RegistryError& e) {
            return std::to_string(e.number()) + " " + e.source() + " " + e.description();
        }
        return "nothing raised";
    }
};

TEST(BasRegistry, RootKeysPathsAndLengths) {
    EXPECT_EQ(GetRootKey("hkey_local_machine"), HKLM);
    for (auto root : {HKCU, HKCR, platform::kHkeyUsers, platform::kHkeyCurrentConfig})
        EXPECT_EQ(GetRootKey(GetRootKeyName(root)), root);
    EXPECT_EQ(GetRootKey("HKLM") + GetRootKey("HKEY_PERFORMANCE_DATA"), 0u);
    EXPECT_EQ(BuildKeyPath("a//b", "c", "", "d"), "a\\\\b\\c\\d") << "\"/\" after doubles collapse";
    EXPECT_EQ(BuildKeyPath("\\a\\\\\\b\\", "", "t\\", ""), "\\a\\b\\t\\");
    fake::FakeCodec codec;
    EXPECT_EQ(GetAnsiLength(codec, "澜栖OA，"), 8);
    EXPECT_EQ(GetAnsiLength(codec, std::string(32767, 'a')), 32767);
    EXPECT_THROW(GetAnsiLength(codec, chinese16k()), RegInternalFailure);
}

TEST_F(RegistryTest, TheModuleReadsAndWritesByType) {
    const struct {
        std::uint32_t type;
        Bytes data;
        long status;
        RegValue value;
    } reads[] = {
        {1, bytes(kZhong + '\0'), 0, std::string("中")},
        {2, bytes(std::string("%A%\0", 4)), 0, std::string("%A%")},     // unexpanded
        {1, bytes("abc"), 0, std::string("abc")},                       // without its NUL
        {1, bytes(std::string("j\0\0", 3)), 0, std::string("j\0", 2)},  // a doubled NUL keeps one
        {3, {0x0A, 0xFF}, 0, std::string("0A FF")},
        {4, {0xFF, 0xFF, 0xFF, 0xFF}, 0, std::int32_t{-1}},
        {5, {0, 0, 1, 2}, 0, std::int32_t{0x02010000}},  // big endian as stored
        {4, Bytes(8, 1), platform::kErrorMoreData, std::string()},
        {7, bytes(std::string("a\0\0", 3)), kRegTypeNotHandled, std::string()},
        {6, {1, 2}, kRegTypeNotHandled, std::string()},
    };
    RegKey key(os.reg);
    key.create(HKCU, "T", platform::kKeyAll3F);
    for (const auto& c : reads) {
        os.reg.put(HKCU, "T", "v", c.type, c.data);
        RegValue value;
        std::uint32_t type = 99;
        EXPECT_EQ(ReadRegValue(os, key.get(), "v", value, type), c.status) << c.type;
        EXPECT_TRUE(value == c.value && type == c.type) << c.type;
        EXPECT_EQ(ReadRegValue(os, key.get(), "none", value, type), platform::kErrorFileNotFound);
        EXPECT_EQ(type, c.type) << "no type for a missing value";
    }
    const struct {
        std::uint32_t type;
        RegValue value;
        Bytes stored;  // empty: nothing written
    } writes[] = {
        {1, std::string("中"), bytes(kZhong + '\0')},
        {2, std::string("%P%"), bytes(std::string("%P%\0", 4))},
        {1, std::int32_t{-5}, bytes(std::string("-5\0", 3))},
        {4, std::string(" +5 "), {5, 0, 0, 0}},
        {5, std::int32_t{258}, {2, 1, 0, 0}},
        {3, std::string("0A"), {}},
        {7, std::string("a"), {}},
    };
    for (const auto& c : writes) {
        os.reg.removeKey(HKCU, "T");
        os.reg.addKey(HKCU, "T");
        EXPECT_EQ(WriteRegValue(os, key.get(), "v", c.type, c.value), 0);
        const auto stored = os.reg.get(HKCU, "T", "v");
        EXPECT_EQ(stored ? stored->data : Bytes{}, c.stored) << c.type;
        EXPECT_TRUE(!stored || stored->type == c.type);
    }
    for (const char* text : {"abc", "", "5x", "99999999999"}) {
        try {
            WriteRegValue(os, key.get(), "n", 4, std::string(text));
            ADD_FAILURE() << text;
        } catch (const RegInternalFailure& e) {
            EXPECT_STREQ(e.what(), text[0] == '9' ? "Overflow" : "Type mismatch");
        }
    }
}

TEST_F(RegistryTest, SettingsFallBackOnTheDefaultAndAreWrittenAsPlainText) {
    const RegValue dflt = std::string("dflt");
    const std::pair<std::function<void(fake::FakePlatform&)>, RegValue> cases[] = {
        {[](auto& m) { m.reg.putText(HKCU, "A\\S", "v", "中文"); }, std::string("中文")},
        {[](auto& m) { m.reg.putText(HKCU, "A\\S", "v", ""); }, dflt},
        {[](auto& m) {
             m.reg.put(HKCU, "A\\S", "v", 4, {7, 0, 0, 0});
         },
         std::int32_t{7}},
        {[](auto&) {}, dflt},
        {[](auto& m) { m.reg.putText(HKCU, "A\\S", "v", "x"), m.reg.denyAccess(HKCU, "A"); }, dflt},
        {[](auto& m) { m.reg.putText(HKCU, "A\\S", "v", "x"), m.fail("RegQueryValueExA", 5); },
         dflt},
    };
    for (const auto& [arrange, expected] : cases) {
        fake::FakePlatform m;
        arrange(m);
        EXPECT_EQ(GetRegSetting(m, "A", "S", "v", dflt, HKCU, ""), expected);
        EXPECT_EQ(m.reg.openKeys(), 0u);
    }
    // Reading asks for query rights only: a machine key the user may not write is still read.
    os.reg.putText(HKLM, "SYSTEM\\CurrentControlSet\\Services\\Tomcat6Brackwen", "ImagePath",
                   "t.exe");
    os.reg.put(HKLM, "SYSTEM\\CurrentControlSet\\Services\\MySQL5Brackwen", "Start", 4,
               {3, 0, 0, 0});
    os.reg.grant(HKLM, "SYSTEM", platform::kKeyQueryValue);
    EXPECT_TRUE(IsServiceRegistered(os, kTomcat));
    EXPECT_EQ(GetServiceImagePath(os, kMysql), "Nothing") << "a service key without ImagePath";
    EXPECT_FALSE(SaveRegSetting(os, "A", "", "X", "x", HKLM, "SYSTEM"));
    // Writing creates the path with rights 0x3F and stores REG_SZ whatever the type was.
    os.reg.putText(HKCU, "Environment", "PATH", "%P%", platform::kRegExpandSz);
    EXPECT_TRUE(SaveRegSetting(os, "", "Environment", "PATH", "%P%", HKCU, ""));
    EXPECT_EQ(os.reg.get(HKCU, "Environment", "PATH")->type, platform::kRegSz);
    EXPECT_TRUE(SaveRegSetting(os, "New", "Deep", "v", "中文", HKCU, "Software/oa"));
    EXPECT_EQ(os.count("RegCreateKeyExA HKCU\\Software\\oa\\New\\Deep 0x3f"), 1);
    EXPECT_EQ(os.reg.text(HKCU, "Software\\oa\\New\\Deep", "v"), "中文");
    EXPECT_TRUE(SaveRegSetting(os, "A", "", "fits", std::string(32766, 'x'), HKCU, ""));
    EXPECT_FALSE(SaveRegSetting(os, "A", "", "long", std::string(32767, 'x'), HKCU, ""));
    EXPECT_FALSE(os.reg.get(HKCU, "A", "long"));
}

TEST_F(RegistryTest, DeletesRemoveValuesAndWholeTreesButNeverARoot) {
    os.reg.putText(HKCU, "Software\\Tree\\B\\C", "v", "1");
    os.reg.addKey(HKCU, "Software\\Tree\\B\\D\\E");
    os.reg.addKey(HKCU, "Software\\Sibling");
    const SubKeyList list = EnumSubKeys(os, "hkey_current_user", "Software\\Tree\\B", true);
    EXPECT_EQ(list.names, (std::vector<std::string>{"C", "D"}));
    EXPECT_EQ(list.hasSubKeys, (std::vector<bool>{false, true}));
    EXPECT_EQ(os.count("RegOpenKeyExA HKCU\\Software\\Tree\\B 0x20019"), 3) << "one per index";
    EXPECT_TRUE(EnumSubKeys(os, "HKCU", "Software", false).names.empty());

    EXPECT_TRUE(DeleteRegSetting(os, "Tree", "", "", HKCU, "Software"));
    EXPECT_FALSE(os.reg.hasKey(HKCU, "Software\\Tree"));
    EXPECT_FALSE(DeleteRegSetting(os, "Tree", "", "", HKCU, "Software")) << "already gone";
    for (const char* path : {"", "\\", "/"})
        EXPECT_FALSE(DeleteRegSetting(os, path, "", "", HKCU, ""));
    EXPECT_EQ(os.count("RegDeleteKeyA"), os.count("RegDeleteKeyA HKCU\\Software\\Tree"))
        << "none for a root itself";
    EXPECT_TRUE(os.reg.hasKey(HKCU, "Software\\Sibling"));
    os.reg.putText(HKCU, "Run", "oapanel", "x");
    os.reg.putText(HKCU, "Run", "other", "y");
    EXPECT_TRUE(DeleteRegSetting(os, "Run", "", "oapanel", HKCU, ""));
    EXPECT_TRUE(!os.reg.get(HKCU, "Run", "oapanel") && os.reg.get(HKCU, "Run", "other"));
    EXPECT_FALSE(DeleteRegSetting(os, "Missing", "Key", "v", HKCU, "Software"));
    EXPECT_TRUE(os.reg.hasKey(HKCU, "Software\\Missing\\Key")) << "created on the way";
    os.reg.addKey(HKLM, "SOFTWARE\\oa\\sub");
    os.reg.makeReadOnly(HKLM);
    EXPECT_FALSE(DeleteRegSetting(os, "oa", "", "", HKLM, "SOFTWARE"));
    EXPECT_TRUE(os.reg.hasKey(HKLM, "SOFTWARE\\oa\\sub"));

    for (const char* op : {"RegQueryValueExA", "RegSetValueExA", "RegDeleteValueA", "RegDeleteKeyA",
                           "RegEnumKeyA", "RegCreateKeyExA"}) {
        fake::FakePlatform m;  // every key is closed, also when a call fails
        m.reg.putText(HKCU, "A\\B\\C", "v", "x");
        m.fail(op, 1);
        GetRegSetting(m, "A", "B", "v", {}, HKCU, "");
        SaveRegSetting(m, "A", "B", "v", "y", HKCU, "");
        DeleteRegSetting(m, "A", "B", "v", HKCU, "");
        DeleteRegSetting(m, "A", "", "", HKCU, "");
        EnumSubKeys(m, "HKEY_CURRENT_USER", "A", true);
        EXPECT_EQ(m.reg.openKeys(), 0u) << op;
    }
}

// --- the Registry class -------------------------------------------------------------------

TEST_F(RegistryTest, TheClassConvertsByType) {
    const struct {
        std::uint32_t type;
        Bytes data;
        Variant value;
    } reads[] = {
        {1, bytes(kZhong + '\0'), std::string("中")},
        {1, {}, std::string()},
        {2, bytes(std::string("%SystemRoot%\\x\0", 15)), std::string("C:\\windows\\x")},
        {4, {2, 1, 0, 0}, std::int32_t{258}},
        {5, {1, 2, 3, 4}, std::int32_t{0x01020304}},
        {3, {0x0A, 0xFF}, ByteArray{0, {0x0A, 0xFF}}},
        {7, bytes(std::string("a\0b\0\0", 5)), std::string("a\0b\0", 4)},
        {11, Bytes(8, 7), ByteArray{0, Bytes(8, 7)}},
    };
    os.env.setVariable("SystemRoot", "C:\\windows");
    for (const auto& c : reads) {
        os.reg.put(HKCU, "A", "v", c.type, c.data);
        Registry r = at(HKCU, "A", "v");
        EXPECT_EQ(r.value(), c.value) << c.type;
        EXPECT_EQ(r.ValueType(), static_cast<std::int32_t>(c.type));
    }
    EXPECT_EQ(os.count("RegOpenKeyExA HKCU\\A 0x1"), 8);
    os.reg.denyAccess(HKCU, "A");
    Registry unreadable = at(HKCU, "A", "v", 4);
    unreadable.Default(std::string("dflt"));
    EXPECT_EQ(unreadable.value(), Variant(std::string("dflt")));
    EXPECT_EQ(unreadable.ValueType(), 4) << "the type stays";
    EXPECT_TRUE(IsEmpty(Registry(os).value()));

    const struct {
        std::int32_t valueType;
        Variant value;
        std::uint32_t storedType;
        Bytes data;
    } writes[] = {
        {1, std::string("%ProgramFiles%\\x"), 2, bytes(std::string("%ProgramFiles%\\x\0", 17))},
        {1, std::string("%a%"), 2, bytes(std::string("%a%\0", 4))},
        {1, std::string("100%"), 1, bytes(std::string("100%\0", 5))},
        {2, std::string("%%"), 1, bytes(std::string("%%\0", 3))},
        {1, std::int32_t{42}, 1, bytes(std::string("42\0", 3))},
        {1, std::int16_t{-7}, 1, bytes(std::string("-7\0", 3))},
        {5, std::int16_t{-2}, 4, {0xFE, 0xFF, 0xFF, 0xFF}},
        {3, ByteArray{1, {1, 2, 3, 4}}, 3, {1, 2, 3, 4}},
    };
    for (const auto& c : writes) {
        Registry r = at(HKCU, "Software\\oa", "v", c.valueType);
        r.value(c.value);
        const auto stored = os.reg.get(HKCU, "Software\\oa", "v");
        EXPECT_TRUE(stored->type == c.storedType && stored->data == c.data) << VariantText(c.value);
        EXPECT_EQ(r.ValueType(), c.valueType);
    }
    EXPECT_EQ(os.count("RegCreateKeyExA HKCU\\Software\\oa 0x3f"), 8);
    at(HKCU, "B", "v", 4).value(std::string("5"));  // a dword from text: quietly not written
    EXPECT_TRUE(os.reg.hasKey(HKCU, "B") && !os.reg.get(HKCU, "B", "v"));
    at(HKCU, "B", "v", 1).value(std::string(32766, 'x'));
    EXPECT_EQ(os.reg.get(HKCU, "B", "v")->data.size(), 32767u);
}

TEST_F(RegistryTest, TheClassRaisesWithItsNumbersAndDescriptions) {
    const std::string key = "'-2147483646',Section: 'SOFTWARE\\oa";
    const std::string failed = std::to_string(kErrWriteRefused) +
                               " oapanel.cRegistry Failed to set registry value Key: " + key +
                               "',Key: 'v' to value: '";
    const std::string overflow = "6 oapanel.cRegistry Overflow";
    const struct {
        std::function<void(fake::FakePlatform&)> arrange;
        std::function<void(Registry&)> action;
        std::string error;  // empty: no error
    } cases[] = {
        {[](auto&) {}, [](auto& r) { r.ValueType(3), r.value(std::string("0A")); }, "26001  "},
        {[](auto&) {}, [](auto& r) { r.ValueType(7), r.value(std::string("x")); }, failed + "x'"},
        {[](auto&) {}, [](auto& r) { r.value(std::int32_t{1}); }, failed + "1'"},
        {[](auto& m) { m.fail("RegSetValueExA", 5); },
         [](auto& r) { r.ValueType(4), r.value(std::int32_t{7}); }, failed + "7'"},
        {[](auto&) {}, [](auto& r) { r.ValueType(1), r.value(std::string(32767, 'x')); }, overflow},
        {[](auto&) {}, [](auto& r) { r.ValueType(1), r.value(chinese16k()); }, overflow},
        {[](auto& m) { m.reg.makeReadOnly(HKLM); },
         [](auto& r) { r.ValueType(1), r.value(std::string("x")); },
         "26001 oapanel.cRegistry Failed to set registry value Key: " + key +
             "',Key: 'v' to value: 'x'"},
        {[](auto& m) { m.reg.makeReadOnly(HKLM); }, [](auto& r) { r.CreateKey(); },
         "26001 oapanel.cRegistry Failed to create registry Key: 'SOFTWARE\\oa"},
        {[](auto& m) { m.reg.addKey(HKLM, "SOFTWARE\\oa\\sub"); }, [](auto& r) { r.DeleteKey(); },
         "26001 oapanel.cRegistry Failed to delete registry Key: " + key},
        {[](auto& m) { m.reg.addKey(HKLM, "SOFTWARE\\oa"); }, [](auto& r) { r.DeleteKey(); }, ""},
        {[](auto& m) { m.reg.grant(HKLM, "SOFTWARE", 0x2003F); }, [](auto& r) { r.CreateKey(); },
         ""},
        {[](auto&) {}, [](auto& r) { r.DeleteValue(); },
         "26001 oapanel.cRegistry Failed to open key " + key + "' for delete access"},
        {[](auto& m) { m.reg.addKey(HKLM, "SOFTWARE\\oa"); }, [](auto& r) { r.DeleteValue(); },
         "26001 oapanel.cRegistry Failed to delete registry Key: " + key + "',Key: 'v"},
        {[](auto& m) { m.reg.putText(HKLM, "SOFTWARE\\oa", "v", "x"); },
         [](auto& r) { r.DeleteValue(); }, ""},
    };
    for (const auto& c : cases) {
        fake::FakePlatform m;
        c.arrange(m);
        Registry r(m);
        r.ClassKey(AsClassKey(HKLM));
        r.SectionKey("SOFTWARE\\oa");
        r.ValueKey("v");
        EXPECT_EQ(raised([&] { c.action(r); }), c.error.empty() ? "nothing raised" : c.error);
        EXPECT_EQ(r.SectionKey(), "SOFTWARE\\oa") << "the object stays as it was";
        EXPECT_EQ(m.reg.openKeys(), 0u);
    }
    EXPECT_EQ(
        raised([&] { Registry(os).value(std::string("x")); }),
        "26001 oapanel.cRegistry Failed to set registry value Key: '0',Section: '',Key: '' to "
        "value: 'x'");
    os.reg.addKey(HKLM, "SOFTWARE\\oa");
    os.reg.grant(HKLM, "", platform::kKeyQueryValue);
    EXPECT_TRUE(at(HKLM, "SOFTWARE\\oa", "").KeyExists()) << "asks only to read";
    os.reg.putText(HKCU, "D", "v", "x");
    at(HKCU, "D", "v").DeleteValue();
    EXPECT_EQ(os.count("RegOpenKeyExA HKCU\\D 0x3f"), 1) << "deletes ask for 0x3F";
    EXPECT_FALSE(at(HKLM, "SOFTWARE\\none", "").KeyExists());
}

TEST_F(RegistryTest, TemporaryAddressesAndEnumerations) {
    os.reg.putText(HKLM, "Own", "name", "from HKLM");
    os.reg.putText(HKCU, "Own", "mine", "own value");
    os.reg.put(HKCU, "Own", "bb", 4, {2, 0, 0, 0});
    os.reg.addKey(HKCU, "Own\\one\\deeper");
    os.reg.addKey(HKCU, "Own\\Two");
    Registry r = at(HKCU, "Own", "mine", 1);
    r.Default(std::string("own default"));
    EXPECT_EQ(r.ReadKey("name", "", AsClassKey(HKLM)), Variant(std::string("from HKLM")));
    EXPECT_EQ(r.ReadKey("none", "", 0, Variant(std::int32_t{9})), Variant(std::int32_t{9}));
    EXPECT_EQ(r.ReadKey("none"), Variant(std::string("own default")));
    EXPECT_EQ(r.ReadKey(), Variant(std::string("own value")));
    r.WriteKey(std::string("x"), "other", "Elsewhere");
    EXPECT_EQ(os.reg.text(HKCU, "Elsewhere", "other"), "x");
    EXPECT_EQ(r.ValueKey() + r.SectionKey() + std::to_string(r.ClassKey()), "mineOwn-2147483647");

    std::vector<std::string> names{"stale"};
    std::int32_t count = -1;
    EXPECT_TRUE(r.EnumerateValues(names, count));
    EXPECT_EQ(names, (std::vector<std::string>{"mine", "bb"}));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(r.EnumerateSections(names, count));
    EXPECT_EQ(names, (std::vector<std::string>{"one", "Two"}));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(os.count("RegOpenKeyExA HKCU\\Own 0x8"), 1);
    for (bool sections : {true, false}) {  // a missing key gives nothing, without an error
        EXPECT_TRUE(sections ? at(HKCU, "Gone", "").EnumerateSections(names, count)
                             : at(HKCU, "Gone", "").EnumerateValues(names, count));
        EXPECT_TRUE(names.empty() && count == 0);
    }
    os.reg.makeReadOnly(HKLM);
    EXPECT_EQ(raised([&] { r.WriteKey(std::string("x"), "", "", AsClassKey(HKLM)); }).substr(0, 5),
              "26001");
    EXPECT_EQ(r.ClassKey(), AsClassKey(HKLM)) << "an error leaves the temporary address";
}

TEST_F(RegistryTest, FileTypesAreRegisteredUnderBothRoots) {
    const auto entry = [&](const std::string& key) {  // fails when the two roots differ
        EXPECT_EQ(os.reg.text(HKCR, key, ""), os.reg.text(HKLM, "SOFTWARE\\Classes\\" + key, ""));
        return os.reg.text(HKCR, key, "");
    };
    Registry r(os);
    r.CreateEXEAssociation("  C:\\a b\\x.exe\"", "oa.doc", "OA 文档", "oad");
    EXPECT_EQ(entry(".oad") + "|" + entry("oa.doc") + "|" + entry("oa.doc\\shell\\open") + "|" +
                  entry("oa.doc\\shell\\open\\command") + "|" + entry("oa.doc\\DefaultIcon"),
              "oa.doc|OA 文档|&Open|\"C:\\a b\\x.exe\" \"%1\"|<none>");
    EXPECT_EQ(r.ClassKey(), AsClassKey(HKLM)) << "left at the last entry";
    EXPECT_EQ(r.SectionKey(), "oa.doc\\shell\\open\\command");

    os.record.calls.clear();
    r.CreateEXEAssociation("\"C:\\x.exe", "cls", "d", "abc", "", true, "", true, "", true, "", 0);
    std::vector<std::string> created;
    for (const auto& call : os.record.calls)
        if (call.rfind("RegCreateKeyExA HKCR\\", 0) == 0)
            created.push_back(call.substr(21, call.rfind(' ') - 21));
    EXPECT_EQ(created, (std::vector<std::string>{".abc", "cls", "cls\\shell\\open",
                                                 "cls\\shell\\open\\command", "cls\\shell\\print",
                                                 "cls\\shell\\print\\command", "cls\\shell\\add",
                                                 "cls\\shell\\add\\command", "cls\\shell\\new",
                                                 "cls\\shell\\new\\command", "cls\\DefaultIcon"}));
    EXPECT_EQ(entry("cls\\shell\\print") + entry("cls\\shell\\add") + entry("cls\\shell\\new"),
              "&Print&Install abc&New");
    EXPECT_EQ(
        entry("cls\\shell\\print\\command") + entry("cls\\shell\\add\\command") +
            entry("cls\\shell\\new\\command") + entry("cls\\DefaultIcon"),
        "\"C:\\x.exe\" /p \"%1\"\"C:\\x.exe\" /a \"%1\"\"C:\\x.exe\" /n \"%1\"\"C:\\x.exe\",0");
    r.CreateEXEAssociation("x.exe", "own", "d", "e", "打开", true, "打印", true, "新建", true,
                           "安装");
    EXPECT_EQ(entry("own\\shell\\open") + entry("own\\shell\\print") + entry("own\\shell\\new") +
                  entry("own\\shell\\add"),
              "打开打印新建安装");

    // More verbs: triples only, and only for a class that is there under the object's root.
    const std::vector<Variant> six = {std::string("edit"),  std::string("编辑"),
                                      std::string("n.exe"), std::string("view"),
                                      std::string("View"),  std::int32_t{7}};
    Registry more(os);
    EXPECT_EQ(more.CreateAdditionalEXEAssociations("cls", {})->number(), kErrAssociationNoClass);
    more.ClassKey(AsClassKey(HKCR));
    const auto odd = more.CreateAdditionalEXEAssociations("cls", {six.begin(), six.begin() + 4});
    EXPECT_EQ(std::to_string(odd->number()) + " " + odd->source() + " " + odd->description(),
              std::to_string(kErrAssociationItems) +
                  " oapanel.cRegistry Invalid parameter list passed to "
                  "CreateAdditionalEXEAssociations - expected Name/Text/Command");
    EXPECT_EQ(Registry(os).CreateAdditionalEXEAssociations("none", {})->description(),
              "Error - attempt to create additional associations before class defined.");
    os.reg.makeReadOnly(HKLM);  // each entry on its own: one that fails does not stop the rest
    EXPECT_FALSE(more.CreateAdditionalEXEAssociations("cls", six));
    EXPECT_EQ(os.reg.text(HKCR, "cls\\shell\\edit", "") +
                  os.reg.text(HKCR, "cls\\shell\\view\\command", ""),
              "编辑7");
    // The first refused write of a registration raises and keeps what was written before it.
    EXPECT_EQ(
        raised([&] { Registry(os).CreateEXEAssociation("x.exe", "c2", "d", "e2"); }).substr(0, 5),
        "26001");
    EXPECT_TRUE(os.reg.get(HKCR, ".e2", "") && !os.reg.hasKey(HKCR, "c2"));
}

}  // namespace
}  // namespace unit
