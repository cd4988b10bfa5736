#include "platform/win32/processes.h"

#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <utility>
#include <vector>

#include "platform/win32/com.h"
#include "platform/win32/handles.h"
#include "platform/win32/record_size.h"
#include "platform/win32/text.h"

namespace win32 {

static_assert(sizeof(STARTUPINFOA) == recordSize(68, 104));
static_assert(sizeof(PROCESS_INFORMATION) == recordSize(16, 24));
static_assert(sizeof(VARIANT) == recordSize(16, 24));
static_assert(sizeof(PROCESSENTRY32W) == recordSize(556, 568));

namespace {

// Starts the command line; `process` receives the process handle, the thread handle is
// released here. Nothing is inherited: a launched command must not keep our pipes or files
// open after we close them.
bool create(const std::string& commandLine, const std::string& directory, std::uint32_t showMode,
            std::uint32_t creationFlags, KernelHandle& process) {
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    const std::string ansi = toAnsi(commandLine);
    std::vector<char> line(ansi.begin(), ansi.end());
    line.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showMode);
    PROCESS_INFORMATION created{};
    const std::string folder = toAnsi(directory);
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &created))
        return false;
    KernelHandle thread(created.hThread);
    process.reset(created.hProcess);
    return true;
}

// Out-of-process WMI checks the caller's identity; the default level (identify) may be
// refused. The call fails harmlessly on an in-process object, so its result is not decisive:
// a refusal shows up as a failed query instead.
void allowImpersonation(IUnknown* proxy) {
    ::CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

// The local management service in its default namespace, as the "WinMgmts:" moniker gives it.
bool connect(ComPtr<IWbemServices>& services) {
    ComPtr<IWbemLocator> locator;
    if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator.out()))))
        return false;
    const Bstr space(L"ROOT\\CIMV2");
    if (!space || FAILED(locator->ConnectServer(space.get(), nullptr, nullptr, nullptr, 0, nullptr,
                                                nullptr, services.out())))
        return false;
    allowImpersonation(services.get());
    return true;
}

// Hands each process's Description to `visit` until it says stop; false at the first failure.
bool readDescriptions(IEnumWbemClassObject& processes,
                      const std::function<bool(const std::string&)>& visit) {
    for (;;) {
        ComPtr<IWbemClassObject> process;
        ULONG returned = 0;
        const HRESULT hr = processes.Next(WBEM_INFINITE, 1, process.out(), &returned);
        if (FAILED(hr)) return false;
        if (returned == 0) return true;
        Variant description;
        if (FAILED(process->Get(L"Description", 0, description.get(), nullptr, nullptr)))
            return false;
        // A process without a description names nothing; an empty text would match any name.
        if ((*description).vt != VT_BSTR) continue;
        const BSTR text = (*description).bstrVal;
        if (!visit(narrow(std::wstring(text, ::SysStringLen(text))))) return true;
    }
}

}  // namespace

bool Processes::launch(const std::string& commandLine, std::uint32_t showMode) {
    KernelHandle process;
    const bool created = create(commandLine, {}, showMode, 0, process);
    lastError_ = created ? 0 : ::GetLastError();
    return created;
}

platform::Handle Processes::start(const std::string& commandLine, std::uint32_t showMode) {
    KernelHandle process;
    if (!create(commandLine, {}, showMode, 0, process)) {
        lastError_ = ::GetLastError();
        return 0;
    }
    return reinterpret_cast<platform::Handle>(process.release());
}

bool Processes::hasEnded(platform::Handle process) {
    return ::WaitForSingleObject(reinterpret_cast<HANDLE>(process), 0) != WAIT_TIMEOUT;
}

bool Processes::exitCode(platform::Handle process, std::uint32_t& code) {
    DWORD value = 0;
    if (!::GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &value)) return false;
    code = value;
    return true;
}

void Processes::closeProcess(platform::Handle process) {
    if (process) ::CloseHandle(reinterpret_cast<HANDLE>(process));
}

std::string Processes::processName(std::uint32_t processId) {
    // A snapshot of the process list: it names every process, also those we may not open.
    KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) {
        snapshot.release();
        return {};
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry))
        if (entry.th32ProcessID == processId) return narrow(entry.szExeFile);
    return {};
}

bool Processes::launchAndWait(const std::string& commandLine, const std::string& directory,
                              std::uint32_t waitMs, std::uint32_t showMode,
                              std::uint32_t creationFlags) {
    KernelHandle process;
    if (!create(commandLine, directory, showMode, creationFlags, process)) return false;
    ::WaitForSingleObject(process.get(), waitMs);
    return true;
}

bool Processes::enumerateProcessDescriptions(const std::function<bool(const std::string&)>& visit) {
    const ComApartment com;
    if (!com.usable()) return false;
    ComPtr<IWbemServices> services;
    if (!connect(services)) return false;
    const Bstr className(L"Win32_Process");
    ComPtr<IEnumWbemClassObject> processes;
    if (!className || FAILED(services->CreateInstanceEnum(
                          className.get(), WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                          nullptr, processes.out())))
        return false;
    allowImpersonation(processes.get());
    return readDescriptions(*processes.get(), visit);
}

}  // namespace win32
