#!/bin/bash
# A machine where JRE_BK_HOME was never set, with servers that misbehave. In order:
# - a folder with a blank is refused before anything is written; the first start from C:\OA
#   sets JRE_BK_HOME and the user's PATH and ends;
# - a start from C:\Apps\OA2, whose installers refuse, asks about the runtime folder, shows the
#   window laid out as designed at 96 dpi and after a resize, and leaves through 退出 without
#   asking;
# - the next start from C:\OA waits out a database 20 s starting, gives a web container that
#   dies at start-up up at once and says why, in the window and in oapanel.log; a second panel
#   is turned away; with another program on 8080 the port check and a start say so; a web
#   container stuck starting is given up after 30 s; a new panel counts the pending
#   web container as started; 卸载服务 removes both services and ends the panel;
# - the session ends while a new panel waits on a database stuck starting: the panel leaves at
#   once, starts nothing more and leaves the database as it was.
#   first_run.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
source "$(dirname "$0")/lib.sh"
oa_init "$@"
lbl_tomcat=$(oa_id lblTomcat) cmd_tomcat=$(oa_id cmdTomcat)
tomcat_knobs="$OA_APP_DIR/tomcat6/bin/tomcat6svc.knobs" mysql_knobs="$OA_APP_DIR/mysql5/bin/mysqld2.knobs"

services() { oa_driver --timeout "$1" wait-service Tomcat6Brackwen "$2" + wait-service MySQL5Brackwen "$3"; }

# expect_refusal WHAT TEXT: the panel shows TEXT with only OK and no window, then ends.
expect_refusal() {
    oa_expect_eq "$1: OK only, no main window" "$(oa_driver msgbox + windows + msgbox OK)" \
        $'OK\n'"$2"$'\n0\nOK\n'"$2"
    oa_expect_exit "$1: the panel ends" "$OA_LAST_PID"
}

oa_wine reg delete "$OA_ENV_KEY" /v JRE_BK_HOME /f >/dev/null || oa_die "cannot remove JRE_BK_HOME"
[[ -z $(oa_reg_value 'HKCU\Environment' PATH) ]] || oa_die "the template prefix has a user PATH"

mkdir -p "$WINEPREFIX/drive_c/OA 2010" "$WINEPREFIX/drive_c/Apps"
cp -a "$OA_APP_DIR/." "$WINEPREFIX/drive_c/OA 2010/"
oa_launch_panel 'C:\OA 2010\oapanel.exe'
expect_refusal "folder with a blank" $'运行路径：[C:\\OA 2010]\n\n路径不能包含空格、中文，请更换路径后重新运行'
oa_expect_eq "folder with a blank: no JRE_BK_HOME, user PATH, service or server run" \
    "$(oa_reg_value "$OA_ENV_KEY" JRE_BK_HOME)$(oa_reg_value 'HKCU\Environment' PATH) $(services 1 MISSING MISSING | tr '\n' ' ')$(find "$WINEPREFIX/drive_c" -path '*OA*' -name '*.log')" \
    " MISSING MISSING "

oa_launch_panel
expect_refusal "first start" $'您第一次运行管理中心，正在自动设置环境变量，请重新运行\n\nJRE_BK_HOME = [C:\\OA\\jre16bk]'
oa_expect_match "first start: JRE_BK_HOME names the runtime folder, the user PATH its bin folder" \
    "$(oa_reg_value "$OA_ENV_KEY" JRE_BK_HOME)|$(oa_reg_value 'HKCU\Environment' PATH)" \
    '^REG_(EXPAND_)?SZ C:\\OA\\jre16bk\|REG_(EXPAND_)?SZ (.*;)?C:\\OA\\jre16bk\\bin(;.*)?$'

# Started from C:\Apps\OA2 while JRE_BK_HOME names C:\OA's runtime: the panel asks whether to
# repoint it; Cancel opens the window, whose welcome line names the exe's own folder.
oa2="$WINEPREFIX/drive_c/Apps/OA2"
cp -a "$OA_APP_DIR" "$oa2"
echo register=never | tee "$oa2/tomcat6/bin/tomcat6svc.knobs" "$oa2/mysql5/bin/mysqld2.knobs" >/dev/null
oa_launch_panel 'C:\Apps\OA2\oapanel.exe'
panel=$OA_LAST_PID
oa_expect_match "a start from another folder asks to repoint the runtime there; the welcome line names it" \
    "$(oa_driver msgbox Cancel + wait-window + wait-line "欢迎使用" + wait-line "启动 MySQL")" \
    "当前环境变量 = \\[C:\\\\Apps\\\\OA2\\\\jre16bk\\].* - 欢迎使用澜栖OA系统，运行路径：C:\\\\Apps\\\\OA2"$'\n'

