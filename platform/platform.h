// The boundary between oapanel and the operating system.
//
// Every call the program makes into Windows goes through one of these interfaces. Each
// operation mirrors the platform call it stands for and passes the same arguments (access
// masks, status codes), so the program's own logic stays above this line and its exact use
// of the platform can be tested against the simulated machine in tests/fake.
//
// Text is UTF-8 everywhere; the real backend converts to the ANSI code page at the "A"
// functions and to UTF-16 at the user-interface functions. This header must not include
// <windows.h>: the core compiles on Linux too.
#pragma once

#include <compare>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/event_log.h"
#include "platform/handle.h"
#include "platform/network.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "resources/resource.h"

namespace platform {

// ---------------------------------------------------------------------------------------
// Platform constants the program passes through unchanged.

inline constexpr std::uint32_t kScManagerConnect = 0x00000001;
inline constexpr std::uint32_t kGenericRead = 0x80000000;

inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;
inline constexpr std::uint32_t kErrorServiceSpecificError = 1066;
inline constexpr std::uint32_t kErrorServiceLogonFailed = 1069;
inline constexpr std::uint32_t kErrorServiceNeverStarted = 1077;
inline constexpr std::uint32_t kErrorAlreadyRegistered = 1242;

inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;
inline constexpr std::uint32_t kServiceContinuePending = 5;
inline constexpr std::uint32_t kServicePausePending = 6;
inline constexpr std::uint32_t kServicePaused = 7;

inline constexpr std::uint32_t kNotifyStopped = 0x1;
inline constexpr std::uint32_t kNotifyRunning = 0x8;

inline constexpr std::uint32_t kServiceAutoStart = 2;
inline constexpr std::uint32_t kServiceDemandStart = 3;
inline constexpr std::uint32_t kServiceDisabled = 4;

// Message box styles and answers.
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbOkCancel = 0x1;
inline constexpr std::uint32_t kMbIconStop = 0x10;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// ---------------------------------------------------------------------------------------
// The running program itself.

struct VersionInfo {
    int major = 0;
    int minor = 0;
    int revision = 0;  // the fourth number of the version block
};

class Application {
public:
    virtual ~Application() = default;

    // The folder holding the executable, without a trailing backslash (a drive root keeps it).
    virtual std::string appPath() = 0;
    // The program's name ("oapanel"): message box captions, tray tooltip, Run entry name.
    virtual std::string appTitle() = 0;
    // The executable's file name without its extension.
    virtual std::string exeName() = 0;
    virtual VersionInfo version() = 0;
    // Whether another copy of this executable is already running.
    virtual bool previousInstanceRunning() = 0;
    // A text of the program's string table (IDS_*), empty when absent.
    virtual std::string resourceString(int id) = 0;

