#pragma once

#include <windows.h>

#include <map>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/libraries.h"

namespace win32 {

// Mirrors the program's form model into a real top-level window with child controls, and
// turns the window's messages into the program's form events.
class WindowSystem : public platform::WindowSystem {
public:
    explicit WindowSystem(HINSTANCE instance);
    ~WindowSystem() override;

    std::uint32_t createForm(platform::FormModel& model, platform::FormEvents& events) override;
    bool quitting() override { return quitting_; }
    void controlChanged(int controlId, platform::Change what) override;
    void listAdded(int controlId) override;
    void listReplaced(int controlId, int index) override;
    void listRemovedFirst(int controlId) override;
    void pumpEvents() override;
    void waitForEvents(std::uint32_t maxMs) override;
    platform::Handle extractIcon(const std::string& exePath, int index) override;
    void setSmallIcon(platform::Handle icon) override;
    void destroyIcon(platform::Handle icon) override;

    // The message the tray icon's mouse actions arrive with; lParam carries the mouse message.
    static constexpr UINT kTrayMessage = WM_APP + 1;

    int run() override;
    HWND mainWindow() const { return hwnd_; }

private:
    void allowTaskbarCreated();
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam);
    bool translate(MSG& msg);
    void onCommand(int id, int code);
    void onSize(WPARAM kind);
    bool onSetCursor(HWND over, UINT hitTest, UINT mouseMessage);
    void close(int reason);

    void createControl(platform::Control& c);
    void applyGeometry(platform::Control& c);
    void applyTimer(const platform::Control& c);
    void applySelection(const platform::Control& c);
    void applyFont(const platform::Control& c);
    LRESULT colorStatic(HDC dc, HWND control);
    HWND child(int id) const;
    int toPixels(int twips) const;
    int toTwips(int pixels) const;

    template <typename F>
    void guarded(F&& f);

    HINSTANCE instance_;
    Library commonControls_;
    HWND hwnd_ = nullptr;
    platform::FormModel* model_ = nullptr;
    platform::FormEvents* events_ = nullptr;
    Font font_;
    int dpi_ = 96;
    bool unloaded_ = false;
    bool quitting_ = false;  // WM_QUIT seen, or the session is ending
    int exitCode_ = 0;
    UINT taskbarCreated_ = 0;
    std::map<int, HWND> children_;
    std::map<int, Font> controlFonts_;  // controls with a font of their own
    int pointerControl_ = 0;            // the control whose pointer the program set
};

}  // namespace win32
