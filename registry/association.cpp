// File-type registration by the Registry class: every entry goes under HKEY_CLASSES_ROOT and
// again under HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
#include "base/text.h"
#include "registry/Registry.h"

namespace oapanel {

namespace {

const char kOpenSuffix[] = " \"%1\"";
const char kPrintSuffix[] = " /p \"%1\"";
const char kInstallSuffix[] = " /a \"%1\"";
const char kNewSuffix[] = " /n \"%1\"";

// Trimmed of spaces, then wrapped in double quotes where it is not already, so a path with
// blanks stays one argument of the shell's command line.
std::string quotedPath(const std::string& path) {
    std::string exe = TrimBlanks(path);
    if (exe.empty() || exe.front() != '"') exe.insert(exe.begin(), '"');
    if (exe.back() != '"') exe += '"';
    return exe;
}

std::string orDefault(const std::string& text, const std::string& fallback) {
    return text.empty() ? fallback : text;
}

}  // namespace

void Registry::SetClassesValue(const std::string& sValue) {
    classKey_ = AsClassKey(platform::kHkeyClassesRoot);
    value(sValue);
    const std::string section = sectionKey_;
    classKey_ = AsClassKey(platform::kHkeyLocalMachine);
    sectionKey_ = "SOFTWARE\\Classes\\" + section;
    value(sValue);
    sectionKey_ = section;
}

void Registry::writeVerb(const std::string& sClassName, const std::string& verb,
                         const std::string& text, const std::string& command) {
    sectionKey_ = sClassName + "\\shell\\" + verb;
    valueKey_.clear();
    SetClassesValue(text);
    sectionKey_ = sClassName + "\\shell\\" + verb + "\\command";
    valueKey_.clear();
    SetClassesValue(command);
}

void Registry::CreateEXEAssociation(const std::string& sExePath, const std::string& sClassName,
                                    const std::string& sClassDescription,
                                    const std::string& sAssociation,
                                    const std::string& sOpenMenuText, bool bSupportPrint,
                                    const std::string& sPrintMenuText, bool bSupportNew,
                                    const std::string& sNewMenuText, bool bSupportInstall,
                                    const std::string& sInstallMenuText,
                                    std::int32_t lDefaultIconIndex) {
    const std::string exe = quotedPath(sExePath);

    sectionKey_ = "." + sAssociation;
    valueType_ = static_cast<std::int32_t>(platform::kRegSz);
    valueKey_.clear();
    SetClassesValue(sClassName);
    sectionKey_ = sClassName;
    SetClassesValue(sClassDescription);

    writeVerb(sClassName, "open", orDefault(sOpenMenuText, "&Open"), exe + kOpenSuffix);
    if (bSupportPrint)
        writeVerb(sClassName, "print", orDefault(sPrintMenuText, "&Print"), exe + kPrintSuffix);
    if (bSupportInstall)
        writeVerb(sClassName, "add", orDefault(sInstallMenuText, "&Install " + sAssociation),
                  exe + kInstallSuffix);
    if (bSupportNew)
        writeVerb(sClassName, "new", orDefault(sNewMenuText, "&New"), exe + kNewSuffix);

    if (lDefaultIconIndex >= 0) {
        sectionKey_ = sClassName + "\\DefaultIcon";
        valueKey_.clear();
        SetClassesValue(exe + "," + std::to_string(lDefaultIconIndex));
    }
}

std::optional<RegistryError> Registry::CreateAdditionalEXEAssociations(
    const std::string& sClassName, const std::vector<Variant>& vItems) {
    if (vItems.size() % 3 != 0)
        return RegistryError(kErrAssociationItems, source_,
                             "Invalid parameter list passed to CreateAdditionalEXEAssociations - "
                             "expected Name/Text/Command");
    sectionKey_ = sClassName;
    // Tested under whatever root the object holds now; this operation does not choose one.
    if (!KeyExists())
        return RegistryError(kErrAssociationNoClass, source_,
                             "Error - attempt to create additional associations before class "
                             "defined.");

    // Each entry is tried on its own: one that cannot be written does not stop the rest.
    const auto attempt = [this](const std::string& text) {
        try {
            SetClassesValue(text);
        } catch (const RegistryError&) {
        }
    };
    for (std::size_t i = 0; i + 2 < vItems.size(); i += 3) {
        const std::string name = VariantText(vItems[i]);
        valueType_ = static_cast<std::int32_t>(platform::kRegSz);
        sectionKey_ = sClassName + "\\shell\\" + name;
        valueKey_.clear();
        attempt(VariantText(vItems[i + 1]));
        sectionKey_ = sClassName + "\\shell\\" + name + "\\command";
        valueKey_.clear();
        attempt(VariantText(vItems[i + 2]));
    }
    return std::nullopt;
}

}  // namespace oapanel
