#include "services/process_detection.h"

#include "base/text.h"

namespace oapanel {

bool CheckApplicationIsRun(platform::Processes& processes, const std::string& szExeFileName) {
    // The whole name must match: a process merely called "d2.exe", or one without a
    // description, is not the database server. The search stops at the match, so a failure
    // further down the list cannot take it back.
    bool found = false;
    processes.enumerateProcessDescriptions([&](const std::string& description) {
        found = EqualsIgnoringCase(description, szExeFileName);
        return !found;
    });
    return found;
}

}  // namespace oapanel