    // MessageBox with the given style; returns kIdOk, kIdCancel, ...
    virtual int messageBox(const std::string& text, std::uint32_t style,
                           const std::string& title) = 0;
    // Ends the process at once: no further statement and no unload handler runs.
    [[noreturn]] virtual void endProcess(std::uint32_t exitCode) = 0;
    // The system's own text for an error code (FormatMessage), without trailing line breaks;
    // empty when the system has none.
    virtual std::string systemMessage(std::uint32_t code) = 0;
    // Whether the process runs with an elevated token (TokenElevation); false before Vista,
    // which has no such thing.
    virtual bool elevated() = 0;
};

// ---------------------------------------------------------------------------------------
// Libraries loaded at run time (kernel32): the program runs as administrator from a folder
// ordinary users may write, so no library may come from that folder.

inline constexpr std::uint32_t kLoadLibrarySearchSystem32 = 0x800;

class Libraries {
public:
    virtual ~Libraries() = default;
    // SetDllDirectoryW: "" takes the current folder out of the search. False where missing.
    virtual bool setDllDirectory(const std::string& path) = 0;
    // SetDefaultDllDirectories; false where kernel32 has none (before Windows 8, and 7 or
    // Server 2008 R2 without KB2533623).
    virtual bool setDefaultDllDirectories(std::uint32_t flags) = 0;
    // LoadLibraryExW of a DLL of the system folder by its full path (GetSystemDirectoryW, then
    // "\" and the name), kept loaded for the life of the process; 0 when it is not there.
    virtual Handle loadSystemLibrary(const std::string& name) = 0;
    // The file a loaded library came from (GetModuleFileNameW).
    virtual std::string modulePath(Handle library) = 0;
    // Whether the library exports the function (GetProcAddress).
    virtual bool hasFunction(Handle library, const std::string& name) = 0;
};

// ---------------------------------------------------------------------------------------
// Files (kernel32, advapi32): the panel's own log file, the servers' logs, the folder's rights.

// How a write or a rename went; Linked: refused, since a file it would go through is a link.
enum class FileResult { Done, Failed, Linked };

// What tells one file from another that took its name (GetFileInformationByHandle): its index
// on the volume and its creation time, each 0 where the system gives none.
struct FileIdentity {
    std::uint64_t index = 0;
    std::uint64_t created = 0;  // FILETIME; under Wine the time of the last change
};

// One entry of an access list (ACE), as the system stores it.
inline constexpr std::uint8_t kAccessAllowedAce = 0;
inline constexpr std::uint8_t kAccessDeniedAce = 1;
inline constexpr std::uint8_t kInheritOnlyAce = 0x8;
inline constexpr std::uint8_t kInheritedAce = 0x10;
struct AccessEntry {
    std::uint8_t type = kAccessAllowedAce;
    std::uint8_t flags = 0;
    std::uint32_t mask = 0;
    std::string sid;  // "S-1-5-32-545"
};
struct AccessList {
    bool null = false;  // no list at all: everyone may do everything
    std::vector<AccessEntry> entries;
};

class Files {
public:
    virtual ~Files() = default;
    // Appends the bytes to the file, creating it when missing. Other programs may read,
    // rename or delete the file meanwhile. `written` says how many bytes reached the file, also
    // when the write failed part way. A file that is a link (a reparse point, or a file with
    // more than one name) is not written through: Linked.
    virtual FileResult appendFile(const std::string& path, const std::string& bytes,
                                  std::size_t& written) = 0;
    // The size in bytes, or -1 when there is no such file.
    virtual std::int64_t fileSize(const std::string& path) = 0;
    // MoveFileEx with MOVEFILE_REPLACE_EXISTING; Linked, with nothing moved, when `from` or
    // `to` is a link.
    virtual FileResult replaceFile(const std::string& from, const std::string& to) = 0;
    // Whether anything (a file or a folder) has that name.
    virtual bool fileExists(const std::string& path) = 0;
    // The names of the files, not folders, in a folder; false when it cannot be listed.
    virtual bool listFolder(const std::string& folder, std::vector<std::string>& names) = 0;
    // Up to `count` bytes from `offset`, with the file shared for reading, writing and
    // deleting (a server may hold it open); false when it cannot be opened or read.
    virtual bool readFile(const std::string& path, std::int64_t offset, std::size_t count,
                          std::string& bytes) = 0;
    // The file's index and creation time, with the file opened for its attributes only and
    // shared as readFile shares it; false when it cannot be opened.
    virtual bool fileIdentity(const std::string& path, FileIdentity& identity) = 0;
    // The folder's access list (GetNamedSecurityInfoW, DACL); false when it cannot be read.
    virtual bool folderAccess(const std::string& path, AccessList& list) = 0;
};

// ---------------------------------------------------------------------------------------
// Time.

struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
    auto operator<=>(const LocalTime&) const = default;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime localTime() = 0;
    // Seconds on a clock that never jumps (not the time of day).
    virtual double monotonicSeconds() = 0;
    // The time of day as seconds since 1970-01-01 UTC, as the event log counts it.
    virtual std::int64_t epochSeconds() = 0;
    // Such a time as the local time of day (SystemTimeToTzSpecificLocalTime).
    virtual LocalTime localTimeOf(std::int64_t epochSeconds) = 0;
};

// ---------------------------------------------------------------------------------------
// The Service Control Manager (advapi32).

