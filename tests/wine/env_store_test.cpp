// The environment store against Wine's real registry and process environment.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>

#include "environment/env_store.h"
#include "platform/win32/win32_platform.h"

namespace {

struct RealEnvTest : ::testing::Test {
    win32::Platform os{::GetModuleHandleW(nullptr)};
    HKEY userEnv = nullptr;
    bool hadPath = false;
    DWORD pathType = 0;
    std::vector<BYTE> savedPath;

    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Environment", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &userEnv, nullptr),
                  ERROR_SUCCESS);
        DWORD size = 0;
        hadPath =
            RegQueryValueExW(userEnv, L"PATH", nullptr, &pathType, nullptr, &size) == ERROR_SUCCESS;
        savedPath.resize(size);
        if (hadPath)
            RegQueryValueExW(userEnv, L"PATH", nullptr, &pathType, savedPath.data(), &size);
    }
    void TearDown() override {
        if (hadPath)
            RegSetValueExW(userEnv, L"PATH", 0, pathType, savedPath.data(),
                           static_cast<DWORD>(savedPath.size()));
        else
            RegDeleteValueW(userEnv, L"PATH");
        RegCloseKey(userEnv);
        HKEY system = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                          KEY_ALL_ACCESS, &system) == ERROR_SUCCESS) {
            RegDeleteValueW(system, L"OAPANEL_TEST_HOME");
            RegCloseKey(system);
        }
    }
    void setUserPath(const wchar_t* text, DWORD type) {
        RegSetValueExW(userEnv, L"PATH", 0, type, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    }
    std::wstring userPath(DWORD& type) {
        wchar_t buffer[2048] = {};
        DWORD size = sizeof buffer;
        RegQueryValueExW(userEnv, L"PATH", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        return buffer;
    }
};

TEST_F(RealEnvTest, SystemVariableRoundTripsAndReachesTheProcess) {
    EXPECT_EQ(oapanel::GetSystemEnv(os, "OAPANEL_TEST_HOME"), "");
    oapanel::SetSystemEnv(os, "OAPANEL_TEST_HOME", "C:\\OA\\jre16bk");
    EXPECT_EQ(oapanel::GetSystemEnv(os, "OAPANEL_TEST_HOME"), "C:\\OA\\jre16bk");
    wchar_t process[64] = {};
    GetEnvironmentVariableW(L"OAPANEL_TEST_HOME", process, 64);
    EXPECT_STREQ(process, L"C:\\OA\\jre16bk");
}

TEST_F(RealEnvTest, UserPathKeepsItsExpandableType) {
    setUserPath(L"%USERPROFILE%\\bin", REG_EXPAND_SZ);
    oapanel::AddToUserPath(os, "C:\\OA\\jre16bk\\bin");
    DWORD type = 0;
    EXPECT_EQ(userPath(type), L"%USERPROFILE%\\bin;C:\\OA\\jre16bk\\bin");
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));

    setUserPath(L"C:\\A;C:\\B;", REG_SZ);
    oapanel::AddToUserPath(os, "C:\\OA\\jre16bk\\bin");
    EXPECT_EQ(userPath(type), L"C:\\A;C:\\B;C:\\OA\\jre16bk\\bin");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    wchar_t process[4096] = {};
    GetEnvironmentVariableW(L"PATH", process, 4096);
    EXPECT_NE(std::wstring(process).find(L"C:\\windows\\system32"), std::wstring::npos)
        << "the process keeps the system folders";
    EXPECT_NE(std::wstring(process).find(L"C:\\OA\\jre16bk\\bin"), std::wstring::npos);
}

TEST_F(RealEnvTest, BroadcastReturnsWithinItsTimeOut) {
    const auto start = std::chrono::steady_clock::now();
    oapanel::BroadcastEnvironmentChange(os);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
}

}  // namespace
