#!/bin/bash
# The automatic start after launch: about a second after the welcome line the panel starts
# MySQL, then Tomcat, registering both services from its own folder; both servers answer on
# their ports and the window says so. Then a web container that never gets past
# START_PENDING: its line ends in 失败 once the 30 s limit is up, dots marking the wait.
#   autostart.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
source "$(dirname "$0")/lib.sh"
oa_init "$@"
lbl_tomcat=$(oa_id IDC_lblTomcat) lbl_mysql=$(oa_id IDC_lblMysql) lbl_oa=$(oa_id IDC_lblOA)
cmd_oa=$(oa_id IDC_cmdOA)
time_prefix='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} - '

# "YYYY-MM-DD HH:MM:SS.mmm" (the driver's stamp) -> milliseconds since the epoch.
ms_of() { echo $(($(date -d "$1" +%s%N) / 1000000)); }

# launch_watched DRIVER_COMMANDS...: the driver watches before the panel exists (its first
# stamp says it is ready), so what it stamps is when the panel did it, give or take 20 ms.
# Its output goes to the array seen; the driver's exit status is returned.
launch_watched() {
    # Only its stdout goes to the pipe: a wineserver the driver starts keeps the driver's
    # stderr open, and reading to the end of that would wait for the wineserver to end.
    coproc WATCH { oa_driver --timeout 40 --poll 20 stamp + "$@"; }
    # Bash drops the coproc's descriptors as soon as it ends; a copy keeps what it wrote.
    local pid=$WATCH_PID out
    exec {out}<&"${WATCH[0]}"
    read -r -u "$out" _ || oa_die "the driver did not start"
    oa_launch_panel
    mapfile -t -u "$out" seen
    exec {out}<&-
    wait "$pid"
}

# seen_or_die WHAT: after launch_watched failed.
seen_or_die() { oa_die "$1; the driver saw:"$'\n'"$(printf '%s\n' "${seen[@]}")"; }

port_open() { timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null; }

service_image() {
    oa_wine reg query "HKLM\\System\\CurrentControlSet\\Services\\$1" /v ImagePath | tr -d '\r' |
        sed -n 's/^ *ImagePath *REG_[A-Z_]*SZ *//p'
}

launch_watched wait-line "欢迎使用" + stamp + wait-line "启动 MySQL" + stamp + \
    wait-last-line "启动 Tomcat" + wait-last-line "成功" ||
    seen_or_die "the automatic start did not finish"
welcome_ms=$(ms_of "${seen[1]}") mysql_ms=$(ms_of "${seen[3]}")
delay=$((mysql_ms - welcome_ms))
if ((delay >= 800 && delay <= 2000)); then
    oa_pass "automatic start begins ${delay} ms after the welcome line"
else
    oa_fail "automatic start begins about 1 s after the welcome line" "it began after ${delay} ms"
fi

mapfile -t log < <(oa_driver list)
oa_expect_eq "three lines: welcome, MySQL, Tomcat" "${#log[@]}" 3
oa_expect_match "MySQL comes first and starts" "${log[1]}" "${time_prefix}启动 MySQL\\.{3,}成功$"
oa_expect_match "then Tomcat, which starts" "${log[2]}" "${time_prefix}启动 Tomcat\\.{3,}成功$"

oa_expect_match "web container registered from the application folder" \
    "$(service_image Tomcat6Brackwen)" '^C:\\OA\\tomcat6\\bin\\'
oa_expect_match "database registered from the application folder" \
    "$(service_image MySQL5Brackwen)" '^C:\\OA\\mysql5\\bin\\'
oa_expect "database answers on 127.0.0.1:3307" port_open 3307
oa_expect "web container answers on 127.0.0.1:8080" port_open 8080

mapfile -t shown < <(oa_driver text "$lbl_tomcat" + text "$lbl_mysql" + text "$lbl_oa" + text "$cmd_oa")
oa_expect_eq "Tomcat label" "${shown[0]}" "Tomcat:已启动"
oa_expect_eq "MySQL label" "${shown[1]}" "MySQL:已启动"
oa_expect_eq "OA label" "${shown[2]}" "OA:已启动"
oa_expect_eq "the OA button offers to stop" "${shown[3]}" "停止 &OA"

# A new wineserver: both services registered and stopped; the web container will hang in
# START_PENDING when started.
oa_stop_prefix
echo "start=never" >"$OA_APP_DIR/tomcat6/bin/tomcat6svc.knobs"
launch_watched wait-last-line "启动 Tomcat" + stamp + wait-last-line "失败" + stamp ||
    seen_or_die "the Tomcat line did not end in 失败"
start_ms=$(ms_of "${seen[1]}") end_ms=$(ms_of "${seen[3]}") line=${seen[2]}
waited=$((end_ms - start_ms))
if ((waited >= 29500 && waited <= 33000)); then
    oa_pass "a web container stuck starting is given up after $((waited / 100))/10 s"
else
    oa_fail "a web container stuck starting is given up after about 30 s" "it took ${waited} ms"
fi
# One dot every 2 s of the 30 s wait, after the three of "启动 Tomcat...".
oa_expect_match "the Tomcat line shows the wait and ends in 失败" "$line" \
    "${time_prefix}启动 Tomcat\\.{3}\\.{13,16}失败$"

mapfile -t log < <(oa_driver list)
oa_expect_match "MySQL started before" "${log[1]}" "${time_prefix}启动 MySQL\\.{3,}(已启动|成功)$"
mapfile -t shown < <(oa_driver text "$lbl_tomcat" + text "$lbl_mysql" + text "$lbl_oa" + text "$cmd_oa")
oa_expect_eq "Tomcat label after the failed start" "${shown[0]}" "Tomcat:已停止"
oa_expect_eq "MySQL label after the failed start" "${shown[1]}" "MySQL:已启动"
oa_expect_eq "OA label after the failed start" "${shown[2]}" "OA:已停止"
oa_expect_eq "the OA button offers to start" "${shown[3]}" "启动 &OA"
if port_open 8080; then oa_fail "nothing answers on 8080 after the failed start"; else
    oa_pass "nothing answers on 8080 after the failed start"; fi

oa_finish
