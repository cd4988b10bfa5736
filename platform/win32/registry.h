// The registry through advapi32's ANSI functions, and the system ANSI code page.
#pragma once

#include "platform/registry.h"

namespace win32 {

class Registry : public platform::Registry {
public:
    long openKey(platform::Handle root, const std::string& path, std::uint32_t access,
                 platform::Handle& key) override;
    long createKey(platform::Handle root, const std::string& path, std::uint32_t access,
                   platform::Handle& key) override;
    long queryValue(platform::Handle key, const std::string& name, std::uint32_t* type,
                    std::vector<std::uint8_t>* data, std::uint32_t& size) override;
    long setValue(platform::Handle key, const std::string& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) override;
    long deleteValue(platform::Handle key, const std::string& name) override;
    long deleteKey(platform::Handle root, const std::string& path) override;
    long enumKey(platform::Handle key, std::uint32_t index, std::string& name,
                 std::uint32_t bufferChars) override;
    long enumValue(platform::Handle key, std::uint32_t index, std::string& name,
                   std::uint32_t& type, std::vector<std::uint8_t>& data) override;
    long queryInfoKey(platform::Handle key, platform::KeyInfo& info) override;
    long closeKey(platform::Handle key) override;
};

// CP_ACP, the code page of every "A" function.
class TextCodec : public platform::TextCodec {
public:
    std::string toAnsi(const std::string& utf8) override;
    std::string fromAnsi(const std::string& ansi) override;
};

}  // namespace win32