struct ServiceStatus {  // SERVICE_STATUS_PROCESS (QueryServiceStatusEx)
    std::uint32_t serviceType = 0;
    std::uint32_t currentState = 0;
    std::uint32_t controlsAccepted = 0;
    std::uint32_t win32ExitCode = 0;
    std::uint32_t serviceSpecificExitCode = 0;
    std::uint32_t checkPoint = 0;
    std::uint32_t waitHint = 0;
    std::uint32_t processId = 0;  // 0 while the service has no process
};

struct ServiceConfig {  // QUERY_SERVICE_CONFIGA, its strings converted from ANSI
    std::uint32_t serviceType = 0;
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    std::string binaryPathName;
    std::string loadOrderGroup;
    std::uint32_t tagId = 0;
    std::string dependencies;
    std::string serviceStartName;
    std::string displayName;
};

class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    // OpenSCManagerA(NULL, NULL, access): the local machine's active database.
    virtual Handle openSCManager(std::uint32_t access) = 0;
    virtual Handle openService(Handle manager, const std::string& name, std::uint32_t access) = 0;
    virtual bool queryServiceStatus(Handle service, ServiceStatus& status) = 0;
    // QueryServiceConfigA with its size protocol: a buffer of bufferSize bytes; when that is
    // too small the call fails with kErrorInsufficientBuffer and bytesNeeded says how many.
    virtual bool queryServiceConfig(Handle service, ServiceConfig& config, std::uint32_t bufferSize,
                                    std::uint32_t& bytesNeeded) = 0;
    virtual bool closeServiceHandle(Handle handle) = 0;
    // NotifyServiceStatusChange: the next wait of the window system ends as soon as the
    // service enters one of the states in stateMask (kNotifyStopped, kNotifyRunning); at once
    // when it is in one already. One request per handle stays pending until it fires or the
    // handle is closed, which cancels it. Asking again while it is pending succeeds without a
    // new request for the same states; for others it fails with kErrorAlreadyRegistered (close
    // the handle and ask on a new one). False where the system has no such notification
    // (before Vista) or refuses it: then the caller polls.
    virtual bool notifyStatusChange(Handle service, std::uint32_t stateMask) = 0;
    // The status a fired notification carried: the state the service entered then, with its
    // exit codes, which a quick restart replaces before anyone asks. Once per firing; false
    // when none has fired since the last call. A new request forgets it.
    virtual bool notifiedStatus(Handle service, ServiceStatus& status) = 0;
    // GetLastError() right after the last failing call above.
    virtual std::uint32_t lastError() = 0;
};

// ---------------------------------------------------------------------------------------
// The window system: the form model the program owns, mirrored into a real window.

enum class ControlKind { Button, Label, ListBox, CheckBox, PictureBox, Timer };

// A colour with this flag is a system colour: GetSysColor of the index in the low byte.
inline constexpr std::uint32_t kSystemColor = 0x80000000;
inline constexpr std::uint32_t kColorBtnText = kSystemColor | 18;  // COLOR_BTNTEXT

// A control's font; an empty name means the window's font (points then do not apply).
struct Font {
    std::string name;
    int points = 9;
    bool underline = false;
    std::uint32_t color = kColorBtnText;  // 0x00BBGGRR, or kSystemColor | index

    bool operator==(const Font&) const = default;
};

// One control of the form. Positions and sizes are in twips (15 per pixel at 96 dpi).
struct Control {
    int id = 0;
    ControlKind kind = ControlKind::Label;
    std::string name;
    std::string caption;
    bool enabled = true;
    bool visible = true;
    int left = 0, top = 0, width = 0, height = 0;
    int tabIndex = 0;
    Font font;
    std::deque<std::string> items;  // list box lines
    int selected = -1;              // list box selection, -1 for none
    int interval = 0;               // timer interval in milliseconds
    int value = 0;                  // check box: 0 unchecked, 1 checked
};

enum class WindowState { Normal, Minimized, Maximized };

// What changed, so the backend mirrors only that.
enum class Change { Caption, Enabled, Visible, Geometry, Selection, Interval, State, Font };

