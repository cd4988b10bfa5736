// Whatever another program left in the registry or a server wrote, the readers must not crash,
// read past the data, raise, or leave a key open. Input: for the registry, the type (one byte;
// from 0xF0 on, a number far above the known types), then the data, stored exactly so that the
// sanitizers see any read past its end; the whole input is also a server's first answer on
// its port (MySQL and HTTP), a server's log (both kinds, from a line start or not), my.ini and
// what the event log hands out for its records.
// A log line comes back as text for the window: valid UTF-8 without control characters and
// within its length, so that reading it again changes nothing.
#include "net/probe_answers.h"
#include "registry/Registry.h"
#include "registry/registry_values.h"
#include "services/server_log.h"
#include "services/service_history.h"
#include "tests/fake/fake.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    fake::FakePlatform os;
    os.reg.put(platform::kHkeyCurrentUser, "Software\\fuzz", "v",
               bytes[0] < 0xF0 ? bytes[0] % 12 : 0xFFFFFF00u | bytes[0],
               fake::Bytes(bytes + 1, bytes + size));
    oapanel::GetRegSetting(os, "fuzz", "", "v", oapanel::RegValue(""), platform::kHkeyCurrentUser,
                           "Software");
    oapanel::Registry(os).ReadKey("v", "Software\\fuzz",
                                  oapanel::AsClassKey(platform::kHkeyCurrentUser));
    if (os.reg.openKeys() != 0) __builtin_trap();  // a key left open

    const std::string text(reinterpret_cast<const char*>(bytes), size);
    oapanel::ReadMysqlAnswer(text);
    oapanel::ReadHttpAnswer(text);
    const oapanel::AnsiDecoder fromAnsi = [](const std::string& s) {
        return fake::FakeCodec().fromAnsi(s);
    };
    oapanel::ReadMysqlIni(text, "C:\\OA\\mysql5", fromAnsi);
    oapanel::ReadRecords(fake::Bytes(bytes, bytes + size));
    for (auto kind : {oapanel::ServerKind::Database, oapanel::ServerKind::WebContainer})
        for (auto pick : {oapanel::LogPick::Cause, oapanel::LogPick::Final})
            if (auto line = oapanel::ErrorLine(kind, pick, text, size % 2, fromAnsi))
                if (oapanel::ShownText(*line, fromAnsi, 201) != *line) __builtin_trap();
    return 0;
}
