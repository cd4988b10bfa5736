#!/bin/bash
# The tray icon while both servers run: a double-click brings the hidden window back; the
# right button opens the menu (打开, 重新启动, 退出), whose 退出 asks before leaving the servers
# running; then the OA button stops and starts the whole system.
#   tray.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
source "$(dirname "$0")/lib.sh"
oa_init "$@"
lbl_tomcat=$(oa_id IDC_lblTomcat) lbl_mysql=$(oa_id IDC_lblMysql) lbl_oa=$(oa_id IDC_lblOA)
cmd_oa=$(oa_id IDC_cmdOA)
time_prefix='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} - '
# The mouse messages the shell posts for the icon.
double_click=0x203 right_button_up=0x205

port_open() { timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null; }

expect_ports() {
    local port state
    for port in 3307 8080; do
        if port_open "$port"; then state=open; else state=closed; fi
        oa_expect_eq "$1: 127.0.0.1:$port" "$state" "$2"
    done
}

# expect_status WHEN SERVER_WORD BUTTON: the three labels and the OA button's caption.
expect_status() {
    local -a shown
    mapfile -t shown < <(oa_driver text "$lbl_tomcat" + text "$lbl_mysql" + text "$lbl_oa" + text "$cmd_oa")
    oa_expect_eq "$1: labels" "${shown[*]:0:3}" "Tomcat:$2 MySQL:$2 OA:$2"
    oa_expect_eq "$1: OA button" "${shown[3]}" "$3"
}

oa_launch_panel
panel=$OA_LAST_PID
oa_driver --timeout 30 wait-window + wait-last-line "启动 Tomcat" + wait-last-line "成功" >/dev/null ||
    oa_die "the servers did not start: $(oa_driver list)"

mapfile -t seen < <(oa_driver close + is-visible-window + post-tray $double_click + wait-window + \
    is-visible-window)
oa_expect_eq "close box hides the window" "${seen[0]}" 0
oa_expect_eq "double-click on the icon shows it again" "${seen[2]:-hidden}" 1

mapfile -t seen < <(oa_driver close + post-tray $right_button_up + menu-items + menu-pick "打开" + \
    wait-window + is-visible-window)
oa_expect_eq "tray menu items" "${seen[*]:0:4}" "打开 重新启动 - 退出"
oa_expect_eq "打开 shows the hidden window" "${seen[5]:-hidden}" 1

# 重新启动: both servers go down and come back, the database first.
before=$(oa_driver list | wc -l)
oa_driver --timeout 30 post-tray $right_button_up + menu-pick "重新启动" + wait-line "停止 Tomcat" + \
    wait-last-line "启动 Tomcat" + wait-last-line "成功" >/dev/null || oa_die "重新启动 did not finish"
mapfile -t log < <(oa_driver list)
restart=("${log[@]:before}")
oa_expect_eq "重新启动 adds four lines" "${#restart[@]}" 4
for i in 0 1 2 3; do
    want=("停止 Tomcat" "停止 MySQL" "启动 MySQL" "启动 Tomcat")
    oa_expect_match "重新启动: ${want[i]}" "${restart[i]}" "${time_prefix}${want[i]}\\.{3,}成功$"
done
for stub in tomcat6/bin/tomcat6svc mysql5/bin/mysqld2; do
    oa_expect_eq "${stub##*/} was stopped and started again" \
        "$(grep -cE 'stopped|running' "$OA_APP_DIR/$stub.log" | tr -d ' ')" 3
done

# 退出 with the servers running asks first; Cancel keeps everything as it was.
mapfile -t seen < <(oa_driver post-tray $right_button_up + menu-pick "退出" + msgbox-buttons + \
    msgbox-answer Cancel)
oa_expect_eq "退出 asks while the servers run" "${seen[*]:2}" "OA服务将继续运行，是否退出？"
oa_expect_eq "the question offers OK and Cancel" "${seen[*]:0:2}" "OK Cancel"
sleep 1
oa_expect "Cancel keeps the panel" oa_alive "$panel"
mapfile -t seen < <(oa_driver is-visible-window + tray-shown)
oa_expect_eq "Cancel keeps the window and the icon" "${seen[*]}" "1 1"
expect_ports "after Cancel" open

# The OA button stops the system after asking, and starts it again without asking.
mapfile -t seen < <(oa_driver click "$cmd_oa" + msgbox-buttons + msgbox-answer OK)
oa_expect_eq "stopping OA asks first" "${seen[*]}" "OK Cancel 确定停止OA服务吗？"
line=$(oa_driver --timeout 30 wait-last-line "停止 澜栖OA")
oa_expect_match "the system stops" "$line" "${time_prefix}停止 澜栖OA\\.\\.\\.成功$"
expect_status "after 停止 OA" 已停止 "启动 &OA"
expect_ports "after 停止 OA" closed

oa_driver click "$cmd_oa" >/dev/null || oa_die "cannot click 启动 OA"
line=$(oa_driver --timeout 40 wait-last-line "启动 澜栖OA")
oa_expect_match "the system starts" "$line" "${time_prefix}启动 澜栖OA\\.\\.\\.成功$"
expect_status "after 启动 OA" 已启动 "停止 &OA"
expect_ports "after 启动 OA" open

# 退出 with OK: the panel goes, its icon with it, and the servers keep running.
oa_driver post-tray $right_button_up + menu-pick "退出" + msgbox-answer OK >/dev/null ||
    oa_die "cannot leave through the tray menu"
if oa_wait_exit "$panel" 10; then
    oa_expect_eq "退出 with OK ends the panel, exit code" "$OA_EXIT_CODE" 0
else
    oa_fail "退出 with OK ends the panel" "PID $panel still runs 10 s later"
fi
oa_expect_eq "the icon goes with the panel" "$(oa_driver tray-shown)" 0
expect_ports "after the panel left" open

oa_finish
