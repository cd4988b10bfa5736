@echo off
rem Registers or removes the web container as a Windows service.
rem   service.bat install [DIR]   DIR holds tomcat6svc.exe (default: this script's folder)
rem   service.bat remove
rem The exit code is that of tomcat6svc.exe, so callers can tell a failed install.
setlocal
set "SERVICE_NAME=Tomcat6Brackwen"
if /i "%~1"=="install" goto install
if /i "%~1"=="remove" goto remove
echo Usage: service.bat install [DIR] ^| remove
exit /b 2

:install
set "BIN_DIR=%~2"
if "%BIN_DIR%"=="" set "BIN_DIR=%~dp0"
if "%BIN_DIR:~-1%"=="\" set "BIN_DIR=%BIN_DIR:~0,-1%"
"%BIN_DIR%\tomcat6svc.exe" --install %SERVICE_NAME%
exit /b %ERRORLEVEL%

:remove
"%~dp0tomcat6svc.exe" --remove %SERVICE_NAME%
exit /b %ERRORLEVEL%
