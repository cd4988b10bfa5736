#!/bin/bash
# A user has planted DLLs in the application folder and in the panel's current folder, under
# the name of every DLL the panel loads that is not a known DLL, and Wine is told to prefer a
# DLL found on the search path over its own, as Windows' search order does (name=n,b). The
# panel must start, run its automatic start and the port check, and load none of them.
#   planted.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR PLANT_DLL
# version.dll is left out: Wine's own user32 imports it, so under Wine a planted one loads into
# every program before its first line runs (the import check covers the panel's own use).
OA_NAME=planted
source "$(dirname "$0")/lib.sh"
oa_init "${@:1:4}"
plant=$5
names=(iphlpapi ws2_32 wsock32 comctl32 uxtheme dwmapi cryptbase userenv propsys oleacc apphelp)
current="$WINEPREFIX/drive_c/current" marks="$WINEPREFIX/drive_c/planted-marks.txt"
mkdir -p "$current"
for name in "${names[@]}"; do cp "$plant" "$OA_APP_DIR/$name.dll" && cp "$plant" "$current/$name.dll"; done
overrides=$(printf ';%s=n,b' "${names[@]}")

# Only the panel gets the overrides and the current folder: the driver is a program of ours too.
cd "$current" && WINEDLLOVERRIDES="$WINEDLLOVERRIDES$overrides" oa_launch_panel && cd "$OLDPWD" ||
    oa_die "cannot start the panel in $current"
oa_driver --timeout 60 wait-window + wait-line "欢迎使用" + wait-last-line "启动 Tomcat" + \
    wait-last-line "成功" >/dev/null || oa_die "the automatic start did not finish"
oa_expect_match "the port check runs" "$(oa_driver --timeout 20 click "$(oa_id cmdCheckPort)" + \
    wait-last-line "TOMCAT端口")" "TOMCAT端口 8080 正在使用\$"
oa_expect_eq "no planted DLL was loaded" "$(iconv -f UTF-16LE -t UTF-8 "$marks" 2>/dev/null)" ""
oa_finish
