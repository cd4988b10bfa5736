// The real machine under Wine, as the contract cases see it: the Windows backend, arranged
// through Windows itself.
#pragma once

#include "platform/win32/win32_platform.h"

namespace contract {

struct Machine {
    win32::Platform os{::GetModuleHandleW(nullptr)};

    // The bundle's database server, as a copy of its own: it writes its log beside itself.
    std::string databaseServer() {
        ::CopyFileA(OAPANEL_BUNDLE_DIR "/mysql5/bin/mysqld2.exe", "C:\\mysqld2.exe", FALSE);
        return "C:\\mysqld2.exe";
    }
};

}  // namespace contract
