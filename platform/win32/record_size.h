// The size a system record has on each processor, as the SDK and Microsoft's documentation
// give it. The backend asserts it next to each record it fills or hands to the system, so a
// header, packing or API-level change that alters a layout fails the build of that target
// (the 32-bit one is built and checked here, though never run).
#pragma once

#include <cstddef>

namespace win32 {

constexpr std::size_t recordSize([[maybe_unused]] std::size_t x86,
                                 [[maybe_unused]] std::size_t x64) {
#ifdef _WIN64
    return x64;
#else
    return x86;
#endif
}

}  // namespace win32
