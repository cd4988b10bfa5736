#pragma once

#include "platform/platform.h"

namespace win32 {

// The panel's log file through kernel32, opened and closed around every write.
class Files : public platform::Files {
public:
    bool appendFile(const std::string& path, const std::string& bytes) override;
    std::int64_t fileSize(const std::string& path) override;
    bool replaceFile(const std::string& from, const std::string& to) override;
};

}  // namespace win32
