// Processes and the process environment (kernel32, user32's broadcast, WMI).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/handle.h"

namespace platform {

inline constexpr std::uint32_t kSwHide = 0;
inline constexpr std::uint32_t kSwShowNormal = 1;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;
inline constexpr std::uint32_t kStillActive = 259;

class Processes {
public:
    virtual ~Processes() = default;
    // CreateProcessA with STARTF_USESHOWWINDOW and the given show mode; returns once the
    // process exists (false when it could not be created), releasing both handles.
    virtual bool launch(const std::string& commandLine, std::uint32_t showMode) = 0;
    // The same, keeping the process handle for hasEnded; 0 when it could not be created
    // (lastError says why). Every handle goes back through closeProcess.
    virtual Handle start(const std::string& commandLine, std::uint32_t showMode) = 0;
    virtual bool hasEnded(Handle process) = 0;
    // GetExitCodeProcess: kStillActive while it runs; false when it cannot be asked.
    virtual bool exitCode(Handle process, std::uint32_t& code) = 0;
    virtual void closeProcess(Handle process) = 0;
    // GetLastError() right after a failed launch or start.
    virtual std::uint32_t lastError() = 0;
    // The executable's file name of a running process ("java.exe"); empty when unknown.
    virtual std::string processName(std::uint32_t processId) = 0;
    // The same in the given current directory (empty: ours) with the given creation flags,
    // then WaitForSingleObject(process, waitMs); true once the process was created, whether
    // it ended within the wait or not.
    virtual bool launchAndWait(const std::string& commandLine, const std::string& directory,
                               std::uint32_t waitMs, std::uint32_t showMode,
                               std::uint32_t creationFlags) = 0;
    // Hands the Description of each Win32_Process that WMI lists (a process without one is
    // left out) to `visit`, until `visit` returns false. False when WMI cannot be asked or
    // fails before the enumeration ended or was stopped.
    virtual bool enumerateProcessDescriptions(
        const std::function<bool(const std::string&)>& visit) = 0;
};

class Environment {
public:
    virtual ~Environment() = default;
    // GetEnvironmentVariableA / SetEnvironmentVariableA of this process.
    virtual bool getVariable(const std::string& name, std::string& value) = 0;
    virtual bool setVariable(const std::string& name, const std::string& value) = 0;
    // ExpandEnvironmentStringsA.
    virtual std::string expand(const std::string& text) = 0;
    // SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, area, SMTO_ABORTIFHUNG, ms).
    virtual bool broadcastSettingChange(const std::string& area, std::uint32_t timeoutMs) = 0;
};

}  // namespace platform
