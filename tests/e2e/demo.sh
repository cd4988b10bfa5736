#!/bin/bash
# A newcomer's first `make run` without a display: scripts/run.sh makes its demo prefix from
# nothing (no template here), starts the panel headless, saves a screenshot and shuts the demo
# down. Both servers must start, and nothing of the demo may be left running.
#   demo.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
source "$(dirname "$0")/lib.sh"
[[ $# -eq 4 ]] || oa_die "usage: $0 PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR"
demo=$(realpath -m "$4/run/demo")
oa_stop_leftovers "$demo"
rm -rf "$demo"
mkdir -p "$demo"

start=$SECONDS
env -u DISPLAY bash "$OA_E2E_DIR/../../scripts/run.sh" "$1" "$3" "$demo" >"$demo/out.txt" 2>&1
oa_expect_eq "run.sh succeeds, in $((SECONDS - start)) s" "$?" 0
oa_expect_match "both servers start and answer" "$(grep ' - ' "$demo/out.txt")" \
    "启动 MySQL\\.{3,}成功"$'\n'".* - MySQL 已就绪（[^）]+）"$'\n'".* - 启动 Tomcat\\.{3,}成功"$'\n'".* - OA 已就绪（HTTP 200，用时 [0-9]+ 秒）\$"
oa_expect_eq "a screenshot is written" "$(head -c 4 "$demo/screenshot.png" 2>/dev/null | tail -c 3)" PNG
# Every process of the demo has its prefix in its environment: panel, stubs, wineserver, Xvfb.
mapfile -t left < <(grep -lsxz "WINEPREFIX=$demo/prefix" /proc/[0-9]*/environ | cut -d/ -f3)
oa_expect_eq "nothing of the demo is left running" "$(for pid in "${left[@]}"; do tr '\0' ' ' <"/proc/$pid/cmdline"; done)" ""
((OA_FAILED == 0)) || oa_log "run.sh said:"$'\n'"$(cat "$demo/out.txt")"
# The demo's processes, if any, must not outlive the test either.
((${#left[@]} == 0)) || { WINEPREFIX="$demo/prefix" wineserver -k; kill "${left[@]}"; } 2>/dev/null
oa_finish && rm -rf "$demo"
