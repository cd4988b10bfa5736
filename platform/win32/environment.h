#pragma once

#include "platform/processes.h"

namespace win32 {

// This process's environment through kernel32's ANSI functions, and the settings broadcast.
class Environment : public platform::Environment {
public:
    bool getVariable(const std::string& name, std::string& value) override;
    bool setVariable(const std::string& name, const std::string& value) override;
    std::string expand(const std::string& text) override;
    bool broadcastSettingChange(const std::string& area, std::uint32_t timeoutMs) override;
};

}  // namespace win32
