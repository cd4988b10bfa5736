// The registry class: an object addresses one registry value through its fields (root key,
// key path, value name) and reads or writes it through `value`, converting by the value's
// type. Failures are raised as RegistryError with a number, a source and a description.
// No key stays open between calls: each member opens what it needs and closes it again,
// also when it raises.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "registry/variant.h"

namespace oapanel {

// Error numbers: the plain registry failure, the run-time overflow, and the class's own
// numbers above the object-error base.
inline constexpr std::int32_t kErrRegistry = 26001;
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kObjectErrorBase = static_cast<std::int32_t>(0x80040000u);
inline constexpr std::int32_t kErrWriteRefused = kObjectErrorBase + 27049;
inline constexpr std::int32_t kErrEnumerateSections = kObjectErrorBase + 27050;
inline constexpr std::int32_t kErrAssociationItems = kObjectErrorBase + 27052;
inline constexpr std::int32_t kErrAssociationNoClass = kObjectErrorBase + 27053;

class RegistryError : public std::exception {
public:
    RegistryError(std::int32_t number, std::string source, std::string description)
        : number_(number), source_(std::move(source)), description_(std::move(description)) {}

    std::int32_t number() const { return number_; }
    const std::string& source() const { return source_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

// A predefined root key as the class holds it: a signed 32-bit number.
constexpr std::int32_t AsClassKey(platform::Handle root) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(root));
}

class Registry {
public:
    // Errors name the program's executable (its file name without extension) as their source.
    explicit Registry(platform::Platform& os);
    Registry(platform::Registry& reg, platform::TextCodec& codec, platform::Environment& env,
             const std::string& exeName);

    // 1. Whether ClassKey\SectionKey can be opened for reading. Never raises.
    bool KeyExists();
    // 2. Creates (or opens) the key; true, or raises 26001.
    bool CreateKey();
    // 3. Deletes the key, which must have no sub-keys; true, or raises 26001.
    bool DeleteKey();
    // 4. Deletes the value ValueKey; true, or raises 26001.
    bool DeleteValue();
    // 5. Reads `value` at a temporary address: a non-empty name or path, a non-zero root and
    //    a given default replace the object's fields for the read, and only those are put back.
    Variant ReadKey(const std::string& sValueKey = "", const std::string& sSectionKey = "",
                    std::int32_t lClassKey = 0, const std::optional<Variant>& vDefault = {});
    // 6. Reading gives the stored value converted by its type (Default when it cannot be
    //    read) and sets ValueType to the type found. Writing creates the key when missing and
    //    stores the value by ValueType.
    Variant value();
    void value(const Variant& vValue);
    // 7. The value names of the key, in enumeration order (position i is element i - 1).
    //    Always true.
    bool EnumerateValues(std::vector<std::string>& sKeyNames, std::int32_t& iKeyCount);
    // 8. The sub-key names of the key; true, or raises 0x800469AA.
    bool EnumerateSections(std::vector<std::string>& sSect, std::int32_t& iSectCount);
    // 9. Registers a file extension with a class, its verbs and optionally its icon, under
    //    HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE\SOFTWARE\Classes. Raises on the first failed
    //    write, leaving what was written.
    void CreateEXEAssociation(const std::string& sExePath, const std::string& sClassName,
                              const std::string& sClassDescription, const std::string& sAssociation,
                              const std::string& sOpenMenuText = "&Open",
                              bool bSupportPrint = false,
                              const std::string& sPrintMenuText = "&Print",
                              bool bSupportNew = false, const std::string& sNewMenuText = "&New",
                              bool bSupportInstall = false,
                              const std::string& sInstallMenuText = "",
                              std::int32_t lDefaultIconIndex = -1);
    // 10. Adds verbs to a registered class from triples Name, Text, Command. Never raises: a
    //     list that is no set of triples, or a class key missing under the current ClassKey,
    //     comes back as the error; failed writes are skipped.
    std::optional<RegistryError> CreateAdditionalEXEAssociations(
        const std::string& sClassName, const std::vector<Variant>& vItems);
    // 11 to 15. The address, the type and the default: each only stores and returns its field.
    std::int32_t ValueType() const { return valueType_; }
    void ValueType(std::int32_t eValueType) { valueType_ = eValueType; }
    std::int32_t ClassKey() const { return classKey_; }
    void ClassKey(std::int32_t eKey) { classKey_ = eKey; }
    const std::string& SectionKey() const { return sectionKey_; }
    void SectionKey(const std::string& sSectionKey) { sectionKey_ = sSectionKey; }
    const std::string& ValueKey() const { return valueKey_; }
    void ValueKey(const std::string& sValueKey) { valueKey_ = sValueKey; }
    const Variant& Default() const { return default_; }
    void Default(const Variant& vDefault) { default_ = vDefault; }
    // 16. Writes `value` at a temporary address, as ReadKey reads. An error leaves the
    //     temporary address in the object.
    void WriteKey(const Variant& vValue, const std::string& sValueKey = "",
                  const std::string& sSectionKey = "", std::int32_t lClassKey = 0);

private:
    void SetClassesValue(const std::string& sValue);
    static std::int32_t ReverseBytes(std::int32_t n);
    std::string ExpandEnvStr(const std::string& sText);

    platform::Handle root() const;
    std::string keyText() const;  // ClassKey in signed decimal, as descriptions show it
    [[noreturn]] void raise(std::int32_t number, const std::string& description) const;
    std::string writeFailure(const Variant& vValue) const;
    long storeValue(platform::Handle key, const Variant& vValue);
    std::vector<std::uint8_t> ansiTextWithNul(const std::string& text) const;
    void writeVerb(const std::string& sClassName, const std::string& verb, const std::string& text,
                   const std::string& command);

    platform::Registry& reg_;
    platform::TextCodec& codec_;
    platform::Environment& env_;
    std::string source_;

    // The object's state, in this order.
    std::int32_t classKey_ = 0;
    std::string sectionKey_;
    std::string valueKey_;
    Variant default_;
    std::int32_t valueType_ = 0;
};

}  // namespace oapanel
