#include "platform/win32/application.h"

#include <cstring>
#include <vector>

#include "platform/win32/record_size.h"
#include "platform/win32/text.h"

namespace win32 {

static_assert(sizeof(VS_FIXEDFILEINFO) == 52);
static_assert(sizeof(SYSTEMTIME) == 16);

std::wstring Application::modulePath() {
    // Grow the buffer until the whole path fits: GetModuleFileNameW truncates silently.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string Application::appPath() {
    std::wstring path = modulePath();
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    // A drive root keeps its backslash ("C:\"), any other folder loses it.
    path.resize(slash == 2 && path[1] == L':' ? slash + 1 : slash);
    return narrow(path);
}

std::string Application::exeName() {
    std::wstring path = modulePath();
    const auto slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    return narrow(name);
}

std::string Application::appTitle() {
    std::string title = resourceString(IDS_APP_TITLE);
    return title.empty() ? exeName() : title;
}

platform::VersionInfo Application::version() {
    // Read from the exe's own resource: version.dll would be one more DLL that could be
    // planted in the application folder. The block starts with its header (three 16-bit
    // fields and the key "VS_VERSION_INFO"), then the fixed record on a 32-bit boundary.
    // 16 is RT_VERSION, which the headers define in the ANSI form only.
    const HRSRC found = ::FindResourceW(instance_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    const HGLOBAL loaded = found ? ::LoadResource(instance_, found) : nullptr;
    const auto* block = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
    constexpr std::size_t kFixedAt = 40;
    if (!block || ::SizeofResource(instance_, found) < kFixedAt + sizeof(VS_FIXEDFILEINFO))
        return {};
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, block + kFixedAt, sizeof info);
    if (info.dwSignature != 0xFEEF04BD) return {};
    return {HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
            LOWORD(info.dwFileVersionLS)};
}

bool Application::elevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const KernelHandle owner(token);
    // TOKEN_ELEVATION, which the XP-level headers leave out; XP refuses the class.
    constexpr auto kTokenElevation = static_cast<TOKEN_INFORMATION_CLASS>(20);
    DWORD elevation = 0, size = 0;
    return ::GetTokenInformation(token, kTokenElevation, &elevation, sizeof elevation, &size) &&
           elevation != 0;
}

bool Application::previousInstanceRunning() {
    // A named mutex per program title in this session: the first copy creates it and keeps
    // it; a later copy finds it already there.
    const std::wstring name = L"Local\\" + widen(appTitle()) + L".single-instance";
    instanceMutex_.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
    return instanceMutex_ && ::GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string Application::resourceString(int id) {
    const wchar_t* text = nullptr;
    const int n =
        ::LoadStringW(instance_, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 ? narrow(std::wstring(text, static_cast<std::size_t>(n))) : std::string();
}

int Application::messageBox(const std::string& text, std::uint32_t style,
                            const std::string& title) {
    // Task-modal: every window of the program waits for the answer, as with an owned box.
    return ::MessageBoxW(nullptr, widen(text).c_str(), widen(title).c_str(),
                         style | MB_TASKMODAL | MB_SETFOREGROUND);
}

void Application::endProcess(std::uint32_t exitCode) { ::ExitProcess(exitCode); }

std::string Application::systemMessage(std::uint32_t code) {
    // The system allocates the text; it goes back with LocalFree.
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const LocalMemory owner(text);
    std::wstring message(text ? text : L"", n);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n'))
        message.pop_back();
    return narrow(message);
}

platform::LocalTime Clock::localTime() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

namespace {
// FILETIME counts 100 ns steps from 1601; the epoch begins 11644473600 s later.
constexpr std::int64_t kEpochIn1601 = 11644473600LL, kTicks = 10000000;
}  // namespace

std::int64_t Clock::epochSeconds() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const std::int64_t ticks =
        static_cast<std::int64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
    return ticks / kTicks - kEpochIn1601;
}

platform::LocalTime Clock::localTimeOf(std::int64_t epochSeconds) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(epochSeconds + kEpochIn1601) * kTicks;
    const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME u{}, t{};
    if (!::FileTimeToSystemTime(&utc, &u) || !::SystemTimeToTzSpecificLocalTime(nullptr, &u, &t))
        return {};
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

double Clock::monotonicSeconds() {
    LARGE_INTEGER frequency{}, counter{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace win32
