// DLLs loaded at run time. The program runs as administrator from a folder ordinary users may
// write, and Windows looks in the exe's folder first for any DLL that is not a "known DLL": so
// every such DLL comes from the system folder, by its full path, and stays loaded while this
// object lives.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace win32 {

struct FreeLibraryHandle {
    void operator()(HMODULE m) const { ::FreeLibrary(m); }
};
using Library = Owned<HMODULE, FreeLibraryHandle>;

// A function looked up at run time, as the caller's function pointer type.
template <typename F>
F lookUp(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
                  : nullptr;
}

class Libraries : public platform::Libraries {
public:
    bool setDllDirectory(const std::string& path) override;
    bool setDefaultDllDirectories(std::uint32_t flags) override;
    platform::Handle loadSystemLibrary(const std::string& name) override;
    std::string modulePath(platform::Handle library) override;
    bool hasFunction(platform::Handle library, const std::string& name) override;

    // A function of a DLL of the system folder; nullptr when the DLL or the function is
    // missing, which the caller reports as that feature's failure.
    template <typename F>
    F function(const char* dll, const char* name) {
        return lookUp<F>(reinterpret_cast<HMODULE>(loadSystemLibrary(dll)), name);
    }

private:
    std::map<std::string, Library> loaded_;  // by the name asked for
    bool restricted_ = false;  // loads by name search the system folder only
};

}  // namespace win32
