#include "environment/env_store.h"

#include "base/text.h"
#include "registry/Registry.h"
#include "registry/registry_values.h"
#include "registry/reg_key.h"

namespace oapanel {

namespace {

const char kSessionManager[] = "Session Manager";
const char kSystemEnvironmentKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kEnvironment[] = "Environment";

// The type the user's PATH is stored with now (REG_SZ when it is missing or unreadable).
std::uint32_t UserPathType(platform::Platform& os) {
    RegKey key(os.registry());
    std::uint32_t type = platform::kRegSz, size = 0;
    if (key.open(platform::kHkeyCurrentUser, kEnvironment, platform::kKeyQueryValue) != 0 ||
        os.registry().queryValue(key.get(), "PATH", &type, nullptr, size) != 0)
        return platform::kRegSz;
    return type;
}

// Writes the user's PATH with the type it already has: a PATH of REG_EXPAND_SZ holds
// %references% that must keep expanding.
void SaveUserPath(platform::Platform& os, const std::string& strPath, std::uint32_t type) {
    if (type != platform::kRegExpandSz) {
        SaveRegSetting(os, "", kEnvironment, "PATH", strPath, platform::kHkeyCurrentUser, "");
        return;
    }
    RegKey key(os.registry());
    if (key.create(platform::kHkeyCurrentUser, kEnvironment, platform::kKeyAll3F) != 0) return;
    try {
        WriteRegValue(os, key.get(), "PATH", platform::kRegExpandSz, RegValue{strPath});
    } catch (const RegInternalFailure&) {
        // Too long for the registry module: the PATH stays as it was.
    }
}

// This process's PATH gains the folder; its other entries (the system folders among them)
// stay, so "net" and "sc" are still found by the commands started afterwards.
void AddToProcessPath(platform::Platform& os, const std::string& strFolder) {
    std::string current;
    os.environment().getVariable("PATH", current);
    std::string entry;
    for (std::size_t i = 0; i <= current.size(); ++i) {
        if (i == current.size() || current[i] == ';') {
            if (EqualsIgnoringCase(entry, strFolder)) return;
            entry.clear();
        } else {
            entry += current[i];
        }
    }
    if (!current.empty() && current.back() != ';') current += ';';
    os.environment().setVariable("PATH", current + strFolder);
}

}  // namespace

std::string GetSystemEnv(platform::Platform& os, const std::string& strName) {
    return RegValueText(GetRegSetting(os, kSessionManager, kEnvironment, strName, std::string(),
                                      platform::kHkeyLocalMachine,
                                      "System\\CurrentControlSet\\Control"));
}

void StoreSystemVariable(platform::Platform& os, const std::string& strName,
                         const std::string& strValue) {
    Registry reg(os);
    // The address and the type first: assigning `value` is what writes.
    reg.ClassKey(AsClassKey(platform::kHkeyLocalMachine));
    reg.SectionKey(kSystemEnvironmentKey);
    reg.ValueKey(strName);
    reg.ValueType(static_cast<std::int32_t>(platform::kRegSz));
    reg.value(strValue);
}

bool SetSystemEnv(platform::Platform& os, const std::string& strName, const std::string& strValue) {
    bool stored = true;
    try {
        StoreSystemVariable(os, strName, strValue);
    } catch (const RegistryError&) {
        stored = false;
    }
    os.environment().setVariable(strName, strValue);
    return stored;
}

std::string GetUserEnv(platform::Platform& os, const std::string& strName) {
    return RegValueText(GetRegSetting(os, "", kEnvironment, strName, std::string(),
                                      platform::kHkeyCurrentUser, ""));
}

void SetUserEnv(platform::Platform& os, const std::string& strName, const std::string& strValue) {
    SaveRegSetting(os, "", kEnvironment, strName, strValue, platform::kHkeyCurrentUser, "");
    os.environment().setVariable(strName, strValue);
}

void AddToUserPath(platform::Platform& os, const std::string& strFolder) {
    std::string folder = TrimBlanks(strFolder);
    if (folder.empty()) return;
    // A PATH of another type is not ours to read as text: rewritten, it would be lost.
    const std::uint32_t type = UserPathType(os);
    if (type != platform::kRegSz && type != platform::kRegExpandSz) {
        AddToProcessPath(os, folder);
        return;
    }
    const std::string current = GetUserEnv(os, "PATH");
    std::string path;
    if (current.empty()) {
        path = folder;
    } else {
        if (!folder.empty() && folder.front() == ';') folder.erase(0, 1);
        if (!folder.empty() && folder.back() == ';') folder.pop_back();
        if (ContainsIgnoringCase(current, folder)) return;
        path = current.back() == ';' ? current + folder : current + ";" + folder;
    }
    SaveUserPath(os, path, type);
    AddToProcessPath(os, folder);
}

void BroadcastEnvironmentChange(platform::Platform& os) {
    os.environment().broadcastSettingChange(kEnvironment, 5000);
}

}  // namespace oapanel
