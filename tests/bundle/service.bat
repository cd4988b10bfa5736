@echo off
rem Registers the web container as a Windows service.
rem   service.bat install DIR   DIR holds tomcat6svc.exe
rem The exit code is that of tomcat6svc.exe, so callers can tell a failed install.
if /i not "%~1"=="install" (
    echo Usage: service.bat install DIR
    exit /b 2
)
"%~2\tomcat6svc.exe" --install Tomcat6Brackwen
exit /b %ERRORLEVEL%
