// basRegistry and the Registry class against Wine's real registry, with the Chinese ANSI code
// page (936). Everything is written below a private key of this run, removed at the end.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/win32/environment.h"
#include "platform/win32/registry.h"
#include "registry/Registry.h"
#include "registry/basRegistry.h"

namespace {

using namespace oapanel;

constexpr auto HKCU = platform::kHkeyCurrentUser;

class RealRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 936u) << "run with LC_ALL=zh_CN.GBK";
        base_ = "Software\\oapanel-tests\\registry-" + std::to_string(GetCurrentProcessId());
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\oapanel-tests");  // only when now empty
    }

    // What the platform stores: the type and the raw bytes.
    struct Raw {
        DWORD type = 0;
        std::string data;
        bool found = false;
    };
    Raw raw(const std::string& section, const std::string& name) {
        Raw r;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path(section).c_str(), 0, KEY_QUERY_VALUE, &key))
            return r;
        char buffer[512] = {};
        DWORD size = sizeof buffer;
        r.found = RegQueryValueExA(key, name.c_str(), nullptr, &r.type,
                                   reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
        r.data.assign(buffer, size);
        RegCloseKey(key);
        return r;
    }
    void store(const std::string& section, const std::string& name, DWORD type,
               const std::string& data) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path(section).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
        RegCloseKey(key);
    }
    std::string path(const std::string& section) const {
        return section.empty() ? base_ : base_ + "\\" + section;
    }

    std::string base_;
    win32::Registry reg_;
    win32::TextCodec codec_;
    win32::Environment env_;
    RegAccess ra_{reg_, codec_};
};

TEST_F(RealRegistry, ChineseTextTakesTwoBytesACharacterPlusItsNul) {
    EXPECT_EQ(GetAnsiLength(codec_, "中文"), 4);
    ASSERT_TRUE(SaveRegSetting(ra_, "", "text", "v", "中文", HKCU, base_));
    const Raw stored = raw("text", "v");
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored.data.size(), 5u);
    EXPECT_EQ(RegValueText(GetRegSetting(ra_, "", "text", "v", {}, HKCU, base_)), "中文");

    // The wide view of the same value holds the two characters, not mangled bytes.
    const std::string ascii = path("text");
    const std::wstring widePath(ascii.begin(), ascii.end());
    wchar_t wide[16] = {};
    DWORD size = sizeof wide;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, widePath.c_str(), L"v", RRF_RT_REG_SZ, nullptr, wide,
                           &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(wide), L"中文");
}

TEST_F(RealRegistry, ReadsGiveStoredTextsAndFallBackForOtherTypes) {
    store("t", "expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15));
    store("t", "multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    store("t", "bin", REG_BINARY, "\x0A\x1F\xFF");
    store("t", "big", REG_DWORD_BIG_ENDIAN, std::string("\x00\x00\x01\x02", 4));

    const auto read = [&](const char* name) {
        return GetRegSetting(ra_, "", "t", name, std::string("dflt"), HKCU, base_);
    };
    EXPECT_EQ(read("expand"), RegValue(std::string("%SystemRoot%\\x")));
    EXPECT_EQ(read("multi"), RegValue(std::string("dflt")));
    EXPECT_EQ(read("bin"), RegValue(std::string("0A 1F FF")));
    EXPECT_EQ(read("big"), RegValue(std::int32_t{0x02010000}));
    EXPECT_EQ(read("missing"), RegValue(std::string("dflt")));

    // Saved back, the expandable text becomes a plain one.
    ASSERT_TRUE(SaveRegSetting(ra_, "", "t", "expand", "%SystemRoot%\\x", HKCU, base_));
    EXPECT_EQ(raw("t", "expand").type, static_cast<DWORD>(REG_SZ));
}

TEST_F(RealRegistry, DeletingAKeyRemovesItsWholeSubtree) {
    ASSERT_TRUE(SaveRegSetting(ra_, "tree\\a\\b", "c", "v", "1", HKCU, base_));
    ASSERT_TRUE(SaveRegSetting(ra_, "tree\\a", "d", "v", "2", HKCU, base_));
    ASSERT_TRUE(SaveRegSetting(ra_, "tree", "", "v", "3", HKCU, base_));

    const SubKeyList list = EnumSubKeys(ra_, "HKEY_CURRENT_USER", path("tree\\a"), true);
    EXPECT_EQ(list.names, (std::vector<std::string>{"b", "d"}));
    EXPECT_EQ(list.hasSubKeys, (std::vector<bool>{true, false}));

    EXPECT_TRUE(DeleteRegSetting(ra_, "tree", "", "", HKCU, base_));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path("tree").c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteRegSetting(ra_, "tree", "", "", HKCU, base_));
}

TEST_F(RealRegistry, TheClassExpandsReferencesAndStoresByContent) {
    store("c", "expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15));
    store("c", "big", REG_DWORD_BIG_ENDIAN, std::string("\x00\x00\x01\x02", 4));
    char expected[MAX_PATH] = {};
    ExpandEnvironmentStringsA("%SystemRoot%\\x", expected, MAX_PATH);

    Registry r(reg_, codec_, env_, "oapanel");
    r.ClassKey(AsClassKey(HKCU));
    r.SectionKey(path("c"));
    r.ValueKey("expand");
    EXPECT_EQ(r.value(), Variant(codec_.fromAnsi(expected)));
    EXPECT_EQ(std::string(expected).find('%'), std::string::npos);
    EXPECT_EQ(r.ValueType(), 2);
    r.ValueKey("big");
    EXPECT_EQ(r.value(), Variant(std::int32_t{258}));

    r.ValueType(1);
    const struct {
        const char* name;
        const char* text;
        DWORD type;
        std::size_t size;
    } writes[] = {
        {"path", "C:\\oa\\jre", REG_SZ, 10},
        {"ref", "%ProgramFiles%\\x", REG_EXPAND_SZ, 17},
        {"pct", "100%", REG_SZ, 5},
        {"zh", "中文", REG_SZ, 5},
    };
    for (const auto& w : writes) {
        SCOPED_TRACE(w.name);
        r.ValueKey(w.name);
        r.value(std::string(w.text));
        const Raw stored = raw("c", w.name);
        EXPECT_EQ(stored.type, w.type);
        EXPECT_EQ(stored.data.size(), w.size);
    }

    std::vector<std::string> names;
    std::int32_t count = 0;
    r.EnumerateValues(names, count);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(names.size(), 6u);

    SaveRegSetting(ra_, "c", "sub", "v", "x", HKCU, base_);
    r.SectionKey(path("c"));
    try {
        r.DeleteKey();
        ADD_FAILURE() << "a key with sub-keys was deleted";
    } catch (const RegistryError& e) {
        EXPECT_EQ(e.number(), 26001);
        EXPECT_EQ(e.description(),
                  "Failed to delete registry Key: '-2147483647',Section: '" + path("c"));
    }
}

}  // namespace
