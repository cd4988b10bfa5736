#include "system/servers.h"

namespace oapanel {

const Servers& TheServers() {
    static const Servers servers = {{
        {ServerKind::Database, "MySQL", "MySQL5Brackwen", 3307, "mysqld2.exe",
         "cmd /c {app}\\mysql5\\bin\\mysqld2.exe --install MySQL5Brackwen --basedir={app}\\mysql5",
         "MySQL", "数据库端口", "MySQL 启动失败", "MySQL 停止失败"},
        {ServerKind::WebContainer, "Tomcat", "Tomcat6Brackwen", 8080, nullptr,
         "cmd /c {app}\\tomcat6\\bin\\service.bat install {app}\\tomcat6\\bin", "OA",
         "TOMCAT端口", "Tomcat 启动失败", "Tomcat 停止失败"},
    }};
    return servers;
}

const Server& ServerOf(ServerKind kind) {
    return TheServers()[kind == ServerKind::Database ? 0 : 1];
}

std::string Server::InstallCommand(const std::string& appPath) const {
    std::string command = install;
    for (std::size_t at = command.find("{app}"); at != std::string::npos;
         at = command.find("{app}", at + appPath.size()))
        command.replace(at, 5, appPath);
    return command;
}

}  // namespace oapanel
