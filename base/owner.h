// A value the platform handed out, owned: given back through its source's release call when the
// owner goes, on every path, and exactly once. Move-only. The backend has its own owners of
// Windows' handles (platform/win32/handles.h); this one is for the program's side of the line.
#pragma once

#include <cstdint>
#include <utility>

namespace oapanel {

// Source: the platform interface that handed the value out; Release: its member that gives
// it back; None: the value that holds nothing.
template <typename Source, auto Release, typename Value = std::uintptr_t, Value None = Value{}>
class Owner {
public:
    Owner() = default;
    Owner(Source& source, Value value) : source_(&source), value_(value) {}
    Owner(Owner&& o) noexcept : source_(o.source_), value_(std::exchange(o.value_, None)) {}
    Owner& operator=(Owner&& o) noexcept {
        if (this != &o) {
            reset();
            source_ = o.source_;
            value_ = std::exchange(o.value_, None);
        }
        return *this;
    }
    ~Owner() { reset(); }

    Value get() const { return value_; }
    explicit operator bool() const { return value_ != None; }
    void reset() {
        if (value_ != None && source_) (source_->*Release)(std::exchange(value_, None));
    }

private:
    Source* source_ = nullptr;
    Value value_ = None;
};

}  // namespace oapanel
