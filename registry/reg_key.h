// An open registry key owned by the operation that opened it: closed in the destructor, so
// every return and every error path of the operation leaves no key behind.
#pragma once

#include <string>

#include "base/owner.h"
#include "platform/registry.h"

namespace oapanel {

class RegKey {
public:
    explicit RegKey(platform::Registry& reg) : reg_(reg) {}

    // RegOpenKeyExA / RegCreateKeyExA into this owner; the status is the platform's. A failed
    // open leaves no handle, and nothing to give back.
    long open(platform::Handle root, const std::string& path, std::uint32_t access) {
        close();
        platform::Handle key = 0;
        const long status = reg_.openKey(root, path, access, key);
        key_ = Key(reg_, key);
        return status;
    }
    long create(platform::Handle root, const std::string& path, std::uint32_t access) {
        close();
        platform::Handle key = 0;
        const long status = reg_.createKey(root, path, access, key);
        key_ = Key(reg_, key);
        return status;
    }

    platform::Handle get() const { return key_.get(); }
    bool isOpen() const { return static_cast<bool>(key_); }
    void close() { key_.reset(); }

private:
    using Key = Owner<platform::Registry, &platform::Registry::closeKey>;
    platform::Registry& reg_;
    Key key_;
};

}  // namespace oapanel
