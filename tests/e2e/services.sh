#!/bin/bash
# A machine where the panel starts the OA system for the first time, optionally with another
# Windows version set for the prefix (winxp64):
#   services.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR [WINDOWS_VERSION]
# In order: the window and welcome line at start-up; the automatic start about a second after
# the window shows (MySQL, then Tomcat); the address link and the port check; the tray icon
# (double-click, 打开, 重新启动, 退出 with Cancel); the OA button stopping and starting the whole
# system; a slow start the user clicks into, and the log file; a database stopped and started
# from outside; a web container that dies; 退出 with OK leaving the servers running; and a new
# panel that finds the web container already running.
version=$5
OA_NAME=services${version:+_$version}
source "$(dirname "$0")/lib.sh"
oa_init "${@:1:4}"
lbl_tomcat=$(oa_id lblTomcat) cmd_oa=$(oa_id cmdOA) cmd_tomcat=$(oa_id cmdTomcat)
double_click=0x203 # the mouse message the shell posts for a double-click on the icon
menu_open=1 menu_restart=2 menu_exit=3    # the tray menu's items, counted past the separator

if [[ -n $version ]]; then # XP x64 is 5.2.3790
    oa_wine winecfg -v "$version" && [[ $(oa_wine cmd /c ver) == *5.2.3790* ]] ||
        oa_die "cannot set the Windows version $version"
fi

# expect_status WHEN EXPECTED: the labels of Tomcat, MySQL and OA, the OA button's caption and
# whether the stub ports answer, on one line.
expect_status() {
    oa_expect_eq "$1: labels, OA button, ports" "$(oa_driver text "$lbl_tomcat" + text "$(oa_id lblMysql)" + \
        text "$(oa_id lblOA)" + text "$cmd_oa" | tr '\n' ' ')$(oa_ports)" "$2"
}

# check_ports WHEN WORD: the two lines the port check adds, the last one selected. The stubs'
# owner cannot be named under Wine (its table gives PID 0), so the lines end with the word.
check_ports() {
    local log
    mapfile -t log < <(oa_driver click "$(oa_id cmdCheckPort)" + wait-last-line "TOMCAT端口" >/dev/null && oa_driver list + selected)
    oa_expect_match "$1: port check, its last line selected" "$(printf '%s\n' "${log[@]: -3}")" \
        "^${OA_TIME}数据库端口 3307 $2"$'\n'"${OA_TIME}TOMCAT端口 8080 $2"$'\n'"$((${#log[@]} - 2))\$"
}

# The web container's /oa answers 404 for its first 4 seconds, as a deploying OA application does.
tomcat_knobs="$OA_APP_DIR/tomcat6/bin/tomcat6svc.knobs"
echo ready_delay=4000 >"$tomcat_knobs"
oa_launch_watched --timeout 40 wait-window + stamp + wait-line "欢迎使用" + selected + \
    text "$lbl_tomcat" + wait-line "启动 MySQL" + stamp + wait-last-line "启动 Tomcat" + \
    wait-last-line "成功" + wait-line "OA 已就绪" || oa_die "the automatic start did not finish; the driver saw: ${OA_SEEN[*]}"
panel=$OA_LAST_PID
# The timer starts at the end of the start-up, just before the window shows: a second later
# the automatic start begins, give or take the driver's polling and a loaded machine.
oa_expect_between "automatic start begins about 1 s after the window shows" "${OA_SEEN[1]}" \
    "${OA_SEEN[6]}" 700 2500
# The database is ready when it greets, before the web container starts; OA only once /oa
# answers 200, not before the stub's 4 seconds of 404.
oa_expect_match "title; welcome line, selected, and the Tomcat label before the service exists; MySQL started and ready, then Tomcat started and OA ready" \
    "${OA_SEEN[0]}|${OA_SEEN[*]:3:2}|$(oa_driver list)" \
    "^oapanel - V1\\.6\\.9\\|0 Tomcat:已停止\\|${OA_TIME}欢迎使用澜栖OA系统，运行路径：C:\\\\OA"$'\n'"${OA_TIME}启动 MySQL\\.{3,}成功"$'\n'"${OA_TIME}MySQL 已就绪（5\\.0\\.96-stub，用时 [0-9]+ 秒）"$'\n'"${OA_TIME}启动 Tomcat\\.{3,}成功"$'\n'"${OA_TIME}OA 已就绪（HTTP 200，用时 ([4-9]|[1-9][0-9]) 秒）\$"
: >"$tomcat_knobs"
oa_expect_match "the address link" "$(oa_driver text "$(oa_id lblIP)")" \
    '^http://[0-9]+(\.[0-9]+){3}:8080/oa$'
check_ports "both servers running" 正在使用

# The tray: the close box only hides the window, the icon stays; a double-click or 打开 brings
# the window back.
mapfile -t seen < <(oa_driver close + windows + tray-shown + post-tray $double_click + wait-window + \
    close + tray-menu $menu_open + wait-window)
oa_expect_eq "close box hides, the icon stays; double-click and 打开 show the window again" \
    "${#seen[@]} ${seen[*]:0:2}" "4 0 1"

