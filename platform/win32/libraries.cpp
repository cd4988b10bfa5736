#include "platform/win32/libraries.h"

#include <vector>

#include "platform/win32/text.h"

namespace win32 {

namespace {

// kernel32 is a known DLL and is loaded in every process: its newer functions are looked up
// there, since the XP-level headers and import libraries cannot name them.
HMODULE kernel32() { return ::GetModuleHandleW(L"kernel32.dll"); }

constexpr DWORD kLoadWithAlteredSearchPath = 0x00000008;

}  // namespace

bool Libraries::setDllDirectory(const std::string& path) {
    using Function = BOOL(WINAPI*)(const wchar_t*);
    const auto set = lookUp<Function>(kernel32(), "SetDllDirectoryW");
    return set && set(widen(path).c_str());
}

bool Libraries::setDefaultDllDirectories(std::uint32_t flags) {
    using Function = BOOL(WINAPI*)(DWORD);
    const auto set = lookUp<Function>(kernel32(), "SetDefaultDllDirectories");
    restricted_ = set && set(flags);
    return restricted_;
}

platform::Handle Libraries::loadSystemLibrary(const std::string& name) {
    if (const auto it = loaded_.find(name); it != loaded_.end())
        return reinterpret_cast<platform::Handle>(it->second.get());
    std::vector<wchar_t> folder(MAX_PATH + 1);
    const UINT length = ::GetSystemDirectoryW(folder.data(), MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return 0;
    const std::wstring path = std::wstring(folder.data(), length) + L"\\" + widen(name);
    // The DLL's own imports are looked for by name. Where the search is restricted to the
    // system folder, that holds for them too; elsewhere the altered search looks in the DLL's
    // own folder (the system folder) first, before the exe's.
    Library library(
        ::LoadLibraryExW(path.c_str(), nullptr, restricted_ ? 0 : kLoadWithAlteredSearchPath));
    if (!library) return 0;
    const HMODULE module = library.get();
    loaded_.emplace(name, std::move(library));
    return reinterpret_cast<platform::Handle>(module);
}

std::string Libraries::modulePath(platform::Handle library) {
    std::vector<wchar_t> path(32768);
    const DWORD length = ::GetModuleFileNameW(reinterpret_cast<HMODULE>(library), path.data(),
                                              static_cast<DWORD>(path.size()));
    return length ? narrow(std::wstring(path.data(), length)) : std::string();
}

bool Libraries::hasFunction(platform::Handle library, const std::string& name) {
    return lookUp<void (*)()>(reinterpret_cast<HMODULE>(library), name.c_str()) != nullptr;
}

}  // namespace win32
