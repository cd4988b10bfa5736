#pragma once

#include "platform/platform.h"

namespace win32 {

// Files through kernel32, opened and closed around every call; folder rights through advapi32.
class Files : public platform::Files {
public:
    platform::FileResult appendFile(const std::string& path, const std::string& bytes,
                                    std::size_t& written) override;
    std::int64_t fileSize(const std::string& path) override;
    platform::FileResult replaceFile(const std::string& from, const std::string& to) override;
    bool fileExists(const std::string& path) override;
    bool listFolder(const std::string& folder, std::vector<std::string>& names) override;
    bool readFile(const std::string& path, std::int64_t offset, std::size_t count,
                  std::string& bytes) override;
    bool fileIdentity(const std::string& path, platform::FileIdentity& identity) override;
    bool folderAccess(const std::string& path, platform::AccessList& list) override;
};

}  // namespace win32
