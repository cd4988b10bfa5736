#!/usr/bin/env bash
# Checks that oapanel.exe can start on the oldest Windows it is built for: XP SP3 for the
# 32-bit exe, XP x64 (Server 2003 SP1) for the 64-bit one. A function missing from a system
# DLL stops the program before its first line runs, with nothing but the loader's message box.
#
#   check.sh EXE WINDOWS_VERSION(5.1|5.2) MANIFEST_ARCH(x86|amd64) OBJDUMP
#
# It fails when the exe
# - imports from a DLL other than the known DLLs and the C runtime (one that could be planted
#   in the application folder, a MinGW runtime DLL, or a newer system one),
# - imports by ordinal (nothing to check by name),
# - imports a function newer than that Windows (the lists below),
# - names another Windows version in its PE header, or a manifest for another processor,
# - carries debug sections.
#
# Where the names come from:
# - msvcrt.dll: the annotated export list of mingw-w64 (mingw-w64-crt/lib-common/msvcrt.def.in),
#   which groups every export by the Windows release whose msvcrt.dll added it. XP's msvcrt.dll
#   has none of the "_s" (secure), "_l" (locale) or "_p" (positional printf) functions, nor the
#   "_dbg" ones; they came with Vista.
# - the other DLLs: the version guards of the SDK headers (`#if _WIN32_WINNT >= 0x0600` in
#   mingw-w64's winbase.h, synchapi.h, processthreadsapi.h, winnls.h, winreg.h, winsvc.h,
#   winuser.h, shellapi.h, shlobj.h, commctrl.h) and the "Minimum supported client/server"
#   line of Microsoft's documentation of each function.
# Names marked for 32-bit XP only exist on Server 2003, and so on XP x64, which shares its code.
set -euo pipefail

exe=$1 version=$2 arch=$3 objdump=$4

# The only DLLs the exe may import at link time: known DLLs from XP on, which Windows never
# takes from the exe's folder, and the C runtime. Everything else (comctl32, ws2_32, iphlpapi,
# ...) is loaded at run time, from the system folder or through the manifest; a DLL imported
# here that is not a known DLL could be planted beside the exe and run as administrator.
system_dlls="advapi32 gdi32 kernel32 msvcrt ole32 oleaut32 shell32 user32"

# DLL, then the functions that XP SP3 and XP x64 both lack; only the DLLs above, as any
# import from another fails anyway.
post_xp=(
"kernel32 GetTickCount64 InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared
    ReleaseSRWLockExclusive ReleaseSRWLockShared InitializeConditionVariable
    SleepConditionVariableCS SleepConditionVariableSRW WakeConditionVariable
    WakeAllConditionVariable InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete
    InitializeCriticalSectionEx CreateEventExW CreateMutexExW CreateSemaphoreExW
    GetFileInformationByHandleEx SetFileInformationByHandle GetFinalPathNameByHandleW
    CreateSymbolicLinkW QueryFullProcessImageNameW GetLocaleInfoEx LCMapStringEx
    CompareStringEx CompareStringOrdinal GetUserDefaultLocaleName LocaleNameToLCID
    LCIDToLocaleName GetErrorMode CancelIoEx GetQueuedCompletionStatusEx CreateThreadpoolWork
    InterlockedCompareExchange64 GetSystemTimePreciseAsFileTime GetActiveProcessorCount
    K32EnumProcesses K32GetModuleFileNameExW SetThreadDescription AddDllDirectory
    SetDefaultDllDirectories CreateFile2"
"advapi32 RegDeleteTreeA RegDeleteTreeW RegCopyTreeW RegSetKeyValueA RegSetKeyValueW
    RegDeleteKeyValueA RegDeleteKeyValueW RegLoadMUIStringW NotifyServiceStatusChangeA
    NotifyServiceStatusChangeW ControlServiceExA ControlServiceExW EventRegister EventWrite"
"user32 SetProcessDPIAware IsProcessDPIAware ChangeWindowMessageFilter
    ChangeWindowMessageFilterEx ShutdownBlockReasonCreate AddClipboardFormatListener
    RegisterPowerSettingNotification GetDpiForWindow GetDpiForSystem
    SetProcessDpiAwarenessContext AdjustWindowRectExForDpi SystemParametersInfoForDpi"
"shell32 SHGetKnownFolderPath SHGetFolderPathEx SHCreateItemFromParsingName
    SHGetStockIconInfo SetCurrentProcessExplicitAppUserModelID Shell_NotifyIconGetRect"
"msvcrt _get_errno _set_errno _get_doserrno _get_fmode _set_fmode _get_output_format
    _set_output_format _get_pgmptr _get_wpgmptr _initterm_e _invalid_parameter _fseeki64
    _ftelli64 _freea _time32 _ctime32 _difftime64 _gmtime32 _localtime32 _mktime32 strnlen
    wcsnlen btowc wctob mbrlen mbrtowc mbsrtowcs wcrtomb wcsrtombs _wassert __CxxFrameHandler3
    _create_locale _free_locale _get_current_locale _configthreadlocale
    _set_invalid_parameter_handler"
)
# Functions that Server 2003 and XP x64 have and 32-bit XP SP3 lacks.
post_xp32=(
"kernel32 FlsAlloc FlsFree FlsGetValue FlsSetValue GetCurrentProcessorNumber GetThreadId
    GetProcessIdOfThread SetThreadStackGuarantee Wow64DisableWow64FsRedirection
    Wow64RevertWow64FsRedirection"
"advapi32 RegGetValueA RegGetValueW RegDeleteKeyExA RegDeleteKeyExW RegDisableReflectionKey
    RegEnableReflectionKey RegQueryReflectionKey CreateProcessWithTokenW"
"msvcrt ___lc_collate_cp_func __pwctype_func _abs64 _mkgmtime _mkgmtime64 _rotl64 _rotr64
    _wctype __CxxFrameHandler2 __CppXcptFilter _setjmpex _chgsignf _copysignf _finitef _hypotf
    _logbf acosf asinf atan2f atanf ceilf cosf coshf expf floorf fmodf log10f logf modff powf
    sinf sinhf sqrtf tanf"
)

