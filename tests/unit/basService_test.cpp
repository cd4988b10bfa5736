#include <gtest/gtest.h>

#include "services/basService.h"
#include "tests/fake/fake_platform.h"

namespace {

using oapanel::CountsAsRunning;
using oapanel::IsFullyRunning;
using oapanel::QueryServiceInfo;

struct Query {
    bool ok;
    std::int32_t state = 0, startType = 0;
    std::string binPath;
};

Query ask(fake::FakePlatform& os, const std::string& name) {
    Query q{};
    q.ok = QueryServiceInfo(os.scm, name, q.state, q.startType, q.binPath);
    return q;
}

TEST(QueryServiceInfo, ReadsStateStartTypeAndBinaryPath) {
    struct Case {
        std::uint32_t state;
        bool running, fully;
    } cases[] = {
        {platform::kServiceStopped, false, false},    {platform::kServiceStartPending, true, false},
        {platform::kServiceStopPending, true, false}, {platform::kServiceRunning, true, true},
        {platform::kServicePaused, true, false},
    };
    for (const auto& c : cases) {
        fake::FakePlatform os;
        os.scm.install("Tomcat6Brackwen", c.state, "  D:\\OA\\tomcat6\\bin\\tomcat6svc.exe  ",
                       platform::kServiceAutoStart);
        const Query q = ask(os, "Tomcat6Brackwen");
        SCOPED_TRACE(c.state);
        EXPECT_TRUE(q.ok);
        EXPECT_EQ(q.state, static_cast<std::int32_t>(c.state));
        EXPECT_EQ(q.startType, 2);
        EXPECT_EQ(q.binPath, "D:\\OA\\tomcat6\\bin\\tomcat6svc.exe");
        EXPECT_EQ(CountsAsRunning(q.ok, q.state), c.running);
        EXPECT_EQ(IsFullyRunning(q.ok, q.state), c.fully);
        EXPECT_EQ(os.scm.openHandles(), 0u);
    }
}

TEST(QueryServiceInfo, AsksWithTheDocumentedAccessAndSizeProtocol) {
    fake::FakePlatform os;
    os.scm.install("MySQL5Brackwen", platform::kServiceRunning, "D:\\OA\\mysql5\\bin\\mysqld2.exe");
    ask(os, "  MySQL5Brackwen ");  // surrounding blanks are removed before use
    const std::vector<std::string> expected = {
        "OpenSCManagerA 0x1",       "OpenServiceA MySQL5Brackwen 0x80000000",
        "QueryServiceStatus",       "QueryServiceConfigA 0",
        "QueryServiceConfigA 84",   "CloseServiceHandle 0x101",
        "CloseServiceHandle 0x100",
    };
    EXPECT_EQ(os.calls, expected);
}

TEST(QueryServiceInfo, FailuresKeepTheCallersValuesAndCloseBothHandles) {
    struct Case {
        const char* what;
        std::function<void(fake::FakePlatform&)> arrange;
        std::int32_t expectedState;  // the caller's 0, unless the status was already read
    } cases[] = {
        {"missing service", [](fake::FakePlatform&) {}, 0},
        {"manager refused",
         [](fake::FakePlatform& os) {
             os.scm.install("Tomcat6Brackwen", platform::kServiceRunning);
             os.faults.fail("OpenSCManagerA", platform::kErrorAccessDenied);
         },
         0},
        {"service refused",
         [](fake::FakePlatform& os) {
             os.scm.install("Tomcat6Brackwen", platform::kServiceRunning);
             os.faults.fail("OpenServiceA", platform::kErrorAccessDenied);
         },
         0},
        {"status unreadable",
         [](fake::FakePlatform& os) {
             os.scm.install("Tomcat6Brackwen", platform::kServiceRunning);
             os.faults.fail("QueryServiceStatus", platform::kErrorAccessDenied);
         },
         0},
        {"configuration unreadable",
         [](fake::FakePlatform& os) {
             os.scm.install("Tomcat6Brackwen", platform::kServiceRunning);
             os.faults.fail("QueryServiceConfigA", platform::kErrorAccessDenied);
         },
         4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform os;
        c.arrange(os);
        Query q{};
        q.startType = 77;
        q.binPath = "untouched";
        q.ok = QueryServiceInfo(os.scm, "Tomcat6Brackwen", q.state, q.startType, q.binPath);
        EXPECT_FALSE(q.ok);
        EXPECT_EQ(q.state, c.expectedState);
        EXPECT_EQ(q.startType, 77);
        EXPECT_EQ(q.binPath, "untouched");
        EXPECT_FALSE(CountsAsRunning(q.ok, q.state));
        EXPECT_EQ(os.scm.openHandles(), 0u);
        EXPECT_EQ(os.scm.closed.size(), 2u) << "manager and service are both closed, also a 0";
    }
}

TEST(QueryServiceInfo, AnUnknownStateCodeIsNotStored) {
    fake::FakePlatform os;
    os.scm.install("Tomcat6Brackwen", 9);
    std::int32_t state = 0, startType = 0;
    std::string path;
    EXPECT_TRUE(QueryServiceInfo(os.scm, "Tomcat6Brackwen", state, startType, path));
    EXPECT_EQ(state, 0);
}

}  // namespace
