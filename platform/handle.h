// A handle as the platform hands it out: an opaque value, 0 for "none".
#pragma once

#include <cstdint>

namespace platform {

using Handle = std::uintptr_t;

}  // namespace platform
