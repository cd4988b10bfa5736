// System and user environment variables where Windows keeps them, mirrored into this
// process so the commands it starts afterwards see them too.
#pragma once

#include <string>

#include "platform/platform.h"

namespace oapanel {

std::string GetSystemEnv(platform::Platform& os, const std::string& strName);
// Writes the system variable (REG_EXPAND_SZ when it holds a %reference%, else REG_SZ) through
// the Registry class; a refused write raises its RegistryError. The process keeps its own.
void StoreSystemVariable(platform::Platform& os, const std::string& strName,
                         const std::string& strValue);
// Stores the system variable and sets it in this process too. False when it was not stored.
bool SetSystemEnv(platform::Platform& os, const std::string& strName, const std::string& strValue);
std::string GetUserEnv(platform::Platform& os, const std::string& strName);
void SetUserEnv(platform::Platform& os, const std::string& strName, const std::string& strValue);

// Appends the folder to the user's PATH unless it is already in it. The PATH keeps the value
// type it had; a PATH that is neither REG_SZ nor REG_EXPAND_SZ is left untouched. This
// process's own PATH gains the folder either way.
void AddToUserPath(platform::Platform& os, const std::string& strFolder);

// Tells every top-level window that the environment changed.
void BroadcastEnvironmentChange(platform::Platform& os);

}  // namespace oapanel
