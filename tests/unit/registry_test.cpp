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
using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;
using M = fake::FakePlatform;
constexpr auto HKCR = platform::kHkeyClassesRoot;
const std::string kZhong = "\xD6\xD0";  // 中 in GBK

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string chinese16k() {  // 32,768 bytes in the code page: one more than a length counts
    std::string s;
    for (int i = 0; i < 16384; ++i) s += "中";
    return s;
}
Registry at(M& os, platform::Handle root, const std::string& section, const std::string& name,
            std::int32_t type = 0) {
    Registry r(os);
    r.ClassKey(AsClassKey(root));
    r.SectionKey(section);
    r.ValueKey(name);
    r.ValueType(type);
    return r;
}
std::string said(const RegistryError& e) {
    return std::to_string(e.number()) + " " + e.source() + " " + e.description();
}
std::string raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const RegistryError& e) {
        return said(e);
    } catch (const RegInternalFailure& e) {
        return e.what();
    }
    return "nothing raised";
}

struct RegistryTest : ::testing::Test {
    M os;
    void TearDown() override { EXPECT_EQ(os.reg.openKeys(), 0u); }
};

TEST(RegistryValues, RootKeysAndPaths) {
    EXPECT_EQ(GetRootKey("hkey_local_machine"), HKLM);
    for (auto root : {HKCU, HKCR, platform::kHkeyUsers, platform::kHkeyCurrentConfig})
        EXPECT_EQ(GetRootKey(GetRootKeyName(root)), root);
    EXPECT_EQ(GetRootKey("HKLM") + GetRootKey("HKEY_PERFORMANCE_DATA"), 0u);
    EXPECT_EQ(BuildKeyPath("a//b", "c", "", "d"), "a\\\\b\\c\\d") << "\"/\" after doubles collapse";
    EXPECT_EQ(BuildKeyPath("\\a\\\\\\b\\", "", "t\\", ""), "\\a\\b\\t\\");
}

// One row per type: written through the module where given (else stored as is), then read back.
TEST_F(RegistryTest, TheModuleReadsAndWritesByType) {
    // type, the value written, the bytes stored (empty: none), the status and value of the read
    const std::tuple<std::uint32_t, std::optional<RegValue>, Bytes, long, RegValue> rows[] = {
        {1, "中"s, bytes(kZhong + '\0'), 0, "中"s},
        {2, "%P%"s, bytes("%P%\0"s), 0, "%P%"s},
        {1, std::int32_t{-5}, bytes("-5\0"s), 0, "-5"s},
        {4, " +5 "s, {5, 0, 0, 0}, 0, std::int32_t{5}},
        {4, std::int32_t{-1}, {0xFF, 0xFF, 0xFF, 0xFF}, 0, std::int32_t{-1}},
        {5, std::int32_t{258}, {2, 1, 0, 0}, 0, std::int32_t{258}},  // little endian, both ways
        {3, "0A"s, {}, platform::kErrorFileNotFound, ""s},
        {7, "a"s, {}, platform::kErrorFileNotFound, ""s},
        {1, {}, bytes("abc"), 0, "abc"s},     // without its NUL
        {1, {}, bytes("j\0\0"s), 0, "j\0"s},  // a doubled NUL keeps one
        {3, {}, {0x0A, 0xFF}, 0, "0A FF"s},
        {4, {}, Bytes(8, 1), platform::kErrorMoreData, ""s},
        {7, {}, bytes("a\0\0"s), kRegTypeNotHandled, ""s},
        {6, {}, {1, 2}, kRegTypeNotHandled, ""s},
    };
    RegKey key(os.reg);
    key.create(HKCU, "T", platform::kKeyAll3F);
    int row = 0;
    for (const auto& [type, written, data, status, read] : rows) {
        const std::string name = std::to_string(row++);
        if (!written) os.reg.put(HKCU, "T", name, type, data);
        EXPECT_EQ(written ? WriteRegValue(os, key.get(), name, type, *written) : 0, 0);
        const auto stored = os.reg.get(HKCU, "T", name);
        EXPECT_TRUE(stored ? stored->data == data && stored->type == type : data.empty()) << name;
        RegValue value;
        std::uint32_t typeRead = 99;  // set only when the value is there
        EXPECT_EQ(ReadRegValue(os, key.get(), name, value, typeRead), status) << name;
        EXPECT_TRUE(value == read && typeRead == (stored ? type : 99)) << name;
    }
    for (const char* text : {"abc", "", "5x", "99999999999"})
        EXPECT_EQ(raised([&] { WriteRegValue(os, key.get(), "n", 4, std::string(text)); }),
                  text[0] == '9' ? "Overflow" : "Type mismatch");
}