// The events the window raises into the program (Form_Load, clicks, ...).
class FormEvents {
public:
    virtual ~FormEvents() = default;
    virtual void onLoad() = 0;
    virtual void onResize() = 0;
    // reason: 0 the user closed the window, 1 the program, 2 shutdown or log-off, 3 task
    // manager. Returns true to cancel the unload.
    virtual bool onQueryUnload(int reason) = 0;
    virtual void onUnload() = 0;
    // A click; a check box's value in the model is already the new one.
    virtual void onClick(int controlId) = 0;
    virtual void onTimer(int timerId) = 0;
    // The user picked a line of a list box; the model is updated before this is raised.
    virtual void onListSelect(int controlId, int index) = 0;
    // The pointer moved over a control, at x, y twips from the control's top left corner.
    // Returns true when the program set the pointer's shape itself, so it must stay.
    virtual bool onMouseMove(int controlId, int x, int y) = 0;
    // A mouse message (WM_LBUTTONDBLCLK, WM_RBUTTONUP, ...) on the tray icon.
    virtual void onTrayMessage(std::uint32_t mouseMessage) = 0;
    // Explorer restarted: the notification area is new and empty.
    virtual void onTaskbarCreated() = 0;
    // A service's status notification asked for with ServiceManager::notifyStatusChange has
    // arrived (the wait under way ended for it, or the program was idle).
    virtual void onServiceNotified() = 0;
};

// The whole form: the program changes it through panel/form.h, which tells the window system
// what changed; the window system writes back what the user changed (selection, size, state).
struct FormModel {
    std::string caption;
    WindowState state = WindowState::Normal;
    bool visible = false;
    int width = 0, height = 0;              // outer size in twips
    int clientWidth = 0, clientHeight = 0;  // design client area in twips
    std::vector<Control> controls;

    Control* find(int id) {
        for (auto& c : controls)
            if (c.id == id) return &c;
        return nullptr;
    }
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Creates the window and every control of the model (hidden ones are created but not
    // shown), raises onLoad, then shows the window. Events go to `events`. Returns 0, or the
    // error code when the window could not be created (no event is raised then).
    virtual std::uint32_t createForm(FormModel& model, FormEvents& events) = 0;
    // True once the session ends or the program is quitting: waits end at once then.
    virtual bool quitting() = 0;
    // Mirrors one changed property of a control, or of the form when controlId is 0.
    virtual void controlChanged(int controlId, Change what) = 0;
    // The list box gained a line at the end / had line `index` replaced / lost its first line.
    virtual void listAdded(int controlId) = 0;
    virtual void listReplaced(int controlId, int index) = 0;
    virtual void listRemovedFirst(int controlId) = 0;

    // Dispatches the pending window messages, as DoEvents does; handlers may run inside.
    virtual void pumpEvents() = 0;
    // Blocks until a window message arrives or maxMs pass, then dispatches what is pending.
    // Waiting loops use it so that they never spin a processor core.
    virtual void waitForEvents(std::uint32_t maxMs) = 0;
    // The message loop: runs until the program quits, and returns its exit code.
    virtual int run() = 0;

    // Icons: ExtractIconA of an executable, WM_SETICON ICON_SMALL on the form, DestroyIcon.
    virtual Handle extractIcon(const std::string& exePath, int index) = 0;
    virtual void setSmallIcon(Handle icon) = 0;
    virtual void destroyIcon(Handle icon) = 0;
};

// ---------------------------------------------------------------------------------------

class Platform {
public:
    virtual ~Platform() = default;
    virtual Application& app() = 0;
    virtual Clock& clock() = 0;
    virtual ServiceManager& services() = 0;
    virtual WindowSystem& windows() = 0;
    virtual Shell& shell() = 0;
    virtual Processes& processes() = 0;
    virtual Environment& environment() = 0;
    virtual Registry& registry() = 0;
    virtual TextCodec& codec() = 0;
    virtual Sockets& sockets() = 0;
    virtual Files& files() = 0;
    virtual Libraries& libraries() = 0;
    virtual EventLog& eventLog() = 0;
};

}  // namespace platform
