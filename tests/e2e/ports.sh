#!/bin/bash
# The port check and the address link: with both servers up, "检查端口(&C)" finds both ports
# in use; after the whole system is stopped it finds them free. The address link shows the
# machine's address with the OA path.
#   ports.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
source "$(dirname "$0")/lib.sh"
oa_init "$@"
cmd_check_port=$(oa_id IDC_cmdCheckPort) cmd_oa=$(oa_id IDC_cmdOA) lbl_ip=$(oa_id IDC_lblIP)
time_prefix='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} - '

# check_ports WHEN DB_STATE WEB_STATE: the two lines the check adds, and which one is selected.
check_ports() {
    local before count selected
    before=$(oa_driver list | wc -l)
    oa_driver click "$cmd_check_port" + wait-last-line "TOMCAT端口" >/dev/null ||
        oa_die "$1: the port check wrote nothing"
    mapfile -t log < <(oa_driver list)
    count=${#log[@]}
    selected=$(oa_driver selected)
    oa_expect_eq "$1: two lines" "$((count - before))" 2
    oa_expect_match "$1: database port" "${log[count - 2]}" "^${time_prefix}数据库端口 3307 $2$"
    oa_expect_match "$1: web container port" "${log[count - 1]}" "^${time_prefix}TOMCAT端口 8080 $3$"
    oa_expect_eq "$1: the last line is selected" "$selected" "$((count - 1))"
}

oa_launch_panel
oa_driver --timeout 30 wait-window + wait-last-line "启动 Tomcat" + wait-last-line "成功" >/dev/null ||
    oa_die "the servers did not start: $(oa_driver list)"

oa_expect_match "the address link" "$(oa_driver text "$lbl_ip")" '^http://[0-9]+(\.[0-9]+){3}:8080/oa$'

check_ports "both servers running" "正在使用" "正在使用"

oa_driver click "$cmd_oa" + msgbox-answer OK + wait-last-line "停止 澜栖OA" >/dev/null ||
    oa_die "the whole system did not stop: $(oa_driver list)"
check_ports "both servers stopped" "空闲" "空闲"

oa_finish
