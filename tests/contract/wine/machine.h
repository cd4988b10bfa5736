// The real machine under Wine, as the contract cases see it: the Windows backend, arranged
// through Windows itself.
#pragma once

#include "platform/win32/win32_platform.h"

namespace contract {

struct Machine {
    win32::Libraries libraries;
    win32::Platform os{::GetModuleHandleW(nullptr), libraries};

    std::string systemFolder() {
        char path[MAX_PATH] = {};
        return std::string(path, ::GetSystemDirectoryA(path, MAX_PATH));
    }
    // A fresh folder of the test's own.
    std::string folder() {
        ::CreateDirectoryA("C:\\oapanel-contract", nullptr);
        return "C:\\oapanel-contract";
    }
    void hardLink(const std::string& path, const std::string& target) {
        ::DeleteFileA(path.c_str());
        ::CreateHardLinkA(path.c_str(), target.c_str(), nullptr);
    }

    // The bundle's database server, as a copy of its own: it writes its log beside itself.
    std::string databaseServer() {
        ::CopyFileA(OAPANEL_BUNDLE_DIR "/mysql5/bin/mysqld2.exe", "C:\\mysqld2.exe", FALSE);
        return "C:\\mysqld2.exe";
    }
};

}  // namespace contract
