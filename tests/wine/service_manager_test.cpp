// QueryServiceInfo against Wine's real service manager, on a service the test registers
// (the bundle's stub database server) and then starts, stops and deletes.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "platform/win32/processes.h"
#include "platform/win32/service_manager.h"
#include "services/process_detection.h"
#include "services/basService.h"

namespace {

const wchar_t kName[] = L"OapanelQueryTest";

// A private copy of the bundle's stub database server (built on the Linux side, which Wine
// sees as drive Z:), told by its knobs file to listen on a port of its own: a real database
// server, or another test, may hold 3307 on this machine.
std::wstring stubPath() {
    std::wstring built = L"Z:";
    for (const char* p = OAPANEL_STUB_SERVICE; *p; ++p) built += *p == '/' ? L'\\' : wchar_t(*p);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"oapanel-query-test";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring exe = folder + L"\\mysqld2.exe";
    CopyFileW(built.c_str(), exe.c_str(), FALSE);
    HANDLE knobs = CreateFileW((folder + L"\\mysqld2.knobs").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const char text[] = "port=47307\r\n";
    DWORD written = 0;
    WriteFile(knobs, text, sizeof text - 1, &written, nullptr);
    CloseHandle(knobs);
    return exe;
}

std::string narrowAscii(const std::wstring& w) { return std::string(w.begin(), w.end()); }

struct ScmHandle {
    SC_HANDLE h;
    ~ScmHandle() {
        if (h) CloseServiceHandle(h);
    }
};

class RealServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        removeService();
        ScmHandle scm{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
        ASSERT_NE(scm.h, nullptr);
        binPath_ = stubPath() + L" --service " + kName;
        ScmHandle svc{CreateServiceW(scm.h, kName, kName, SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_NORMAL, binPath_.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, nullptr)};
        ASSERT_NE(svc.h, nullptr) << GetLastError();
    }
    void TearDown() override { removeService(); }

    static void control(DWORD code) {
        ScmHandle scm{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
        ScmHandle svc{OpenServiceW(scm.h, kName, SERVICE_ALL_ACCESS)};
        if (!svc.h) return;
        if (code == 0) {
            StartServiceW(svc.h, 0, nullptr);
        } else {
            SERVICE_STATUS status{};
            ControlService(svc.h, code, &status);
        }
    }

    static void removeService() {
        control(SERVICE_CONTROL_STOP);
        waitForState(platform::kServiceStopped);
        ScmHandle scm{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
        ScmHandle svc{OpenServiceW(scm.h, kName, SERVICE_ALL_ACCESS)};
        if (svc.h) DeleteService(svc.h);
    }

    static std::int32_t waitForState(std::uint32_t wanted) {
        win32::ServiceManager scm;
        std::int32_t state = 0, startType = 0;
        std::string path;
        for (int i = 0; i < 200; ++i) {
            if (!oapanel::QueryServiceInfo(scm, narrowAscii(kName), state, startType, path))
                return 0;
            if (state == static_cast<std::int32_t>(wanted)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return state;
    }

    std::wstring binPath_;
};

TEST_F(RealServiceTest, ReadsAStoppedServiceWithItsConfiguration) {
    win32::ServiceManager scm;
    std::int32_t state = 0, startType = 0;
    std::string path;
    ASSERT_TRUE(oapanel::QueryServiceInfo(scm, "  OapanelQueryTest ", state, startType, path));
    EXPECT_EQ(state, 1);
    EXPECT_EQ(startType, static_cast<std::int32_t>(SERVICE_DEMAND_START));
    EXPECT_EQ(path, narrowAscii(binPath_));
}

TEST_F(RealServiceTest, FollowsTheServiceThroughStartAndStop) {
    control(0);
    EXPECT_EQ(waitForState(platform::kServiceRunning), 4);
    win32::ServiceManager scm;
    std::int32_t state = 0, startType = 0;
    std::string path;
    ASSERT_TRUE(oapanel::QueryServiceInfo(scm, "OapanelQueryTest", state, startType, path));
    EXPECT_TRUE(oapanel::IsFullyRunning(true, state));
    EXPECT_EQ(path, narrowAscii(binPath_));
    // The database server is judged by its process: WMI lists the running stub by name.
    win32::Processes processes;
    EXPECT_TRUE(oapanel::CheckApplicationIsRun(processes, "MYSQLD2.EXE"));

    control(SERVICE_CONTROL_STOP);
    EXPECT_EQ(waitForState(platform::kServiceStopped), 1);
    bool gone = false;
    for (int i = 0; i < 50 && !gone; ++i) {
        gone = !oapanel::CheckApplicationIsRun(processes, "mysqld2.exe");
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(gone) << "the stub's process ended with its service";
}

TEST(RealServiceManager, AMissingServiceKeepsTheCallersState) {
    win32::ServiceManager scm;
    std::int32_t state = 0, startType = 5;
    std::string path = "kept";
    EXPECT_FALSE(oapanel::QueryServiceInfo(scm, "OapanelNoSuchService", state, startType, path));
    EXPECT_EQ(state, 0);
    EXPECT_EQ(startType, 5);
    EXPECT_EQ(path, "kept");
}

TEST(RealServiceManager, ConfigSizeProtocolReportsTheNeededSize) {
    win32::ServiceManager scm;
    const auto manager = scm.openSCManager(platform::kScManagerConnect);
    ASSERT_NE(manager, 0u);
    // Every Wine prefix has this service.
    const auto service = scm.openService(manager, "RpcSs", platform::kGenericRead);
    ASSERT_NE(service, 0u);
    platform::ServiceConfig config;
    std::uint32_t needed = 0;
    EXPECT_FALSE(scm.queryServiceConfig(service, config, 0, needed));
    EXPECT_EQ(scm.lastError(), platform::kErrorInsufficientBuffer);
    EXPECT_GT(needed, 36u);
    EXPECT_TRUE(scm.queryServiceConfig(service, config, needed, needed));
    EXPECT_FALSE(config.binaryPathName.empty());
    scm.closeServiceHandle(service);
    scm.closeServiceHandle(manager);
}

}  // namespace
