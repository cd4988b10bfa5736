#include "platform/win32/service_manager.h"

#include <windows.h>

#include <list>
#include <utility>
#include <vector>

#include "platform/win32/record_size.h"
#include "platform/win32/text.h"

namespace win32 {

static_assert(sizeof(SERVICE_STATUS_PROCESS) == 36);  // nine 32-bit fields
// Nine fields, five of them pointers into the buffer after the record.
static_assert(sizeof(QUERY_SERVICE_CONFIGA) == recordSize(36, 64));

// SERVICE_NOTIFY_2W, which the XP-level headers leave out: the record Vista and later fill.
struct ServiceNotify {
    DWORD dwVersion;
    void(CALLBACK* pfnNotifyCallback)(void* notify);
    void* pContext;
    DWORD dwNotificationStatus;
    SERVICE_STATUS_PROCESS ServiceStatus;
    DWORD dwNotificationTriggered;
    wchar_t* pszServiceNames;
};
static_assert(sizeof(ServiceNotify) == recordSize(60, 80));

struct ServiceManager::Notify {
    ServiceNotify record{};
    std::uint32_t mask = 0;  // the states asked for
    bool pending = false;    // asked for, not yet delivered
    bool delivered = false;  // delivered with a status, not yet read
    bool inUse = false;      // its handle is still open
    DWORD closedAt = 0;      // when its handle was closed while it was pending
};

namespace {

// The system's notification, loaded at run time: before Vista there is none.
using NotifyFunction = DWORD(WINAPI*)(SC_HANDLE, DWORD, ServiceNotify*);
NotifyFunction notifyFunction() {
    static const auto function = reinterpret_cast<NotifyFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"advapi32.dll"), "NotifyServiceStatusChangeW")));
    return function;
}

// Closing the handle cancels a request, and Windows queues no delivery after the close. Wine
// delivers from a thread of its own, which may still write into the record just after: so a
// record cancelled that way rests a while before it is used again. The records live as long as
// the process; how many there are is bounded by the handles closed within that rest.
constexpr DWORD kRestMs = 10000;

ServiceManager::Notify& freeRecord() {
    static std::list<ServiceManager::Notify> records;
    for (auto& r : records)
        if (!r.inUse && (!r.pending || ::GetTickCount() - r.closedAt > kRestMs)) return r;
    return records.emplace_back();
}

// Runs as an APC in the window system's alertable wait, which then ends.
void CALLBACK notified(void* notify) {
    const auto* record = static_cast<ServiceNotify*>(notify);
    auto* request = static_cast<ServiceManager::Notify*>(record->pContext);
    request->pending = false;
    request->delivered = record->dwNotificationStatus == ERROR_SUCCESS;
}

platform::ServiceStatus statusOf(const SERVICE_STATUS_PROCESS& s) {
    return {s.dwServiceType,
            s.dwCurrentState,
            s.dwControlsAccepted,
            s.dwWin32ExitCode,
            s.dwServiceSpecificExitCode,
            s.dwCheckPoint,
            s.dwWaitHint,
            s.dwProcessId};
}

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
    status = statusOf(s);
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

bool ServiceManager::notifyStatusChange(platform::Handle service, std::uint32_t stateMask) {
    const NotifyFunction notify = notifyFunction();
    if (!notify || !service) return false;
    Notify*& request = notifies_[service];
    if (!request) {
        request = &freeRecord();
        request->inUse = true;
        request->pending = false;  // a cancelled one that has rested
    }
    // The system takes one request per handle at a time: the same one is still on its way,
    // another has to wait for a handle of its own.
    if (request->pending) {
        if (request->mask == stateMask) return true;
        lastError_ = ERROR_ALREADY_REGISTERED;
        return false;
    }
    request->record = {};
    request->delivered = false;
    request->record.dwVersion = 2;  // SERVICE_NOTIFY_STATUS_CHANGE
    request->record.pfnNotifyCallback = &notified;
    request->record.pContext = request;
    request->mask = stateMask;
    lastError_ = notify(sc(service), stateMask, &request->record);
    request->pending = lastError_ == ERROR_SUCCESS;
    return request->pending;
}

bool ServiceManager::notifiedStatus(platform::Handle service, platform::ServiceStatus& status) {
    const auto it = notifies_.find(service);
    if (it == notifies_.end() || !std::exchange(it->second->delivered, false)) return false;
    status = statusOf(it->second->record.ServiceStatus);
    return true;
}

bool ServiceManager::closeServiceHandle(platform::Handle h) {
    const bool ok = ::CloseServiceHandle(sc(h)) != 0;
    if (!ok) lastError_ = ::GetLastError();
    if (const auto it = notifies_.find(h); it != notifies_.end()) {
        // A delivery queued just before the close runs now.
        if (ok) ::SleepEx(0, TRUE);
        it->second->closedAt = ::GetTickCount();
        it->second->inUse = false;
        notifies_.erase(it);
    }
    return ok;
}

}  // namespace win32
