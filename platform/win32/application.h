#pragma once

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace win32 {

class Application : public platform::Application {
public:
    explicit Application(HINSTANCE instance) : instance_(instance) {}

    std::string appPath() override;
    std::string appTitle() override;
    std::string exeName() override;
    platform::VersionInfo version() override;
    bool previousInstanceRunning() override;
    std::string resourceString(int id) override;
    int messageBox(const std::string& text, std::uint32_t style, const std::string& title) override;
    [[noreturn]] void endProcess(std::uint32_t exitCode) override;
    std::string systemMessage(std::uint32_t code) override;
    bool elevated() override;

private:
    std::wstring modulePath();

    HINSTANCE instance_;
    KernelHandle instanceMutex_;  // held for the life of the process
};

class Clock : public platform::Clock {
public:
    platform::LocalTime localTime() override;
    double monotonicSeconds() override;
    std::int64_t epochSeconds() override;
    platform::LocalTime localTimeOf(std::int64_t epochSeconds) override;
};

}  // namespace win32
