// Small move-only owners of Windows handles: each closes its handle in its destructor.
#pragma once

#include <windows.h>

#include <utility>

namespace win32 {

template <typename T, typename Closer>
class Owned {
public:
    Owned() = default;
    explicit Owned(T h) : h_(h) {}
    Owned(Owned&& o) noexcept : h_(std::exchange(o.h_, T{})) {}
    Owned& operator=(Owned&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, T{}));
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    T get() const { return h_; }
    explicit operator bool() const { return h_ != T{}; }
    T release() { return std::exchange(h_, T{}); }
    void reset(T h = T{}) {
        if (h_ != T{}) Closer{}(h_);
        h_ = h;
    }

private:
    T h_{};
};

struct CloseKernelHandle {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct DeleteGdiObject {
    void operator()(HGDIOBJ h) const { ::DeleteObject(h); }
};
struct DestroyIconHandle {
    void operator()(HICON h) const { ::DestroyIcon(h); }
};
struct DestroyMenuHandle {
    void operator()(HMENU h) const { ::DestroyMenu(h); }
};
struct DestroyWindowHandle {
    void operator()(HWND h) const { ::DestroyWindow(h); }
};
struct FreeLocalMemory {
    void operator()(void* p) const { ::LocalFree(p); }
};

using KernelHandle = Owned<HANDLE, CloseKernelHandle>;
using Font = Owned<HFONT, DeleteGdiObject>;
using Icon = Owned<HICON, DestroyIconHandle>;
using Menu = Owned<HMENU, DestroyMenuHandle>;
using Window = Owned<HWND, DestroyWindowHandle>;
using LocalMemory = Owned<void*, FreeLocalMemory>;

// Releases the DC of a window.
class WindowDC {
public:
    explicit WindowDC(HWND w) : w_(w), dc_(::GetDC(w)) {}
    ~WindowDC() {
        if (dc_) ::ReleaseDC(w_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND w_;
    HDC dc_;
};

}  // namespace win32
