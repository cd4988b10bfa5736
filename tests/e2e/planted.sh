#!/bin/bash
# A user has planted DLLs in the application folder and in the panel's current folder, under
# the name of every DLL the panel loads that is not a known DLL, and Wine is told to prefer a
# DLL found on the search path over its own, as Windows' search order does (name=n,b). The
# panel must start, run its automatic start and the port check, and load none of them. Then
# oapanel.log is made a hard link to a file elsewhere: the panel must not write through it.
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
rm -f "$marks"
for name in "${names[@]}"; do cp "$plant" "$OA_APP_DIR/$name.dll" && cp "$plant" "$current/$name.dll"; done
overrides=$(printf ';%s=n,b' "${names[@]}")

# Only the panel gets the overrides and the current folder: the driver is a program of ours too.
(cd "$current" && WINEDLLOVERRIDES="$WINEDLLOVERRIDES$overrides" LC_ALL=$OA_PANEL_LOCALE \
    exec wine 'C:\OA\oapanel.exe' >>"$OA_RUN_DIR/panel.log" 2>&1) &
panel=$!
OA_BG_PIDS+=("$panel")
oa_driver --timeout 60 wait-window + wait-line "欢迎使用" + wait-last-line "启动 Tomcat" + \
    wait-last-line "成功" >/dev/null || oa_die "the automatic start did not finish"
oa_expect_match "the port check runs" "$(oa_driver --timeout 20 click "$(oa_id cmdCheckPort)" + \
    wait-last-line "TOMCAT端口")" "TOMCAT端口 8080 正在使用\$"
oa_expect_eq "no planted DLL was loaded" "$(iconv -f UTF-16LE -t UTF-8 "$marks" 2>/dev/null)" ""

# The log file made a second name of a file the user wants the panel to write to.
other="$WINEPREFIX/drive_c/other.txt"
echo theirs >"$other"
ln -f "$other" "$OA_APP_DIR/oapanel.log"
oa_expect_match "the panel says the log file is a link" "$(oa_driver --timeout 20 \
    click "$(oa_id cmdCheckPort)" + wait-line "（文件是链接）")" '无法写入日志文件：C:\\OA\\oapanel\.log（文件是链接）$'
oa_expect_eq "nothing was written through the link" "$(cat "$other")" "theirs"
oa_finish
