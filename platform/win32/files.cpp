#include "platform/win32/files.h"

#include <windows.h>

#include "platform/win32/handles.h"
#include "platform/win32/text.h"

namespace win32 {

bool Files::appendFile(const std::string& path, const std::string& bytes) {
    // Shared for reading, writing and deleting: a viewer or a rename by another program must
    // not be refused because the panel happens to be writing.
    KernelHandle file(::CreateFileW(widen(path).c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

std::int64_t Files::fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool Files::replaceFile(const std::string& from, const std::string& to) {
    return ::MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace win32
