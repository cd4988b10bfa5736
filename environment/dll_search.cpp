#include "environment/dll_search.h"

namespace oapanel {

void CloseDllSearchPath(platform::Libraries& libraries) {
    libraries.setDllDirectory("");
    if (libraries.setDefaultDllDirectories(platform::kLoadLibrarySearchSystem32)) return;
    for (const char* name : kPreloadedDlls) libraries.loadSystemLibrary(name);
}

}  // namespace oapanel
