// An open registry key owned by the operation that opened it: closed in the destructor, so
// every return and every error path of the operation leaves no key behind.
#pragma once

#include <string>
#include <utility>

#include "platform/registry.h"

namespace oapanel {

class RegKey {
public:
    explicit RegKey(platform::Registry& reg) : reg_(reg) {}
    ~RegKey() { close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // RegOpenKeyExA / RegCreateKeyExA into this owner; the status is the platform's.
    long open(platform::Handle root, const std::string& path, std::uint32_t access) {
        close();
        return reg_.openKey(root, path, access, h_);
    }
    long create(platform::Handle root, const std::string& path, std::uint32_t access) {
        close();
        return reg_.createKey(root, path, access, h_);
    }

    platform::Handle get() const { return h_; }
    bool isOpen() const { return h_ != 0; }

    // A failed open leaves no handle, and there is nothing to give back then.
    void close() {
        if (h_ != 0) reg_.closeKey(std::exchange(h_, 0));
    }

private:
    platform::Registry& reg_;
    platform::Handle h_ = 0;
};

}  // namespace oapanel
