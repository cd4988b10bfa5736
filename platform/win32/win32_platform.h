// The real machine: every platform interface backed by Windows.
#pragma once

#include "platform/platform.h"
#include "platform/win32/application.h"
#include "platform/win32/service_manager.h"
#include "platform/win32/window_system.h"

namespace win32 {

class Platform : public platform::Platform {
public:
    explicit Platform(HINSTANCE instance) : app_(instance), windows_(instance) {}

    platform::Application& app() override { return app_; }
    platform::Clock& clock() override { return clock_; }
    platform::ServiceManager& services() override { return services_; }
    platform::WindowSystem& windows() override { return windows_; }
    WindowSystem& window() { return windows_; }

private:
    Application app_;
    Clock clock_;
    ServiceManager services_;
    WindowSystem windows_;
};

}  // namespace win32
