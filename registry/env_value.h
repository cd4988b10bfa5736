// Writing a system environment variable through the Registry class.
#pragma once

#include <string>

#include "platform/platform.h"

namespace oapanel {

// Stores strValue as the system variable strName (REG_EXPAND_SZ when it holds a %reference%,
// else REG_SZ), creating the key when missing, then tells the running programs. The process's
// own environment is left as it is. A RegistryError from the write reaches the caller, and no
// broadcast is made then.
void addEnvValue(platform::Platform& os, const std::string& strName, const std::string& strValue);

}  // namespace oapanel
