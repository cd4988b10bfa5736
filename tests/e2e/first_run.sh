#!/bin/bash
# A machine where JRE_BK_HOME was never set, with a web container that never gets past
# START_PENDING. In order: a folder with a blank is refused before anything is written; the
# first start from C:\OA sets JRE_BK_HOME and the user's PATH and ends; the next start opens
# the window and gives the web container up after 30 s; a second panel is turned away;
# 检测服务 finds the services at home; a new panel counts the pending web container as
# started; 卸载服务 removes both services and ends the panel.
#   first_run.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
source "$(dirname "$0")/lib.sh"
oa_init "$@"
lbl_tomcat=$(oa_id lblTomcat) lbl_mysql=$(oa_id lblMysql) lbl_oa=$(oa_id lblOA)
cmd_oa=$(oa_id cmdOA) cmd_reinstall=$(oa_id cmdReinstall)
echo "start=never" >"$OA_APP_DIR/tomcat6/bin/tomcat6svc.knobs"

services() { oa_driver --timeout "$1" wait-service Tomcat6Brackwen "$2" + wait-service MySQL5Brackwen "$3"; }

# expect_refusal WHAT TEXT: the panel shows TEXT with only OK and no window, then ends.
expect_refusal() {
    oa_expect_eq "$1: OK only, no main window" "$(oa_driver msgbox + windows + answer OK)" \
        $'OK\n'"$2"$'\n0\nOK\n'"$2"
    oa_expect_exit "$1: the panel ends" "$OA_LAST_PID"
    oa_expect_eq "$1: no tray icon left" "$(oa_driver tray-shown)" 0
}

oa_wine reg delete "$OA_ENV_KEY" /v JRE_BK_HOME /f >/dev/null || oa_die "cannot remove JRE_BK_HOME"
[[ -z $(oa_reg_value 'HKCU\Environment' PATH) ]] || oa_die "the template prefix has a user PATH"

mkdir -p "$WINEPREFIX/drive_c/OA 2010"
cp -a "$OA_APP_DIR/." "$WINEPREFIX/drive_c/OA 2010/"
oa_launch_panel 'C:\OA 2010\oapanel.exe'
expect_refusal "folder with a blank" $'运行路径：[C:\\OA 2010]\n\n路径不能包含空格、中文，请更换路径后重新运行'
oa_expect_eq "folder with a blank: no JRE_BK_HOME, user PATH, service or server run" \
    "$(oa_reg_value "$OA_ENV_KEY" JRE_BK_HOME)$(oa_reg_value 'HKCU\Environment' PATH) $(services 1 MISSING MISSING | tr '\n' ' ')$(find "$WINEPREFIX/drive_c" -path '*OA*' -name '*.log')" \
    " MISSING MISSING "

oa_launch_panel
expect_refusal "first start" $'您第一次运行管理中心，正在自动设置环境变量，请重新运行\n\nJRE_BK_HOME = [C:\\OA\\jre16bk]'
oa_expect_match "first start: JRE_BK_HOME names the runtime folder" \
    "$(oa_reg_value "$OA_ENV_KEY" JRE_BK_HOME)" '^REG_(EXPAND_)?SZ C:\\OA\\jre16bk$'
oa_expect_match "first start: the user PATH has the runtime's bin folder" \
    "$(oa_reg_value 'HKCU\Environment' PATH)" '^REG_(EXPAND_)?SZ (.*;)?C:\\OA\\jre16bk\\bin(;.*)?$'

# The second start opens the window; the web container's start is given up after 30 s, one
# dot every 2 s of the wait after the three of "启动 Tomcat...". The driver watches before the
# panel exists, so its stamps are when the panel did it, give or take 20 ms.
oa_launch_watched --timeout 45 wait-window + wait-last-line "启动 Tomcat" + stamp + \
    wait-last-line "失败" + stamp || oa_die "the Tomcat line did not end in 失败; the driver saw: ${OA_SEEN[*]}"