[ "$arch" = x86 ] && post_xp+=("${post_xp32[@]}")
declare -A denied=()
for line in "${post_xp[@]}"; do
    read -r dll names <<<"${line//$'\n'/ }"
    for name in $names; do denied["$dll!$name"]=1; done
done

# "DLL Name: KERNEL32.dll" opens a DLL's block; each import is "<vma> <hint> <name>".
dump=$("$objdump" -p "$exe")
imports=$(awk '
    /^\tDLL Name: / { dll = tolower($3); sub(/\.dll$/, "", dll); next }
    /^\t[0-9a-f]+\t/ && dll != "" { print dll "!" (NF >= 3 && $3 != "<none>" ? $3 : "#" $2) }
    /^$/ { dll = "" }' <<<"$dump")
failures=()
[ -n "$imports" ] || failures+=("no import table found in $exe")
while IFS='!' read -r dll name; do
    [ -n "$dll" ] || continue
    [[ " ${system_dlls//$'\n'/ } " == *" $dll "* ]] || failures+=("$dll.dll is not one of XP's DLLs ($name)")
    [[ $name != \#* ]] || failures+=("$dll.dll: imported by ordinal $name")
    [ -z "${denied[$dll!$name]:-}" ] || failures+=("$dll.dll!$name is newer than Windows $version")
    # msvcrt families that began with Vista's msvcrt.dll, by suffix.
    [[ $dll != msvcrt || ! $name =~ (_s|_l|_p|_dbg)$ ]] ||
        failures+=("msvcrt.dll!$name: XP's msvcrt.dll has no such function")
done <<<"$imports"

# A loader refuses an exe whose header asks for a newer Windows than itself.
for field in OSystemVersion SubsystemVersion; do
    found=$(awk -v f="$field" '$1 == "Major" f { major = $2 } $1 == "Minor" f { minor = $2 }
        END { print major "." minor }' <<<"$dump")
    [ "$found" = "$version" ] || failures+=("PE header: $field is $found, not $version")
done

# XP's side-by-side loader refuses a manifest for another processor than the exe's.
identity=$(strings -a "$exe" | grep -o 'name="oapanel"[^>]*processorArchitecture="[^"]*"' || true)
[[ $identity == *"processorArchitecture=\"$arch\""* ]] ||
    failures+=("manifest: no assembly identity for processor $arch (found: ${identity:-none})")

# What ships is stripped: the runtime's debug sections would add a quarter of a megabyte.
! "$objdump" -h "$exe" | grep -q ' \.debug_' || failures+=("$exe carries debug sections")

if [ ${#failures[@]} -gt 0 ]; then
    printf '%s\n' "${failures[@]}" >&2
    exit 1
fi
echo "$exe: $(wc -l <<<"$imports") imports, all present on Windows $version ($arch)"