TEST_F(RegistryTest, SettingsFallBackOnTheDefaultAndAreWrittenAsPlainText) {
    const RegValue dflt = std::string("dflt");
    const auto setting = [&](const char* name) {
        return GetRegSetting(os, "A", "S", name, dflt, HKCU, "");
    };
    os.reg.putText(HKCU, "A\\S", "text", "中文");
    os.reg.putText(HKCU, "A\\S", "empty", "");
    os.reg.put(HKCU, "A\\S", "n", 4, {7, 0, 0, 0});
    EXPECT_EQ(setting("text"), RegValue(std::string("中文")));
    EXPECT_EQ(setting("n"), RegValue(std::int32_t{7}));
    EXPECT_TRUE(setting("empty") == dflt && setting("none") == dflt);
    os.reg.denyAccess(HKCU, "A");
    EXPECT_EQ(setting("text"), dflt);
    // Reading asks for query rights only: a machine key the user may not write is still read.
    const std::string services = "SYSTEM\\CurrentControlSet\\Services\\";
    os.reg.putText(HKLM, services + kTomcat, "ImagePath", "t.exe");
    os.reg.put(HKLM, services + kMysql, "Start", 4, {3, 0, 0, 0});
    os.reg.grant(HKLM, "SYSTEM", platform::kKeyQueryValue);
    EXPECT_TRUE(IsServiceRegistered(os, kTomcat));
    EXPECT_EQ(GetServiceImagePath(os, kMysql), "Nothing") << "a service key without ImagePath";
    EXPECT_FALSE(SaveRegSetting(os, "A", "", "X", "x", HKLM, "SYSTEM"));
    // Writing creates the path and stores REG_SZ whatever the type was.
    os.reg.putText(HKCU, "Software\\oa\\New\\Deep", "v", "%P%", platform::kRegExpandSz);
    EXPECT_TRUE(SaveRegSetting(os, "New", "Deep", "v", "中文", HKCU, "Software/oa"));
    const auto saved = os.reg.get(HKCU, "Software\\oa\\New\\Deep", "v");
    EXPECT_TRUE(saved->type == platform::kRegSz &&
                saved->data == bytes(kZhong + "\xCE\xC4"s + '\0'));
    EXPECT_TRUE(SaveRegSetting(os, "W", "", "fits", std::string(32766, 'x'), HKCU, ""));
    EXPECT_FALSE(SaveRegSetting(os, "W", "", "long", std::string(32767, 'x'), HKCU, ""));
    EXPECT_FALSE(os.reg.get(HKCU, "W", "long"));
}

