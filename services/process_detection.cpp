#include "services/process_detection.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace oapanel {

namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool CheckApplicationIsRun(platform::Processes& processes, const std::string& szExeFileName) {
    std::vector<std::string> descriptions;
    if (!processes.processDescriptions(descriptions)) return false;
    // The whole name must match: a process merely called "d2.exe", or one without a
    // description, is not the database server.
    return std::any_of(descriptions.begin(), descriptions.end(),
                       [&](const std::string& d) { return equalsIgnoringCase(d, szExeFileName); });
}

}  // namespace oapanel
