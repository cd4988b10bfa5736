#include "environment/folder_rights.h"

#include <map>

namespace oapanel {

namespace {

const char kEveryone[] = "S-1-1-0";
const char* const kOrdinaryUsers[] = {kEveryone, "S-1-5-11", "S-1-5-32-545", "S-1-5-4"};

// Rights on a folder that let its holder put a program into it or replace one: add files or
// folders, delete children, delete or rename the folder, change its rights or owner.
constexpr std::uint32_t kChangeRights = 0x2 | 0x4 | 0x40 | 0x10000 | 0x40000 | 0x80000 |
                                        0x10000000 /* GENERIC_ALL */ |
                                        0x40000000 /* GENERIC_WRITE */;

bool IsOrdinary(const std::string& sid) {
    for (const char* ordinary : kOrdinaryUsers)
        if (sid == ordinary) return true;
    return false;
}

}  // namespace

bool OrdinaryUsersMayChange(const platform::AccessList& list) {
    if (list.null) return true;
    // Entries apply in order: a right denied earlier stays denied, to Everyone for all.
    std::map<std::string, std::uint32_t> denied;
    for (const auto& e : list.entries) {
        if ((e.flags & platform::kInheritOnlyAce) || !IsOrdinary(e.sid)) continue;
        if (e.type == platform::kAccessDeniedAce) denied[e.sid] |= e.mask;
        if (e.type == platform::kAccessAllowedAce &&
            (e.mask & kChangeRights & ~denied[e.sid] & ~denied[kEveryone]))
            return true;
    }
    return false;
}

std::optional<std::string> OpenFolderWarning(platform::Files& files, const std::string& folder) {
    platform::AccessList list;
    if (!files.folderAccess(folder, list) || !OrdinaryUsersMayChange(list)) return std::nullopt;
    return "注意：普通用户可以修改应用目录 " + folder +
           "，其中的服务以系统权限运行，建议只允许管理员写入";
}

}  // namespace oapanel