TEST_F(RegistryTest, DeletesRemoveValuesAndWholeTreesButNeverARoot) {
    os.reg.putText(HKCU, "Software\\Tree\\B\\C", "v", "1");
    os.reg.addKey(HKCU, "Software\\Tree\\B\\D\\E");
    os.reg.putText(HKCU, "Software\\Sibling", "oapanel", "x");
    os.reg.putText(HKCU, "Software\\Sibling", "other", "y");
    os.reg.makeReadOnly(HKCU, "Software\\Tree");  // listing asks only to read
    const SubKeyList list = EnumSubKeys(os, "hkey_current_user", "Software\\Tree\\B", true);
    EXPECT_EQ(list.names, (std::vector<std::string>{"C", "D"}));
    EXPECT_EQ(list.hasSubKeys, (std::vector<bool>{false, true}));
    EXPECT_TRUE(EnumSubKeys(os, "HKCU", "Software", false).names.empty());
    os.reg.grant(HKCU, "Software\\Tree", 0xF003F);

    EXPECT_TRUE(DeleteRegSetting(os, "Tree", "", "", HKCU, "Software"));
    EXPECT_FALSE(os.reg.hasKey(HKCU, "Software\\Tree"));
    EXPECT_FALSE(DeleteRegSetting(os, "Tree", "", "", HKCU, "Software")) << "already gone";
    for (const char* path : {"", "\\", "/"})
        EXPECT_FALSE(DeleteRegSetting(os, path, "", "", HKCU, ""));
    EXPECT_EQ(os.count("RegDeleteKeyA"), os.count("RegDeleteKeyA HKCU\\Software\\Tree"))
        << "none for a root itself";
    EXPECT_TRUE(os.reg.hasKey(HKCU, "Software\\Sibling"));
    EXPECT_TRUE(DeleteRegSetting(os, "Sibling", "", "oapanel", HKCU, "Software"));
    EXPECT_TRUE(!os.reg.get(HKCU, "Software\\Sibling", "oapanel") &&
                os.reg.get(HKCU, "Software\\Sibling", "other"));
    EXPECT_FALSE(DeleteRegSetting(os, "Missing", "Key", "v", HKCU, "Software"));
    EXPECT_TRUE(os.reg.hasKey(HKCU, "Software\\Missing\\Key")) << "created on the way";
    os.reg.addKey(HKLM, "SOFTWARE\\oa\\sub");
    os.reg.makeReadOnly(HKLM);
    EXPECT_FALSE(DeleteRegSetting(os, "oa", "", "", HKLM, "SOFTWARE"));
    EXPECT_TRUE(os.reg.hasKey(HKLM, "SOFTWARE\\oa\\sub"));

    for (const char* op : {"RegQueryValueExA", "RegSetValueExA", "RegDeleteValueA", "RegDeleteKeyA",
                           "RegEnumKeyA", "RegCreateKeyExA"}) {
        M m;  // every key is closed, also when a call fails
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

// One row per type: written as ValueType asks where given (else stored as is), then read back;
// reading sets ValueType to the type found and expands REG_EXPAND_SZ.
TEST_F(RegistryTest, TheClassConvertsByType) {
    const std::string x32766(32766, 'x');
    // ValueType, the value written, the type and bytes stored, the value read
    const std::tuple<std::int32_t, std::optional<Variant>, std::uint32_t, Bytes, Variant> rows[] = {
        {1, "中"s, 1, bytes(kZhong + '\0'), "中"s},
        {1, "%ProgramFiles%\\x"s, 2, bytes("%ProgramFiles%\\x\0"s), "C:\\Program Files\\x"s},
        {1, "%a%"s, 2, bytes("%a%\0"s), "%a%"s},
        {1, "100%"s, 1, bytes("100%\0"s), "100%"s},
        {2, "%%"s, 1, bytes("%%\0"s), "%%"s},
        {1, std::int32_t{42}, 1, bytes("42\0"s), "42"s},
        {1, std::int16_t{-7}, 1, bytes("-7\0"s), "-7"s},
        {1, x32766, 1, bytes(x32766 + '\0'), x32766},
        {5, std::int16_t{-2}, 4, {0xFE, 0xFF, 0xFF, 0xFF}, std::int32_t{-2}},
        {3, ByteArray{1, {1, 2, 3, 4}}, 3, {1, 2, 3, 4}, ByteArray{0, {1, 2, 3, 4}}},
        {4, "5"s, 4, {}, "dflt"s},  // a dword from text: quietly not written, the type stays
        {0, {}, 1, {}, ""s},
        {0, {}, 4, {2, 1, 0, 0}, std::int32_t{258}},
        {0, {}, 5, {1, 2, 3, 4}, std::int32_t{0x01020304}},
        {0, {}, 7, bytes("a\0b\0\0"s), "a\0b\0"s},
        {0, {}, 11, Bytes(8, 7), ByteArray{0, Bytes(8, 7)}},
    };
    os.env.setVariable("ProgramFiles", "C:\\Program Files");
    int row = 0;
    for (const auto& [valueType, written, type, data, read] : rows) {
        Registry r = at(os, HKCU, "A", std::to_string(row++), valueType);
        r.Default("dflt"s);
        written ? r.value(*written) : os.reg.put(HKCU, "A", r.ValueKey(), type, data);
        EXPECT_EQ(r.ValueType(), valueType) << "a write keeps the type asked for";
        const auto stored = os.reg.get(HKCU, "A", r.ValueKey());
        EXPECT_TRUE(stored ? stored->type == type && stored->data == data : data.empty()) << row;
        EXPECT_EQ(r.value(), read) << row;
        EXPECT_EQ(r.ValueType(), static_cast<std::int32_t>(type)) << row;
    }
    EXPECT_TRUE(IsEmpty(Registry(os).value()));
}

// One row per member and case, each on a machine of its own, against HKLM\SOFTWARE\oa, "v", for
// a user who may change keys and values there but not their owner or rights: nothing asks for more.
TEST_F(RegistryTest, TheClassRaisesWithItsNumbersAndDescriptions) {
    using R = Registry&;
    const std::string key = "'-2147483646',Section: 'SOFTWARE\\oa", is = " oapanel.cRegistry ";
    const std::string fail = "26001" + is + "Failed to ", overflow = "6" + is + "Overflow";
    const std::string set = "set registry value Key: " + key + "',Key: 'v' to value: '";
    const std::string refused = std::to_string(kErrWriteRefused) + is + "Failed to " + set;
    const std::pair<std::function<void(M&, R)>, std::string> cases[] = {
        {[](M&, R r) { r.ValueType(3), r.value("0A"s); }, "26001  "},
        {[](M&, R r) { r.ValueType(7), r.value("x"s); }, refused + "x'"},
        {[](M&, R r) { r.value(1); }, refused + "1'"},
        {[](M& m, R r) { m.fail("RegSetValueExA", 5), r.ValueType(4), r.value(7); },
         refused + "7'"},
        {[](M&, R r) { r.ValueType(1), r.value(std::string(32767, 'x')); }, overflow},
        {[](M&, R r) { r.ValueType(1), r.value(chinese16k()); }, overflow},
        {[](M& m, R r) { m.reg.makeReadOnly(HKLM), r.value("x"s); }, fail + set + "x'"},
        {[](M& m, R r) { m.reg.makeReadOnly(HKLM), r.CreateKey(); },
         fail + "create registry Key: 'SOFTWARE\\oa"},
        {[](M& m, R r) { m.reg.addKey(HKLM, "SOFTWARE\\oa\\sub"), r.DeleteKey(); },
         fail + "delete registry Key: " + key},
        {[](M& m, R r) { m.reg.addKey(HKLM, "SOFTWARE\\oa"), r.DeleteKey(); }, ""},
        {[](M&, R r) { r.CreateKey(); }, ""},
        {[](M&, R r) { r.DeleteValue(); }, fail + "open key " + key + "' for delete access"},
        {[](M& m, R r) { m.reg.addKey(HKLM, "SOFTWARE\\oa"), r.DeleteValue(); },
         fail + "delete registry Key: " + key + "',Key: 'v"},
        {[](M& m, R r) { m.reg.putText(HKLM, "SOFTWARE\\oa", "v", "x"), r.DeleteValue(); }, ""},
    };
    for (const auto& [action, error] : cases) {
        M m;
        m.reg.grant(HKLM, "SOFTWARE", platform::kKeyAll3F | 0x30000);
        Registry r = at(m, HKLM, "SOFTWARE\\oa", "v");
        EXPECT_EQ(raised([&] { action(m, r); }), error.empty() ? "nothing raised" : error);
        EXPECT_EQ(r.SectionKey(), "SOFTWARE\\oa") << "the object stays as it was";
        EXPECT_EQ(m.reg.openKeys(), 0u);
    }
    EXPECT_EQ(raised([&] { Registry(os).value("x"s); }),
              fail + "set registry value Key: '0',Section: '',Key: '' to value: 'x'");
    os.reg.addKey(HKLM, "SOFTWARE\\oa");
    os.reg.grant(HKLM, "", platform::kKeyQueryValue);
    EXPECT_TRUE(at(os, HKLM, "SOFTWARE\\oa", "").KeyExists()) << "asks only to read";
    EXPECT_FALSE(at(os, HKLM, "SOFTWARE\\none", "").KeyExists());
}

TEST_F(RegistryTest, TemporaryAddressesAndEnumerations) {
    os.reg.putText(HKLM, "Own", "name", "from HKLM");
    os.reg.putText(HKCU, "Own", "mine", "own value");
    os.reg.put(HKCU, "Own", "bb", 4, {2, 0, 0, 0});
    os.reg.addKey(HKCU, "Own\\one\\deeper");
    os.reg.addKey(HKCU, "Own\\Two");
    os.reg.makeReadOnly(HKCU, "Own");  // reading and listing ask only to read
    Registry r = at(os, HKCU, "Own", "mine", 1);
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
    EXPECT_TRUE(r.EnumerateValues(names, count) && count == 2);
    EXPECT_EQ(names, (std::vector<std::string>{"mine", "bb"}));
    EXPECT_TRUE(r.EnumerateSections(names, count) && count == 2);
    EXPECT_EQ(names, (std::vector<std::string>{"one", "Two"}));
    Registry gone = at(os, HKCU, "Gone", "");  // a missing key gives nothing, without an error
    EXPECT_TRUE(gone.EnumerateSections(names, count) && names.empty() && count == 0);
    names = {"stale"}, count = 1;
    EXPECT_TRUE(gone.EnumerateValues(names, count) && names.empty() && count == 0);
    os.reg.makeReadOnly(HKLM);
    EXPECT_EQ(raised([&] { r.WriteKey(std::string("x"), "", "", AsClassKey(HKLM)); }).substr(0, 5),
              "26001");
    EXPECT_EQ(r.ClassKey(), AsClassKey(HKLM)) << "an error leaves the temporary address";
}

TEST_F(RegistryTest, FileTypesAreRegisteredUnderBothRoots) {
    const auto entries = [&](const std::string& cls, std::initializer_list<const char*> keys) {
        std::string texts;
        for (const std::string key : keys) {
            const std::string text = os.reg.text(HKCR, cls + key, "");
            EXPECT_EQ(os.reg.text(HKLM, "SOFTWARE\\Classes\\" + cls + key, ""), text) << key;
            texts += text + "|";
        }
        return texts;
    };
    Registry r(os);
    r.CreateEXEAssociation("  C:\\a b\\x.exe\"", "oa.doc", "OA 文档", "oad", "打开", true, "打印",
                           true, "新建", true, "安装");
    EXPECT_EQ(entries("", {".oad", "oa.doc"}) +
                  entries("oa.doc\\shell\\", {"open", "print", "new", "add", "open\\command"}) +
                  entries("oa.doc", {"\\DefaultIcon"}),
              "oa.doc|OA 文档|打开|打印|新建|安装|\"C:\\a b\\x.exe\" \"%1\"|<none>|");
    EXPECT_EQ(std::to_string(r.ClassKey()) + r.SectionKey(),
              "-2147483646oa.doc\\shell\\new\\command")
        << "left at the last entry";
    r.CreateEXEAssociation("\"C:\\x.exe", "cls", "d", "abc", "", true, "", true, "", true, "", 0);
    EXPECT_EQ(entries("cls\\", {"shell\\open", "shell\\print", "shell\\add", "shell\\new",
                                "shell\\open\\command", "shell\\print\\command",
                                "shell\\add\\command", "shell\\new\\command", "DefaultIcon"}),
              "&Open|&Print|&Install abc|&New|\"C:\\x.exe\" \"%1\"|\"C:\\x.exe\" /p \"%1\"|"
              "\"C:\\x.exe\" /a \"%1\"|\"C:\\x.exe\" /n \"%1\"|\"C:\\x.exe\",0|");

    // More verbs: triples only, and only for a class that is there under the object's root.
    const std::vector<Variant> six = {"edit"s, "编辑"s, "n.exe"s, "view"s, "View"s, 7};
    Registry more(os);
    EXPECT_EQ(said(*more.CreateAdditionalEXEAssociations("cls", {})),
              std::to_string(kErrAssociationNoClass) +
                  " oapanel.cRegistry Error - attempt to create additional associations before "
                  "class defined.");
    more.ClassKey(AsClassKey(HKCR));
    EXPECT_EQ(said(*more.CreateAdditionalEXEAssociations("cls", {six.begin(), six.begin() + 4})),
              std::to_string(kErrAssociationItems) +
                  " oapanel.cRegistry Invalid parameter list passed to "
                  "CreateAdditionalEXEAssociations - expected Name/Text/Command");
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
