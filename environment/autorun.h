// The panel's entry in the Windows Run key, so that Windows starts it at log-on.
#pragma once

#include <string>

#include "platform/platform.h"
#include "registry/registry_values.h"

namespace oapanel {

// Writes the entry under the root key: a REG_SZ named after the application title holding
// the full path of the running executable, unquoted, then the argument text after a blank
// when there is one. An existing value of that name is overwritten.
void SetAutoRun(RegAccess ra, platform::Application& app, const std::string& strArgument,
                platform::Handle hRootKey);

// Deletes the entry under the root key; nothing happens when it is not there.
void RemoveAutoRun(RegAccess ra, platform::Application& app, platform::Handle hRootKey);

}  // namespace oapanel
