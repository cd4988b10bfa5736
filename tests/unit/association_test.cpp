// File-type registration by the Registry class, against the simulated registry.
#include <gtest/gtest.h>

#include <functional>

#include "registry/Registry.h"
#include "tests/fake/fake_platform.h"

namespace {

using namespace oapanel;

constexpr auto HKCR = platform::kHkeyClassesRoot;
constexpr auto HKLM = platform::kHkeyLocalMachine;

// The default value of a key under both roots; fails the test when the two differ.
std::optional<std::string> entry(fake::FakePlatform& os, const std::string& key) {
    const auto read = [&](platform::Handle root, const std::string& path) {
        const auto v = os.reg.get(root, path, "");
        if (!v) return std::optional<std::string>();
        EXPECT_EQ(v->type, platform::kRegSz) << path;
        return std::optional<std::string>(os.codecImpl.fromAnsi(
            std::string(v->data.begin(), v->data.end() - (v->data.empty() ? 0 : 1))));
    };
    const auto classes = read(HKCR, key);
    EXPECT_EQ(classes, read(HKLM, "SOFTWARE\\Classes\\" + key)) << key;
    return classes;
}

// Every key written below the class, under HKEY_CLASSES_ROOT, in order of creation.
std::vector<std::string> created(const fake::FakePlatform& os) {
    std::vector<std::string> keys;
    for (const auto& call : os.calls)
        if (call.rfind("RegCreateKeyExA HKCR\\", 0) == 0)
            keys.push_back(call.substr(21, call.rfind(' ') - 21));
    return keys;
}

TEST(CreateEXEAssociation, TheRequiredArgumentsWriteFourKeysUnderEachRoot) {
    fake::FakePlatform os;
    Registry r(os);
    r.CreateEXEAssociation("C:\\a b\\x.exe", "oa.doc", "OA 文档", "oad");

    EXPECT_EQ(created(os), (std::vector<std::string>{".oad", "oa.doc", "oa.doc\\shell\\open",
                                                     "oa.doc\\shell\\open\\command"}));
    EXPECT_EQ(entry(os, ".oad"), "oa.doc");
    EXPECT_EQ(entry(os, "oa.doc"), "OA 文档");
    EXPECT_EQ(entry(os, "oa.doc\\shell\\open"), "&Open");
    EXPECT_EQ(entry(os, "oa.doc\\shell\\open\\command"), "\"C:\\a b\\x.exe\" \"%1\"");
    EXPECT_EQ(os.count("RegCreateKeyExA HKLM\\SOFTWARE\\Classes\\"), 4);
    EXPECT_EQ(os.reg.subKeys(HKCR, "oa.doc\\shell"), (std::vector<std::string>{"open"}));
    EXPECT_FALSE(os.reg.hasKey(HKCR, "oa.doc\\DefaultIcon"));

    // The object is left at the last entry, under the machine root.
    EXPECT_EQ(r.ClassKey(), AsClassKey(HKLM));
    EXPECT_EQ(r.SectionKey(), "oa.doc\\shell\\open\\command");
    EXPECT_EQ(r.ValueKey(), "");
    EXPECT_EQ(r.ValueType(), 1);
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(CreateEXEAssociation, EveryVerbInOrderWithItsDefaultTextAndTheIconLast) {
    const struct {
        const char* what;
        std::string open, print, fresh, install;
    } cases[] = {
        {"empty texts", "", "", "", ""},
        {"own texts", "打开(&O)", "打印(&P)", "新建(&N)", "安装(&I)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        Registry r(os);
        r.CreateEXEAssociation("\"C:\\x.exe\"", "cls", "desc", "abc", c.open, true, c.print, true,
                               c.fresh, true, c.install, 0);
        EXPECT_EQ(created(os), (std::vector<std::string>{
                                   ".abc", "cls", "cls\\shell\\open", "cls\\shell\\open\\command",
                                   "cls\\shell\\print", "cls\\shell\\print\\command",
                                   "cls\\shell\\add", "cls\\shell\\add\\command", "cls\\shell\\new",
                                   "cls\\shell\\new\\command", "cls\\DefaultIcon"}));
        const auto text = [](const std::string& given, const char* fallback) {
            return given.empty() ? std::string(fallback) : given;
        };
        EXPECT_EQ(entry(os, "cls\\shell\\open"), text(c.open, "&Open"));
        EXPECT_EQ(entry(os, "cls\\shell\\print"), text(c.print, "&Print"));
        EXPECT_EQ(entry(os, "cls\\shell\\add"), text(c.install, "&Install abc"));
        EXPECT_EQ(entry(os, "cls\\shell\\new"), text(c.fresh, "&New"));
        EXPECT_EQ(entry(os, "cls\\shell\\print\\command"), "\"C:\\x.exe\" /p \"%1\"");
        EXPECT_EQ(entry(os, "cls\\shell\\add\\command"), "\"C:\\x.exe\" /a \"%1\"");
        EXPECT_EQ(entry(os, "cls\\shell\\new\\command"), "\"C:\\x.exe\" /n \"%1\"");
        EXPECT_EQ(entry(os, "cls\\DefaultIcon"), "\"C:\\x.exe\",0");
    }
}

TEST(CreateEXEAssociation, TheExecutablePathIsTrimmedAndQuotedOnce) {
    const struct {
        const char* given;
        const char* exe;
    } cases[] = {
        {"  C:\\a b\\x.exe  ", "\"C:\\a b\\x.exe\""},
        {"\"C:\\a b\\x.exe\"", "\"C:\\a b\\x.exe\""},
        {"C:\\x.exe\"", "\"C:\\x.exe\""},
        {"\"C:\\x.exe", "\"C:\\x.exe\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        fake::FakePlatform os;
        Registry r(os);
        r.CreateEXEAssociation(c.given, "cls", "d", "e", "", false, "", false, "", false, "", 3);
        EXPECT_EQ(entry(os, "cls\\shell\\open\\command"), std::string(c.exe) + " \"%1\"");
        EXPECT_EQ(entry(os, "cls\\DefaultIcon"), std::string(c.exe) + ",3");
    }
}

TEST(CreateEXEAssociation, TheFirstRefusedWriteRaisesAndKeepsWhatWasWritten) {
    fake::FakePlatform os;
    os.reg.makeReadOnly(HKLM);
    Registry r(os);
    try {
        r.CreateEXEAssociation("C:\\x.exe", "cls", "d", "e");
        ADD_FAILURE() << "no error raised";
    } catch (const RegistryError& e) {
        EXPECT_EQ(e.number(), 26001);
    }
    EXPECT_TRUE(os.reg.get(HKCR, ".e", ""));
    EXPECT_FALSE(os.reg.hasKey(HKCR, "cls"));
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

TEST(CreateAdditionalEXEAssociations, ChecksTheListAndTheClassBeforeWriting) {
    const std::vector<Variant> six = {
        std::string("edit"), std::string("编辑"), std::string("notepad.exe \"%1\""),
        std::string("view"), std::string("View"), std::string("v.exe %1")};
    const auto first = [&](std::size_t n) {
        return std::vector<Variant>(six.begin(), six.begin() + n);
    };
    const struct {
        const char* what;
        std::vector<Variant> items;
        bool classExists;
        std::optional<std::int32_t> error;
        int keysWritten;  // under each root
    } cases[] = {
        {"two items", first(2), true, kErrAssociationItems, 0},
        {"four items", first(4), true, kErrAssociationItems, 0},
        {"nothing, no class", {}, false, kErrAssociationNoClass, 0},
        {"three items, no class", first(3), false, kErrAssociationNoClass, 0},
        {"nothing", {}, true, std::nullopt, 0},
        {"six items", six, true, std::nullopt, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        if (c.classExists) os.reg.addKey(HKCR, "cls");
        Registry r(os);
        r.ClassKey(AsClassKey(HKCR));
        const auto error = r.CreateAdditionalEXEAssociations("cls", c.items);
        ASSERT_EQ(error.has_value(), c.error.has_value());
        if (error) {
            EXPECT_EQ(error->number(), *c.error);
            EXPECT_EQ(error->source(), "oapanel.cRegistry");
            EXPECT_EQ(error->description(),
                      *c.error == kErrAssociationItems
                          ? "Invalid parameter list passed to CreateAdditionalEXEAssociations - "
                            "expected Name/Text/Command"
                          : "Error - attempt to create additional associations before class "
                            "defined.");
        }
        EXPECT_EQ(os.count("RegCreateKeyExA HKCR"), c.keysWritten);
        EXPECT_EQ(os.count("RegCreateKeyExA HKLM\\SOFTWARE\\Classes"), c.keysWritten);
        EXPECT_EQ(os.reg.openKeys(), 0u);
    }

    fake::FakePlatform os;
    os.reg.addKey(HKCR, "cls");
    Registry r(os);
    r.ClassKey(AsClassKey(HKCR));
    r.CreateAdditionalEXEAssociations("cls", six);
    EXPECT_EQ(entry(os, "cls\\shell\\edit"), "编辑");
    EXPECT_EQ(entry(os, "cls\\shell\\edit\\command"), "notepad.exe \"%1\"");
    EXPECT_EQ(entry(os, "cls\\shell\\view\\command"), "v.exe %1");
}

TEST(CreateAdditionalEXEAssociations, TheClassIsLookedForUnderTheObjectsCurrentRoot) {
    fake::FakePlatform os;
    os.reg.addKey(HKCR, "cls");
    Registry r(os);  // ClassKey 0 addresses nothing
    const auto error = r.CreateAdditionalEXEAssociations("cls", {});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), kErrAssociationNoClass);
}

TEST(CreateAdditionalEXEAssociations, AWriteThatFailsIsSkippedAndTheRestIsWritten) {
    fake::FakePlatform os;
    os.reg.addKey(HKCR, "cls");
    os.reg.makeReadOnly(HKLM);
    Registry r(os);
    r.ClassKey(AsClassKey(HKCR));
    const std::vector<Variant> items = {std::string("a"), std::string("A"), std::string("a.exe"),
                                        std::string("b"), std::string("B"), std::int32_t{7}};
    EXPECT_FALSE(r.CreateAdditionalEXEAssociations("cls", items));
    for (const char* key :
         {"cls\\shell\\a", "cls\\shell\\a\\command", "cls\\shell\\b", "cls\\shell\\b\\command"})
        EXPECT_TRUE(os.reg.get(HKCR, key, "")) << key;
    EXPECT_FALSE(os.reg.hasKey(HKLM, "SOFTWARE\\Classes\\cls"));
    EXPECT_EQ(os.reg.get(HKCR, "cls\\shell\\b\\command", "")->data,
              (std::vector<std::uint8_t>{'7', 0}));
    EXPECT_EQ(os.reg.openKeys(), 0u);
}

}  // namespace
