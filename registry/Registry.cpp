// The Registry class: its address, the key-level operations, the temporary-address forms
// and the enumerations.
#include "registry/Registry.h"

#include "registry/reg_key.h"

namespace oapanel {

namespace {

// RegEnumKeyA's buffer for one sub-key name in EnumerateSections.
constexpr std::uint32_t kSectionNameChars = 255;

}  // namespace

Registry::Registry(platform::Platform& os)
    : Registry(os.registry(), os.codec(), os.environment(), os.app().exeName()) {}

Registry::Registry(platform::Registry& reg, platform::TextCodec& codec, platform::Environment& env,
                   const std::string& exeName)
    : reg_(reg), codec_(codec), env_(env), source_(exeName + ".cRegistry") {}

platform::Handle Registry::root() const {
    return static_cast<platform::Handle>(static_cast<std::uint32_t>(classKey_));
}

std::string Registry::keyText() const { return std::to_string(classKey_); }

void Registry::raise(std::int32_t number, const std::string& description) const {
    throw RegistryError(number, source_, description);
}

bool Registry::KeyExists() {
    RegKey key(reg_);
    return key.open(root(), sectionKey_, platform::kKeyQueryValue) == platform::kRegOk;
}

bool Registry::CreateKey() {
    RegKey key(reg_);
    if (key.create(root(), sectionKey_, platform::kKeyAll3F) != platform::kRegOk)
        raise(kErrRegistry, "Failed to create registry Key: '" + sectionKey_);
    return true;
}

bool Registry::DeleteKey() {
    if (reg_.deleteKey(root(), sectionKey_) != platform::kRegOk)
        raise(kErrRegistry,
              "Failed to delete registry Key: '" + keyText() + "',Section: '" + sectionKey_);
    return true;
}

bool Registry::DeleteValue() {
    RegKey key(reg_);
    if (key.open(root(), sectionKey_, platform::kKeyAll3F) != platform::kRegOk)
        raise(kErrRegistry, "Failed to open key '" + keyText() + "',Section: '" + sectionKey_ +
                                "' for delete access");
    if (reg_.deleteValue(key.get(), valueKey_) != platform::kRegOk)
        raise(kErrRegistry, "Failed to delete registry Key: '" + keyText() + "',Section: '" +
                                sectionKey_ + "',Key: '" + valueKey_);
    return true;
}

Variant Registry::ReadKey(const std::string& sValueKey, const std::string& sSectionKey,
                          std::int32_t lClassKey, const std::optional<Variant>& vDefault) {
    const auto oldValueKey = valueKey_;
    const auto oldSectionKey = sectionKey_;
    const auto oldClassKey = classKey_;
    const auto oldDefault = default_;
    if (!sValueKey.empty()) valueKey_ = sValueKey;
    if (!sSectionKey.empty()) sectionKey_ = sSectionKey;
    if (lClassKey != 0) classKey_ = lClassKey;
    if (vDefault) default_ = *vDefault;

    Variant result = value();

    if (!sValueKey.empty()) valueKey_ = oldValueKey;
    if (!sSectionKey.empty()) sectionKey_ = oldSectionKey;
    if (lClassKey != 0) classKey_ = oldClassKey;
    if (vDefault) default_ = oldDefault;
    return result;
}

void Registry::WriteKey(const Variant& vValue, const std::string& sValueKey,
                        const std::string& sSectionKey, std::int32_t lClassKey) {
    const auto oldValueKey = valueKey_;
    const auto oldSectionKey = sectionKey_;
    const auto oldClassKey = classKey_;
    if (!sValueKey.empty()) valueKey_ = sValueKey;
    if (!sSectionKey.empty()) sectionKey_ = sSectionKey;
    if (lClassKey != 0) classKey_ = lClassKey;

    value(vValue);  // a raised error leaves the temporary address in place

    if (!sValueKey.empty()) valueKey_ = oldValueKey;
    if (!sSectionKey.empty()) sectionKey_ = oldSectionKey;
    if (lClassKey != 0) classKey_ = oldClassKey;
}

bool Registry::EnumerateValues(std::vector<std::string>& sKeyNames, std::int32_t& iKeyCount) {
    sKeyNames.clear();
    iKeyCount = 0;
    RegKey key(reg_);
    platform::KeyInfo info;
    if (key.open(root(), sectionKey_, platform::kKeyQueryValue) != platform::kRegOk ||
        reg_.queryInfoKey(key.get(), info) != platform::kRegOk)
        return true;
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        if (reg_.enumValue(key.get(), index, name, type, data) != platform::kRegOk) break;
        sKeyNames.push_back(name);
        ++iKeyCount;
    }
    return true;
}

bool Registry::EnumerateSections(std::vector<std::string>& sSect, std::int32_t& iSectCount) {
    sSect.clear();
    iSectCount = 0;
    RegKey key(reg_);
    try {
        if (key.open(root(), sectionKey_, platform::kKeyEnumerateSubKeys) != platform::kRegOk)
            return true;
        for (std::uint32_t index = 0;; ++index) {
            std::string name;
            if (reg_.enumKey(key.get(), index, name, kSectionNameChars) != platform::kRegOk) break;
            sSect.push_back(name);
            ++iSectCount;
        }
        return true;
    } catch (const std::exception& e) {
        key.close();
        raise(kErrEnumerateSections, e.what());
    }
}

}  // namespace oapanel
