#!/bin/bash
# A first start on a machine without the services: the window, the welcome line in the
# activity log and the Tomcat label; then the welcome line again from another folder.
#   startup.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
source "$(dirname "$0")/lib.sh"
oa_init "$@"
lbl_tomcat=$(oa_id IDC_lblTomcat) || exit 1
time_prefix='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} - '

# Keep the web container unregistered even if the panel tries to install it on its own.
echo "register=never" >"$OA_APP_DIR/tomcat6/bin/tomcat6svc.knobs"

oa_launch_panel
# One look, taken the moment the welcome line shows: about a second later the panel starts
# the services on its own and logs (and selects) more lines.
look=$(oa_driver wait-window + wait-line "欢迎使用" + selected + text "$lbl_tomcat" + list) ||
    oa_die "no main window with a welcome line; the driver saw:"$'\n'"$look"
mapfile -t seen <<<"$look"
oa_expect_eq "window title" "${seen[0]}" "oapanel - V1.6.9"
oa_expect_eq "welcome line comes first" "${seen[4]}" "${seen[1]}"
oa_expect_match "welcome line starts with the time" "${seen[1]}" "$time_prefix"
oa_expect_eq "welcome line names the application folder" "${seen[1]#* - }" \
    "欢迎使用澜栖OA系统，运行路径：C:\\OA"
oa_expect_eq "welcome line is selected" "${seen[2]}" 0
# Tomcat6Brackwen is not installed and cannot be, so nothing can have started it either.
oa_expect_eq "Tomcat label without the service" "${seen[3]}" "Tomcat:已停止"

# The folder in the welcome line is wherever the exe is, not a fixed C:\OA.
oa_stop_prefix
mkdir -p "$WINEPREFIX/drive_c/Apps"
cp -a "$OA_APP_DIR" "$WINEPREFIX/drive_c/Apps/OA2"
# JRE_BK_HOME still names C:\OA: the panel asks whether to repoint it; Cancel opens the window.
oa_launch_panel 'C:\Apps\OA2\oapanel.exe'
question=$(oa_driver msgbox-answer Cancel) || oa_die "no question about the other runtime folder"
oa_expect_contains "the question names both runtime folders" "$question" \
    "当前环境变量 = [C:\Apps\OA2\jre16bk]"
first=$(oa_driver wait-line "欢迎使用") || oa_die "no welcome line when started from C:\\Apps\\OA2"
oa_expect_eq "welcome line follows the exe's folder" "${first#* - }" \
    "欢迎使用澜栖OA系统，运行路径：C:\\Apps\\OA2"

oa_finish
