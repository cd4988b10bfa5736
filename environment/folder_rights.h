// Whether ordinary users may change the application folder. The servers in it run as the
// system account, so whoever can change their programs there owns the machine.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace oapanel {

// True when the folder's access list lets Everyone, Authenticated Users, Users or INTERACTIVE
// write, add, delete or take over what is in it (or there is no list at all).
bool OrdinaryUsersMayChange(const platform::AccessList& list);

// The line that says so for this folder; nothing when it is closed to them, or its list
// cannot be read.
std::optional<std::string> OpenFolderWarning(platform::Files& files, const std::string& folder);

}  // namespace oapanel
