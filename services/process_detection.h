// Whether a program is among the machine's running processes.
#pragma once

#include <string>

#include "platform/processes.h"

namespace oapanel {

// True when a running process's description (its executable's file name) equals
// szExeFileName, ignoring letter case. False when the process list cannot be had before a
// match is seen.
bool CheckApplicationIsRun(platform::Processes& processes, const std::string& szExeFileName);

}  // namespace oapanel