# 重新启动: both servers go down and come back, the database first and ready before the web
# container starts: six lines after the port check's.
printf -v want "\n${OA_TIME}%s\\\\.{3,}成功" "停止 Tomcat" "停止 MySQL" "启动 MySQL"
want+=$'\n'"${OA_TIME}MySQL 已就绪（[^）]*）"$'\n'"${OA_TIME}启动 Tomcat\\.{3,}成功"$'\n'"${OA_TIME}OA 已就绪（[^）]*）"
oa_expect_match "重新启动 stops Tomcat and MySQL, then starts MySQL and Tomcat" \
    "$(oa_driver --timeout 30 tray-menu $menu_restart + wait-line "停止 Tomcat" + \
        wait-last-line "OA 已就绪" >/dev/null &&
        oa_driver list | tail -n 7)" \
    "^${OA_TIME}TOMCAT端口 8080 正在使用${want}\$"

# 退出 while the servers run asks first; Cancel keeps everything as it was.
oa_expect_eq "退出 asks while the servers run; Cancel keeps the panel, its window and icon" \
    "$(oa_driver tray-menu $menu_exit + msgbox Cancel && sleep 1 &&
        oa_alive "$panel" && oa_driver windows + tray-shown)" $'OK Cancel\nOA服务将继续运行，是否退出？\n1\n1'

# The OA button stops the whole system after asking, and starts it again without asking.
oa_expect_match "stopping OA asks first, then the system stops" \
    "$(oa_driver --timeout 30 click "$cmd_oa" + msgbox OK + wait-last-line "停止 澜栖OA")" \
    "^OK Cancel"$'\n'"确定停止OA服务吗？"$'\n'"${OA_TIME}停止 澜栖OA\\.\\.\\.成功\$"
expect_status "after 停止 OA" "Tomcat:已停止 MySQL:已停止 OA:已停止 启动 &OA closed closed"
check_ports "both servers stopped" 空闲
oa_expect_match "the system starts" "$(oa_driver --timeout 40 click "$cmd_oa" + wait-line "启动 澜栖OA")" \
    "^${OA_TIME}启动 澜栖OA\\.\\.\\.成功\$"
expect_status "after 启动 OA" "Tomcat:已启动 MySQL:已启动 OA:已启动 停止 &OA open open"

# A click on an older line while the web container starts slowly: the dots and the outcome stay
# on the start's own line, the selection stays where the user put it, and oapanel.log gets the
# line once it is final.
oa_driver --timeout 30 click "$cmd_tomcat" + wait-last-line "停止 Tomcat" + wait-last-line "成功" >/dev/null
printf 'start_delay=5000\nready_delay=3000\n' >"$tomcat_knobs"  # OA ready well after 成功
mapfile -t seen < <(oa_driver --timeout 30 click "$cmd_tomcat" + wait-last-line "启动 Tomcat" + \
    select 0 + wait-last-line "成功" + selected)
: >"$tomcat_knobs"
oa_expect_match "a slow start ends on its own line, the user's pick kept" "${seen[*]: -2}" \
    "^${OA_TIME}启动 Tomcat\\.{5,}成功 0\$"
oa_driver --timeout 20 wait-last-line "OA 已就绪" >/dev/null && sleep 1
oa_expect_log_file "after a click on an older line during a start"

# Someone else stops the database and starts it again: the panel says both, and asks it again
# whether it answers.
oa_wine net stop MySQL5Brackwen >/dev/null 2>&1 && sleep 3 && oa_wine net start MySQL5Brackwen >/dev/null 2>&1
oa_expect_match "a database stopped and started from outside" \
    "$(oa_driver --timeout 20 wait-last-line "MySQL 已就绪" >/dev/null && oa_driver list | tail -n 3)" \
    "^${OA_TIME}MySQL 已被其他程序停止"$'\n'"${OA_TIME}MySQL 已被其他程序启动"$'\n'"${OA_TIME}MySQL 已就绪（5\\.0\\.96-stub，用时 [0-9]+ 秒）\$"

# A web container that dies 3 s after it runs: the death with its reason and its own last words,
# and the window shows the system down.
echo die_after=3000 >"$tomcat_knobs"
oa_driver --timeout 30 click "$cmd_tomcat" + wait-last-line "停止 Tomcat" + wait-last-line "成功" >/dev/null
oa_expect_match "a web container that dies after it runs" \
    "$(oa_driver --timeout 30 click "$cmd_tomcat" + wait-line "Tomcat 意外停止" >/dev/null && sleep 1 &&
        oa_driver list | grep -A1 "Tomcat 意外停止")" \
    "^${OA_TIME}Tomcat 意外停止：服务已停止（错误 1067：[^）]+）"$'\n'"${OA_TIME}Tomcat 日志：严重: Error processing request；java\\.lang\\.OutOfMemoryError: Java heap space\$"
: >"$tomcat_knobs"
expect_status "after the death" "Tomcat:已停止 MySQL:已启动 OA:已停止 启动 &OA open closed"
oa_driver --timeout 30 click "$cmd_tomcat" + wait-last-line "OA 已就绪" >/dev/null

# 退出 with OK: the panel goes, its icon with it, and the servers keep running.
oa_driver tray-menu $menu_exit + msgbox OK >/dev/null ||
    oa_die "cannot leave through the tray menu"
oa_expect_exit "退出 with OK ends the panel" "$panel"
oa_expect_eq "the servers keep running after the panel left" "$(oa_ports)" "open open"

# A new panel sees the web container running from the moment its window shows.
oa_launch_panel
oa_expect_eq "Tomcat label with the service running before the panel" \
    "$(oa_driver wait-window + wait-line "欢迎使用" + text "$lbl_tomcat" | tail -n 1)" "Tomcat:已启动"

oa_finish