panel=$OA_LAST_PID
oa_expect_eq "second start: no message box" "$(oa_driver --timeout 1 msgbox 2>/dev/null)" ""
waited=$(($(oa_ms "${OA_SEEN[4]}") - $(oa_ms "${OA_SEEN[2]}")))
if ((waited >= 29500 && waited <= 33000)); then
    oa_pass "a web container stuck starting is given up after $((waited / 100))/10 s"
else
    oa_fail "a web container stuck starting is given up after about 30 s" "it took ${waited} ms"
fi
mapfile -t log < <(oa_driver list)
oa_expect_match "MySQL starts, the Tomcat line shows the wait and ends in 失败" \
    "${log[1]}"$'\n'"${log[2]}" \
    "^${OA_TIME}启动 MySQL\\.{3,}成功"$'\n'"${OA_TIME}启动 Tomcat\\.{3}\\.{13,16}失败\$"
oa_expect_eq "labels and OA button after the failed start" \
    "$(oa_driver text "$lbl_tomcat" + text "$lbl_mysql" + text "$lbl_oa" + text "$cmd_oa" | tr '\n' ' ')" \
    "Tomcat:已停止 MySQL:已启动 OA:已停止 启动 &OA "
oa_expect_eq "nothing answers on 8080 after the failed start" "$(oa_port_open 8080 && echo open)" ""

# A second panel says so, goes away after OK and leaves the first as it was.
log_before=$(oa_driver list)
oa_launch_panel
second=$OA_LAST_PID
oa_expect_eq "a second panel says the first runs, with OK only and no window of its own" \
    "$(oa_driver msgbox + windows)" $'OK\n您已经运行这个应用程序了\n1'
oa_expect_eq "the second panel waits for OK" "$(oa_alive "$second" && echo waits)" waits
oa_driver answer OK >/dev/null || oa_die "could not answer the message box"
oa_expect_exit "the second panel ends after OK" "$second"
oa_expect_eq "the first panel still runs, its one window and log unchanged" \
    "$(oa_alive "$panel" && oa_driver windows + list)" "1"$'\n'"$log_before"

oa_driver click "$(oa_id cmdCheckService)" + wait-line "运行环境正常" >/dev/null
mapfile -t log < <(oa_driver list)
oa_expect_eq "检测服务 names the environment and finds both services at home" \
    "${log[-2]#* - } ${log[-1]#* - }" '当前运行环境：C:\OA\jre16bk 运行环境正常'

# 退出 asks while MySQL runs; a new panel counts the pending web container as started.
oa_driver click "$(oa_id cmdExit)" + answer OK >/dev/null || oa_die "cannot leave the panel"
oa_expect_exit "退出 with OK ends the panel" "$panel"
oa_launch_panel
panel=$OA_LAST_PID
oa_expect_eq "Tomcat label with the service START_PENDING before the panel" \
    "$(oa_driver wait-service Tomcat6Brackwen START_PENDING + wait-window + wait-line "欢迎使用" + \
        text "$lbl_tomcat" + wait-line "启动 Tomcat" + wait-last-line "已启动" | sed -n '1p;4p')" \
    $'START_PENDING\nTomcat:已启动'

# 卸载服务: Cancel changes nothing; OK stops and removes both services, then the panel ends.
oa_expect_eq "卸载服务 asks first; Cancel keeps the services" \
    "$(oa_driver click "$cmd_reinstall" + answer Cancel)"$'\n'"$(services 1 START_PENDING RUNNING)" \
    $'OK Cancel\n卸载服务不会影响OA的数据，是否卸载？\nSTART_PENDING\nRUNNING'
oa_expect_eq "after OK the panel says it will end" \
    "$(oa_driver click "$cmd_reinstall" + answer OK + answer OK | tail -n 2)" $'OK\n本程序将退出'
oa_expect_exit "卸载服务 ends the panel" "$panel"
oa_expect_eq "卸载服务 removes both services" "$(services 10 MISSING MISSING)" $'MISSING\nMISSING'
oa_expect_ports "after 卸载服务" closed
oa_expect_eq "no tray icon left after 卸载服务" "$(oa_driver tray-shown)" 0

oa_finish
