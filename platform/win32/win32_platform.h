// The real machine: every platform interface backed by Windows.
#pragma once

#include "platform/platform.h"
#include "platform/win32/application.h"
#include "platform/win32/environment.h"
#include "platform/win32/event_log.h"
#include "platform/win32/files.h"
#include "platform/win32/libraries.h"
#include "platform/win32/network.h"
#include "platform/win32/processes.h"
#include "platform/win32/registry.h"
#include "platform/win32/service_manager.h"
#include "platform/win32/shell.h"
#include "platform/win32/window_system.h"

namespace win32 {

class Platform : public platform::Platform {
public:
    // The libraries come first and outlive the machine: the DLL search path is closed through
    // them before the machine is made, since making it loads DLLs.
    Platform(HINSTANCE instance, Libraries& libraries)
        : libraries_(libraries),
          app_(instance),
          windows_(instance),
          shell_(instance, windows_),
          sockets_(libraries) {}

    platform::Application& app() override { return app_; }
    platform::Clock& clock() override { return clock_; }
    platform::ServiceManager& services() override { return services_; }
    platform::WindowSystem& windows() override { return windows_; }
    WindowSystem& window() { return windows_; }
    platform::Shell& shell() override { return shell_; }
    platform::Processes& processes() override { return processes_; }
    platform::Environment& environment() override { return environment_; }
    platform::Registry& registry() override { return registry_; }
    platform::TextCodec& codec() override { return codec_; }
    platform::Sockets& sockets() override { return sockets_; }
    platform::Files& files() override { return files_; }
    platform::Libraries& libraries() override { return libraries_; }
    platform::EventLog& eventLog() override { return eventLog_; }

private:
    Libraries& libraries_;
    Application app_;
    Clock clock_;
    ServiceManager services_;
    WindowSystem windows_;
    Shell shell_;
    Processes processes_;
    Environment environment_;
    Registry registry_;
    TextCodec codec_;
    Sockets sockets_;
    Files files_;
    EventLog eventLog_;
};

}  // namespace win32
