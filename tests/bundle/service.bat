@echo off
rem Registers the web container as a Windows service.
rem   service.bat install [DIR]   DIR holds tomcat6svc.exe (default: this script's folder)
rem The exit code is that of tomcat6svc.exe, so callers can tell a failed install.
setlocal
if /i not "%~1"=="install" (
    echo Usage: service.bat install [DIR]
    exit /b 2
)
set "BIN_DIR=%~2"
if "%BIN_DIR%"=="" set "BIN_DIR=%~dp0"
if "%BIN_DIR:~-1%"=="\" set "BIN_DIR=%BIN_DIR:~0,-1%"
"%BIN_DIR%\tomcat6svc.exe" --install Tomcat6Brackwen
exit /b %ERRORLEVEL%
