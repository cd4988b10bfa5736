#include "services/process_detection.h"

#include <algorithm>
#include <vector>

#include "base/text.h"

namespace oapanel {

bool CheckApplicationIsRun(platform::Processes& processes, const std::string& szExeFileName) {
    std::vector<std::string> descriptions;
    if (!processes.processDescriptions(descriptions)) return false;
    // The whole name must match: a process merely called "d2.exe", or one without a
    // description, is not the database server.
    return std::any_of(descriptions.begin(), descriptions.end(),
                       [&](const std::string& d) { return EqualsIgnoringCase(d, szExeFileName); });
}

}  // namespace oapanel
