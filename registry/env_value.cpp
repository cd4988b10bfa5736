#include "registry/env_value.h"

#include "registry/Registry.h"

namespace oapanel {

void addEnvValue(platform::Platform& os, const std::string& strName, const std::string& strValue) {
    Registry reg(os);
    // The address and the type first: assigning `value` is what writes.
    reg.ClassKey(AsClassKey(platform::kHkeyLocalMachine));
    reg.SectionKey("SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
    reg.ValueKey(strName);
    reg.ValueType(static_cast<std::int32_t>(platform::kRegSz));
    reg.value(strValue);
    // WM_SETTINGCHANGE "Environment" to every top-level window, as BroadcastEnvironmentChange.
    os.environment().broadcastSettingChange("Environment", 5000);
}

}  // namespace oapanel
