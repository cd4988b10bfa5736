// Whether the runtime folder can be used by the bundle's installers and by Java.
#pragma once

#include <string>

#include "platform/registry.h"

namespace oapanel {

// Why the runtime folder cannot be used, as the user is told; empty when it can be.
// Blanks and characters outside the ANSI single-byte range break the installers' unquoted
// command lines, and so do the characters cmd.exe reads as operators or expansions.
std::string FolderProblem(platform::TextCodec& codec, const std::string& strRuntime);

}  // namespace oapanel
