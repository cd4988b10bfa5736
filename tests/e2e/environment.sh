#!/bin/bash
# The runtime environment on a machine where JRE_BK_HOME was never set: a folder with a blank
# is refused before anything is written; the first start from C:\OA sets JRE_BK_HOME and the
# user's PATH and ends; the next start opens the window, 检测服务 finds the services at home,
# and 卸载服务 removes both services and ends the panel.
#   environment.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
source "$(dirname "$0")/lib.sh"
oa_init "$@"
env_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
services=(Tomcat6Brackwen MySQL5Brackwen)

# reg_value KEY NAME: "TYPE DATA", or nothing when the value is not there.
reg_value() {
    oa_wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *\\(REG_[A-Z_]*\\) *\\(.*\\)\$/\\1 \\2/p"
}

port_open() { timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null; }

# expect_refusal WHAT PID TEXT: the panel shows TEXT with only OK and no window, then ends.
expect_refusal() {
    local -a seen
    mapfile -t seen < <(oa_driver msgbox-buttons + count-windows + msgbox-answer OK)
    oa_expect_eq "$1: only OK" "${seen[0]}" "OK"
    oa_expect_eq "$1: no main window shows" "${seen[1]}" 0
    oa_expect_eq "$1: message" "$(printf '%s\n' "${seen[@]:2}")" "$3"
    if oa_wait_exit "$2" 10; then
        oa_expect_eq "$1: the panel ends, exit code" "$OA_EXIT_CODE" 0
    else
        oa_fail "$1: the panel ends" "PID $2 still runs 10 s after OK"
    fi
    oa_expect_eq "$1: no tray icon left" "$(oa_driver tray-shown)" 0
}

oa_wine reg delete "$env_key" /v JRE_BK_HOME /f >/dev/null || oa_die "cannot remove JRE_BK_HOME"
[[ -z $(reg_value 'HKCU\Environment' PATH) ]] || oa_die "the template prefix has a user PATH"

# A blank in the folder: refused before JRE_BK_HOME, so nothing at all is written.
mkdir -p "$WINEPREFIX/drive_c/OA 2010"
cp -a "$OA_APP_DIR/." "$WINEPREFIX/drive_c/OA 2010/"
oa_launch_panel 'C:\OA 2010\oapanel.exe'
expect_refusal "folder with a blank" "$OA_LAST_PID" \
    $'运行路径：[C:\\OA 2010]\n\n路径不能包含空格、中文，请更换路径后重新运行'
oa_expect_eq "folder with a blank: JRE_BK_HOME still unset" "$(reg_value "$env_key" JRE_BK_HOME)" ""
oa_expect_eq "folder with a blank: no user PATH" "$(reg_value 'HKCU\Environment' PATH)" ""
oa_expect_eq "folder with a blank: no services" \
    "$(oa_driver --timeout 1 wait-service Tomcat6Brackwen MISSING + wait-service MySQL5Brackwen MISSING)" \
    $'MISSING\nMISSING'
logs=$(find "$WINEPREFIX/drive_c" -path '*OA*' -name '*.log')
oa_expect_eq "folder with a blank: no server ran" "$logs" ""

# The first start from C:\OA sets the environment and asks for a restart.
oa_launch_panel
expect_refusal "first start" "$OA_LAST_PID" \
    $'您第一次运行管理中心，正在自动设置环境变量，请重新运行\n\nJRE_BK_HOME = [C:\\OA\\jre16bk]'
oa_expect_match "first start: JRE_BK_HOME names the runtime folder" \
    "$(reg_value "$env_key" JRE_BK_HOME)" '^REG_(EXPAND_)?SZ C:\\OA\\jre16bk$'
path=$(reg_value 'HKCU\Environment' PATH)
oa_expect_match "first start: the user PATH has the runtime's bin folder" "$path" \
    '^REG_(EXPAND_)?SZ (.*;)?C:\\OA\\jre16bk\\bin(;.*)?$'

# The second start opens the window and starts the servers.
oa_launch_panel
panel=$OA_LAST_PID
oa_driver --timeout 30 wait-window + wait-last-line "启动 Tomcat" + wait-last-line "成功" >/dev/null ||
    oa_die "the second start did not open the window and start the servers: $(oa_driver list)"
oa_expect "second start: no message box" test -z "$(oa_driver --timeout 1 msgbox 2>/dev/null)"

oa_driver click "$(oa_id IDC_cmdCheckService)" + wait-line "运行环境正常" >/dev/null
mapfile -t log < <(oa_driver list)
oa_expect_eq "检测服务 names the environment" "${log[-2]#* - }" '当前运行环境：C:\OA\jre16bk'
oa_expect_eq "检测服务 finds both services at home" "${log[-1]#* - }" "运行环境正常"

# 卸载服务: Cancel changes nothing; OK stops and removes both services, then the panel ends.
cmd_reinstall=$(oa_id IDC_cmdReinstall)
mapfile -t seen < <(oa_driver click "$cmd_reinstall" + msgbox-buttons + msgbox-answer Cancel)
oa_expect_eq "卸载服务 asks first" "${seen[*]}" "OK Cancel 卸载服务不会影响OA的数据，是否卸载？"
oa_expect_eq "Cancel keeps the services running" \
    "$(oa_driver --timeout 1 wait-service Tomcat6Brackwen RUNNING + wait-service MySQL5Brackwen RUNNING)" \
    $'RUNNING\nRUNNING'
mapfile -t seen < <(oa_driver click "$cmd_reinstall" + msgbox-answer OK + msgbox-buttons + \
    msgbox-answer OK)
oa_expect_eq "after OK the panel says it will end" "${seen[*]:1}" "OK 本程序将退出"
if oa_wait_exit "$panel" 10; then
    oa_expect_eq "卸载服务 ends the panel, exit code" "$OA_EXIT_CODE" 0
else
    oa_fail "卸载服务 ends the panel" "PID $panel still runs 10 s later"
fi
oa_driver --timeout 10 wait-service Tomcat6Brackwen MISSING + wait-service MySQL5Brackwen MISSING \
    >/dev/null
for service in "${services[@]}"; do
    query=$(oa_wine sc query "$service" 2>&1)
    status=$? query=${query//$'\r'/}
    if [[ $status -ne 0 && $query != *SERVICE_NAME* ]]; then
        oa_pass "sc query: $service no longer exists"
    else
        oa_fail "sc query: $service no longer exists" "exit code $status" "$query"
    fi
done
for port in 3307 8080; do
    if port_open "$port"; then oa_fail "nothing answers on $port after 卸载服务"; else
        oa_pass "nothing answers on $port after 卸载服务"; fi
done
oa_expect_eq "no tray icon left after 卸载服务" "$(oa_driver tray-shown)" 0

oa_finish
