// The main window: start-up, the activity log, and the state shown to the user.
#pragma once

#include <memory>
#include <utility>
#include <string>

#include "panel/activity_log.h"
#include "panel/form.h"
#include "platform/platform.h"

namespace oapanel {

// Owns an icon handle from the window system and destroys it when done.
class IconHandle {
public:
    IconHandle() = default;
    IconHandle(platform::WindowSystem& ws, platform::Handle h) : ws_(&ws), h_(h) {}
    IconHandle(IconHandle&& o) noexcept : ws_(o.ws_), h_(std::exchange(o.h_, 0)) {}
    IconHandle& operator=(IconHandle&& o) noexcept {
        if (this != &o) {
            reset();
            ws_ = o.ws_;
            h_ = std::exchange(o.h_, 0);
        }
        return *this;
    }
    ~IconHandle() { reset(); }
    platform::Handle get() const { return h_; }

private:
    void reset() {
        if (h_ && ws_) ws_->destroyIcon(h_);
        h_ = 0;
    }
    platform::WindowSystem* ws_ = nullptr;
    platform::Handle h_ = 0;
};

class frmMain : public platform::FormEvents {
public:
    explicit frmMain(platform::Platform& os);

    Form& form() { return form_; }
    ActivityLog& log() { return log_; }

    // Form-level state.
    std::string strAppPath;
    bool bTomcatRunning = false;
    bool bMysqlRunning = false;
    bool bAdvanced = false;

    // Event handlers.
    void Form_Load();

    // Public procedures.
    void SetWindowIcon(std::string& FileName, int IconIndex);

    // platform::FormEvents
    void onLoad() override { Form_Load(); }
    void onResize() override {}
    bool onQueryUnload(int) override { return false; }
    void onUnload() override {}
    void onClick(int controlId) override;
    void onTimer(int) override {}
    void onListSelect(int controlId, int index) override;

private:
    void RefuseSecondInstance();
    void SetTitle();
    void ShowWebContainerState();

    platform::Platform& os_;
    Form form_;
    ActivityLog log_;
    IconHandle windowIcon_;
};

// "oapanel - V1.6.9": major, minor and the revision (the fourth number of the version block).
std::string WindowTitle(const platform::VersionInfo& v);

}  // namespace oapanel