# The layout, read while the panel waits on the installers. Where it puts each control shown,
# in twips, for the window's outer width W and height H: left top width height, each within
# 1 px of twips * 96 / 1440. The activity log may be up to 24 px shorter than H - 1500, as the
# list box shows whole lines only; the contact line sits 100 twips under it. The others are
# hidden.
declare -A design=(
    [cmdOA]="W-4570 120 1335 375" [cmdExit]="W-3085 120 1335 375" [cmdAdvance]="W-1600 120 1335 375"
    [lstView]="75 675 W-1850 H-1500" [cmdCheckPort]="W-1600 720 1335 375"
    [cmdTomcat]="W-1600 1320 1335 375" [cmdMysql]="W-1600 1920 1335 375"
    [lblTomcat]="120 100 1455 255" [lblMysql]="1440 100 1215 255" [lblOA]="2640 100 1215 255"
    [lblBrackwen]="120 4800 7815 255" [lblIP]="960 360 3375 255" [lblAddressTitle]="120 360 650 255"
    [cmdReinstall]="W-1600 2520 1335 375" [cmdCheckService]="W-1600 3120 1335 375")
names=("${!design[@]}" cmdStart cmdStop cmdMysqlStart cmdMysqlStop cmdConnect chkAuto picTrayEvents picSpare picStopped picRunning)

# expect_layout WHEN: every control shown or hidden, and placed, as above.
expect_layout() {
    local -a cmd=() lines got want
    local name i k t d W H list_h wrong=""
    for name in "${names[@]}" lstView; do cmd+=(place "$(oa_id "$name")" +); done
    mapfile -t lines < <(oa_driver "${cmd[@]}" place 0) || oa_die "cannot read the controls"
    read -r _ _ _ W H client <<<"${lines[-1]}"
    read -r _ _ _ _ list_h _ <<<"${lines[-2]}"
    frame="$W $H" W=$((W * 15)) H=$((H * 15))
    for i in "${!names[@]}"; do
        name=${names[i]} want=(0)
        read -ra got <<<"${lines[i]}"
        # The design in pixels at 96 dpi, after 1 for shown; each number may use W and H.
        for t in ${design[$name]}; do want+=($(((t * 96 + 720) / 1440))) && want[0]=1; done
        [[ $name == lstView ]] && ((list_h <= want[4] && want[4] - list_h < 24)) && want[4]=$list_h
        [[ $name == lblBrackwen ]] && want[2]=$((list_h + 52)) # 775 twips
        for k in "${!want[@]}"; do # shown exactly, the rest within 1 px
            ((d = got[k] - want[k], d * d > (k > 0))) && wrong+=" $name at ${got[*]}, not ${want[*]};" && break
        done
    done
    oa_expect_eq "$1: controls shown as designed and placed by the layout" "$wrong" ""
}
expect_layout "designed size"
oa_expect_eq "client area at 96 dpi" "$client" "652 340"
oa_driver resize 820 480 >/dev/null || oa_die "cannot resize the window"
expect_layout "820x480 frame"
oa_expect_eq "the frame took the new size" "$frame" "820 480"

# With both servers stopped 退出 ends the panel without asking.
oa_driver click "$(oa_id cmdExit)" >/dev/null || oa_die "cannot click 退出"
oa_expect_exit "退出 with both servers stopped ends the panel without asking" "$panel"

# Back in C:\OA: the database takes 20 s to start, the web container dies at start-up, and the
# panel gives it up at once: its line has a dot for every 2 s of waiting.
echo start_delay=20000 >"$mysql_knobs"
echo start=fail >"$tomcat_knobs"
oa_launch_panel
panel=$OA_LAST_PID
oa_driver --timeout 45 wait-window + wait-line "原因" >/dev/null || oa_die "no reason for the failed start"
mapfile -t log < <(oa_driver --timeout 1 list + selected + msgbox 2>/dev/null)
oa_expect_match "MySQL started after 20 s and greets; Tomcat failed, the reason and the server's own line below it, unselected; no message box" \
    "$(printf '%s\n' "${log[@]:1}")" "^${OA_TIME}启动 MySQL\\.{10,}成功"$'\n'"${OA_TIME}MySQL 已就绪（5\\.0\\.96-stub，用时 2[0-9] 秒）"$'\n'"${OA_TIME}启动 Tomcat\\.{3,5}失败"$'\n'"${OA_TIME}原因：服务已停止（错误 1067：[^）]+）"$'\n'"${OA_TIME}Tomcat 日志：严重: Error deploying web application directory oa；java\\.lang\\.OutOfMemoryError: PermGen space"$'\n'"3\$"
oa_expect_log_file "after a failed start"

