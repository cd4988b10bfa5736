#include "platform/win32/service_manager.h"

#include <windows.h>

#include <vector>

#include "platform/win32/record_size.h"
#include "platform/win32/text.h"

namespace win32 {

static_assert(sizeof(SERVICE_STATUS_PROCESS) == 36);  // nine 32-bit fields
// Nine fields, five of them pointers into the buffer after the record.
static_assert(sizeof(QUERY_SERVICE_CONFIGA) == recordSize(36, 64));

namespace {

SC_HANDLE sc(platform::Handle h) { return reinterpret_cast<SC_HANDLE>(h); }
platform::Handle handle(SC_HANDLE h) { return reinterpret_cast<platform::Handle>(h); }

std::string ansiField(const char* text) { return text ? fromAnsi(text) : std::string(); }

// Dependencies are a list of NUL-terminated names ending in an empty one; keep it as one
// text with the separators, as the record holds it.
std::string multiString(const char* text) {
    if (!text) return {};
    std::string raw;
    while (*text) {
        const std::string one(text);
        raw += one;
        raw += '\0';
        text += one.size() + 1;
    }
    return fromAnsi(raw);
}

}  // namespace

platform::Handle ServiceManager::openSCManager(std::uint32_t access) {
    SC_HANDLE h = ::OpenSCManagerA(nullptr, nullptr, access);
    lastError_ = h ? 0 : ::GetLastError();
    return handle(h);
}

platform::Handle ServiceManager::openService(platform::Handle manager, const std::string& name,
                                             std::uint32_t access) {
    SC_HANDLE h = ::OpenServiceA(sc(manager), toAnsi(name).c_str(), access);
    lastError_ = h ? 0 : ::GetLastError();
    return handle(h);
}

bool ServiceManager::queryServiceStatus(platform::Handle service, platform::ServiceStatus& status) {
    // The extended status also names the service's process, which the failure reasons need.
    SERVICE_STATUS_PROCESS s{};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(sc(service), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s),
                                sizeof s, &needed)) {
        lastError_ = ::GetLastError();
        return false;
    }
    status = {s.dwServiceType,   s.dwCurrentState,           s.dwControlsAccepted,
              s.dwWin32ExitCode, s.dwServiceSpecificExitCode, s.dwCheckPoint,
              s.dwWaitHint,      s.dwProcessId};
    return true;
}

bool ServiceManager::queryServiceConfig(platform::Handle service, platform::ServiceConfig& config,
                                        std::uint32_t bufferSize, std::uint32_t& bytesNeeded) {
    // Always hand the platform a real buffer of the stated size (at least one byte).
    std::vector<std::uint8_t> buffer(bufferSize ? bufferSize : 1);
    auto* record = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    DWORD needed = 0;
    if (!::QueryServiceConfigA(sc(service), record, bufferSize, &needed)) {
        lastError_ = ::GetLastError();
        bytesNeeded = needed;
        return false;
    }
    config.serviceType = record->dwServiceType;
    config.startType = record->dwStartType;
    config.errorControl = record->dwErrorControl;
    config.binaryPathName = ansiField(record->lpBinaryPathName);
    config.loadOrderGroup = ansiField(record->lpLoadOrderGroup);
    config.tagId = record->dwTagId;
    config.dependencies = multiString(record->lpDependencies);
    config.serviceStartName = ansiField(record->lpServiceStartName);
    config.displayName = ansiField(record->lpDisplayName);
    return true;
}

bool ServiceManager::closeServiceHandle(platform::Handle h) {
    const bool ok = ::CloseServiceHandle(sc(h)) != 0;
    if (!ok) lastError_ = ::GetLastError();
    return ok;
}

}  // namespace win32
