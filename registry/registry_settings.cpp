// The setting operations: each opens the key it needs and closes it before it returns.
#include "registry/registry_values.h"
#include "registry/reg_key.h"

namespace oapanel {

namespace {

// RegEnumKeyA's buffer for one sub-key name.
constexpr std::uint32_t kSubKeyNameChars = 2000;

const char kServicesPath[] = "SYSTEM\\CurrentControlSet\\Services";
const char kNothing[] = "Nothing";

bool isEmpty(const RegValue& v) {
    if (std::holds_alternative<std::monostate>(v)) return true;
    const auto* text = std::get_if<std::string>(&v);
    return text && text->empty();
}

bool hasSubKeys(RegAccess ra, platform::Handle root, const std::string& path) {
    RegKey key(ra.reg);
    key.open(root, path, platform::kKeyRead);
    std::string first;
    return ra.reg.enumKey(key.get(), 0, first, kSubKeyNameChars) == platform::kRegOk;
}

bool deleteTree(RegAccess ra, platform::Handle root, const std::string& path) {
    // A path of nothing but separators names the root itself: its delete would be refused,
    // and the sub-key removal that follows a refusal would then empty the whole root.
    if (path.find_first_not_of('\\') == std::string::npos) return false;

    long status = ra.reg.deleteKey(root, path);
    if (status == platform::kErrorRegAccessDenied) {  // refused while sub-keys remain
        const SubKeyList children = EnumSubKeys(ra, GetRootKeyName(root), path, false);
        for (const auto& name : children.names)
            DeleteRegSetting(ra, path + "\\" + name, "", "", root, "");
        status = ra.reg.deleteKey(root, path);
    }
    return status == platform::kRegOk;
}

}  // namespace

RegValue GetRegSetting(RegAccess ra, const std::string& strAppName, const std::string& strSection,
                       const std::string& strKey, const RegValue& vDefault,
                       platform::Handle hRootKey, const std::string& strBasePath) {
    try {
        RegKey key(ra.reg);
        // Reading asks for read rights only, so a user who may not write the key (HKLM
        // without administrator rights) still sees what is stored there.
        key.open(hRootKey, BuildKeyPath(strBasePath, strAppName, strSection, ""),
                 platform::kKeyQueryValue);
        RegValue value;
        std::uint32_t type = 0;
        ReadRegValue(ra, key.get(), strKey, value, type);
        return isEmpty(value) ? vDefault : value;
    } catch (const std::exception&) {
        return vDefault;
    }
}

bool SaveRegSetting(RegAccess ra, const std::string& strAppName, const std::string& strSection,
                    const std::string& strKey, const std::string& strSetting,
                    platform::Handle hRootKey, const std::string& strBasePath) {
    try {
        RegKey key(ra.reg);
        // Success only when the value was stored: a refused create or write is reported.
        if (key.create(hRootKey, BuildKeyPath(strBasePath, strAppName, strSection, ""),
                       platform::kKeyAll3F) != platform::kRegOk)
            return false;
        return WriteRegValue(ra, key.get(), strKey, platform::kRegSz, strSetting) ==
               platform::kRegOk;
    } catch (const std::exception&) {
        return false;
    }
}

bool DeleteRegSetting(RegAccess ra, const std::string& strAppName, const std::string& strSection,
                      const std::string& strKey, platform::Handle hRootKey,
                      const std::string& strBasePath) {
    try {
        const std::string path = BuildKeyPath(strBasePath, strAppName, strSection, "");
        if (strKey.empty()) return deleteTree(ra, hRootKey, path);
        RegKey key(ra.reg);
        key.create(hRootKey, path, platform::kKeyAll3F);
        return ra.reg.deleteValue(key.get(), strKey) == platform::kRegOk;
    } catch (const std::exception&) {
        return false;
    }
}

SubKeyList EnumSubKeys(RegAccess ra, const std::string& strRootKeyName,
                       const std::string& strKeyPath, bool bFillFlags) {
    SubKeyList list;
    const std::string path = BuildKeyPath(strKeyPath, "", "", "");
    const platform::Handle root = GetRootKey(strRootKeyName);
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        long status;
        {
            RegKey key(ra.reg);
            key.open(root, path, platform::kKeyRead);
            status = ra.reg.enumKey(key.get(), index, name, kSubKeyNameChars);
        }
        if (status != platform::kRegOk) break;
        if (bFillFlags)
            list.hasSubKeys.push_back(
                hasSubKeys(ra, root, path.empty() ? name : path + "\\" + name));
        list.names.push_back(name);
    }
    return list;
}

std::string GetServiceImagePath(RegAccess ra, const std::string& strServiceName) {
    return RegValueText(GetRegSetting(ra, strServiceName, "", "ImagePath", std::string(kNothing),
                                      platform::kHkeyLocalMachine, kServicesPath));
}

bool IsServiceRegistered(RegAccess ra, const std::string& strServiceName) {
    return GetServiceImagePath(ra, strServiceName) != kNothing;
}

}  // namespace oapanel