# A second panel says so, goes away after OK and leaves the first as it was.
log_before=$(oa_driver list)
oa_launch_panel
second=$OA_LAST_PID
oa_expect_eq "a second panel says the first runs, with OK only and no window of its own, and waits" \
    "$(oa_driver msgbox + windows && oa_alive "$second" && echo waits && oa_driver msgbox OK >/dev/null)" \
    $'OK\n您已经运行这个应用程序了\n1\nwaits'
oa_expect_exit "the second panel ends after OK" "$second"
oa_expect_eq "the first panel still runs, its one window and log unchanged" \
    "$(oa_alive "$panel" && oa_driver windows + list)" "1"$'\n'"$log_before"

# Another program on 8080: under Wine the port check cannot name it (its table gives PID 0),
# and the web container cannot listen, so its start fails and says why.
: >"$tomcat_knobs"
mapfile -t seen < <(oa_driver --timeout 40 hold-port 8080 + click "$(oa_id cmdCheckPort)" + \
    wait-last-line "TOMCAT端口" + click "$cmd_tomcat" + wait-line "原因：端口" + list)
oa_expect_match "another program on 8080: the port check, then a failed start with its reason and the server's line" \
    "${seen[0]}"$'\n'"${seen[-3]}"$'\n'"${seen[-2]}"$'\n'"${seen[-1]}" "^${OA_TIME}TOMCAT端口 8080 正在使用"$'\n'"${OA_TIME}启动 Tomcat\\.{3,4}失败"$'\n'"${OA_TIME}原因：端口 8080 已被其他程序占用"$'\n'"${OA_TIME}Tomcat 日志：严重: Error initializing endpoint；java\\.net\\.BindException: Address already in use: JVM_Bind <null>:8080\$"

# A web container stuck starting is given up after 30 s, one dot every 2 s of the wait after
# the three of "启动 Tomcat...".
echo start=never >"$tomcat_knobs"
mapfile -t seen < <(oa_driver --poll 20 --timeout 45 click "$cmd_tomcat" + wait-last-line "启动 Tomcat" + \
    stamp + wait-last-line "原因" + stamp + list)
oa_expect_between "a web container stuck starting is given up after 30 s" "${seen[1]}" "${seen[3]}" 29500 33000
oa_expect_match "the Tomcat line shows the wait, ends in 失败 and says why" "${seen[-2]}"$'\n'"${seen[-1]}" \
    "^${OA_TIME}启动 Tomcat\\.{3}\\.{13,16}失败"$'\n'"${OA_TIME}原因：30 秒后服务仍为正在启动状态\$"

# 退出 asks while MySQL runs; a new panel counts the pending web container as started.
oa_driver click "$(oa_id cmdExit)" + msgbox OK >/dev/null || oa_die "cannot leave the panel"
oa_expect_exit "退出 with OK ends the panel" "$panel"
oa_launch_panel
panel=$OA_LAST_PID
oa_expect_eq "Tomcat label with the service START_PENDING before the panel" \
    "$(oa_driver wait-service Tomcat6Brackwen START_PENDING + wait-window + wait-line "欢迎使用" + \
        text "$lbl_tomcat" + wait-line "启动 Tomcat" + wait-last-line "已启动" | sed -n '1p;4p')" \
    $'START_PENDING\nTomcat:已启动'

# 卸载服务 asks; after OK it stops and removes both services, then the panel ends.
oa_expect_eq "卸载服务 asks first, then says the panel will end" \
    "$(oa_driver click "$(oa_id cmdReinstall)" + msgbox OK + msgbox OK)" \
    $'OK Cancel\n卸载服务不会影响OA的数据，是否卸载？\nOK\n本程序将退出'
oa_expect_exit "卸载服务 ends the panel" "$panel"
oa_expect_eq "卸载服务 removes both services, nothing answers on the ports" \
    "$(services 10 MISSING MISSING | tr '\n' ' ')$(oa_ports)" "MISSING MISSING closed closed"

# The session ends while the automatic start waits on a database stuck starting. The driver
# then watches the database for a few seconds (while it runs, the prefix's service manager
# stays up: Wine ends it with the last program); the web container was never installed.
echo start=never >"$mysql_knobs"
oa_launch_panel
oa_driver --timeout 20 wait-service MySQL5Brackwen START_PENDING >/dev/null || oa_die "MySQL was not started"
oa_expect_eq "the session's end: the waiting panel leaves within 5 s, starts nothing more, leaves the database starting" \
    "$(oa_driver --timeout 5 end-session + wait-service MySQL5Brackwen STOPPED 2>/dev/null
        oa_driver --timeout 1 wait-service Tomcat6Brackwen MISSING)" $'START_PENDING\nMISSING'
oa_expect_exit "the session's end ends the panel" "$OA_LAST_PID"

oa_finish
