#include "platform/win32/files.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "platform/win32/handles.h"
#include "platform/win32/text.h"

namespace win32 {

namespace {

// Shared for reading, writing and deleting: a viewer, a rename by another program, or a
// server that holds its own log open must not be refused because the panel looks at it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

KernelHandle openFile(const std::string& path, DWORD access, DWORD disposition, DWORD flags) {
    KernelHandle file(::CreateFileW(widen(path).c_str(), access, kShareAll, nullptr, disposition,
                                    flags, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) file.release();
    return file;
}

// A reparse point (a symbolic link, a junction) or a file with a second name (a hard link):
// writing there could change a file of someone else's choosing. The handle is opened on the
// link itself, never on what it points at.
bool isLink(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return !::GetFileInformationByHandle(file, &info) ||
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1;
}

struct CloseFind {
    void operator()(HANDLE h) const { ::FindClose(h); }
};

}  // namespace

platform::FileResult Files::appendFile(const std::string& path, const std::string& bytes,
                                       std::size_t& written) {
    written = 0;
    const KernelHandle file = openFile(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, OPEN_ALWAYS,
                                       FILE_FLAG_OPEN_REPARSE_POINT);
    if (!file) return platform::FileResult::Failed;
    if (isLink(file.get())) return platform::FileResult::Linked;
    DWORD count = 0;
    const BOOL ok =
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr);
    written = count;  // a full disk may have taken part of it
    return ok && count == bytes.size() ? platform::FileResult::Done : platform::FileResult::Failed;
}

std::int64_t Files::fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

platform::FileResult Files::replaceFile(const std::string& from, const std::string& to) {
    // Neither name may be a link: a link moved aside would become the older file, one renamed
    // onto would have its target's name taken.
    for (const std::string& path : {from, to})
        if (const KernelHandle file =
                openFile(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
            file && isLink(file.get()))
            return platform::FileResult::Linked;
    return ::MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING)
               ? platform::FileResult::Done
               : platform::FileResult::Failed;
}

bool Files::fileExists(const std::string& path) {
    return ::GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Files::listFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    WIN32_FIND_DATAW found{};
    HANDLE first = ::FindFirstFileW(widen(folder + "\\*").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return false;
    const Owned<HANDLE, CloseFind> find(first);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(narrow(found.cFileName));
    } while (::FindNextFileW(find.get(), &found));
    return true;
}

bool Files::readFile(const std::string& path, std::int64_t offset, std::size_t count,
                     std::string& bytes) {
    bytes.clear();
    const KernelHandle file = openFile(path, GENERIC_READ, OPEN_EXISTING, 0);
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    if (!file || !::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return false;
    bytes.resize(count);
    std::size_t got = 0;
    while (got < count) {
        DWORD n = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count - got, 1 << 20));
        if (!::ReadFile(file.get(), bytes.data() + got, ask, &n, nullptr)) return false;
        if (n == 0) break;  // the end of the file
        got += n;
    }
    bytes.resize(got);
    return true;
}

bool Files::fileIdentity(const std::string& path, platform::FileIdentity& identity) {
    const KernelHandle file = openFile(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, 0);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.get(), &info)) return false;
    identity.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    identity.created = (std::uint64_t{info.ftCreationTime.dwHighDateTime} << 32) |
                       info.ftCreationTime.dwLowDateTime;
    return true;
}

bool Files::folderAccess(const std::string& path, platform::AccessList& list) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = widen(path);
    if (::GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const LocalMemory owner(descriptor);
    list = {};
    list.null = acl == nullptr;
    for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(acl, i, &entry)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        platform::AccessEntry e{header->AceType, header->AceFlags, 0, {}};
        // Allowed and denied entries share their layout: the mask, then the SID.
        if (e.type == ACCESS_ALLOWED_ACE_TYPE || e.type == ACCESS_DENIED_ACE_TYPE) {
            const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
            e.mask = ace->Mask;
            wchar_t* text = nullptr;
            if (::ConvertSidToStringSidW(const_cast<DWORD*>(&ace->SidStart), &text)) {
                const LocalMemory sid(text);
                e.sid = narrow(text);
            }
        }
        list.entries.push_back(e);
    }
    return true;
}

}  // namespace win32
