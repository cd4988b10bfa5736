# shellcheck shell=bash
# Shared helpers for the end-to-end scenarios, scripts/run.sh and bench/. Source it, then call
# oa_init with the scenario's arguments:
#   SCRIPT PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
# WORK_DIR holds the template prefix (made on first use) and one folder per scenario run. Each
# scenario gets its own copy of the template, its own Xvfb and its own wineserver, all of
# which oa_cleanup takes down again, also when a check fails.

OA_E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# The panel runs with a Chinese ANSI code page (936), like the machines it is made for. The
# driver takes UTF-8 arguments: Wine decodes a process's argv with its locale's charset.
OA_PANEL_LOCALE=zh_CN.GBK
OA_TIME='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} - '
OA_ENV_KEY='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
export WINEDEBUG=${OA_WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
OA_CHECKS=0 OA_FAILED=0 OA_BG_PIDS=()

oa_log() { printf '%s: %s\n' "${OA_NAME:-e2e}" "$*" >&2; }

# A problem with the test set-up itself: nothing after it can be checked.
oa_die() { oa_log "ERROR: $*" && exit 1; }

oa_init() {
    [[ $# -eq 4 ]] || oa_die "usage: $0 PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR"
    # Wine wants an absolute WINEPREFIX.
    OA_PANEL_EXE=$(realpath -m "$1") OA_DRIVER_EXE=$(realpath -m "$2")
    OA_BUNDLE=$(realpath -m "$3") OA_WORK=$(realpath -m "$4")
    OA_NAME=${OA_NAME:-$(basename "$0" .sh)}
    [[ -f $OA_PANEL_EXE && -f $OA_DRIVER_EXE && -d $OA_BUNDLE ]] || oa_die "not built: $*"
    trap oa_cleanup EXIT
    trap 'exit 130' INT TERM
    # ctest kills a scenario that overruns its TIMEOUT without letting its trap run: whatever
    # it left would hold the stub ports.
    local dir stamp
    for dir in "$OA_WORK"/run/*/; do oa_stop_leftovers "$dir"; done
    stamp="$(wine --version) $(sha1sum <"${BASH_SOURCE[0]}")"
    [[ $(cat "$OA_WORK/template/.stamp" 2>/dev/null) == "$stamp" ]] || oa_make_template "$stamp"
    oa_use_run_dir "$OA_WORK/run/$OA_NAME"
    cp -a "$OA_WORK/template" "$WINEPREFIX" || oa_die "cannot copy the template prefix"
    oa_start_xvfb
    oa_layout_app
    oa_set_jre_home
}

# The prefix every scenario copies: a new one takes ~10 s to make, a copy ~1 s. It is made
# again when Wine or this file changes.
oa_make_template() {
    oa_log "making the template prefix"
    oa_use_run_dir "$OA_WORK/run/template"
    oa_start_xvfb
    oa_make_prefix
    # Without a window manager Wine waits ~2 s for each hidden window to be confirmed withdrawn
    # (a closed message box, for one); unmanaged windows skip that wait.
    oa_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null &&
        wineserver -w || oa_die "cannot configure the X11 driver"
    oa_teardown
    rm -rf "$OA_WORK/template" && mv "$WINEPREFIX" "$OA_WORK/template" && echo "$1" >"$OA_WORK/template/.stamp"
}

# Points WINEPREFIX at an empty RUN_DIR/prefix.
oa_use_run_dir() {
    OA_RUN_DIR=$1
    export WINEPREFIX="$OA_RUN_DIR/prefix"
    oa_stop_leftovers "$OA_RUN_DIR"
    rm -rf "$OA_RUN_DIR" && mkdir -p "$OA_RUN_DIR"
}

oa_stop_leftovers() {
    local pid
    [[ -d $1/prefix ]] && WINEPREFIX="$1/prefix" wineserver -k 2>/dev/null
    pid=$(cat "$1/xvfb.pid" 2>/dev/null)
    [[ -n $pid ]] && grep -q Xvfb "/proc/$pid/cmdline" 2>/dev/null && kill "$pid"
    return 0
}

# Xvfb picks a free display itself and tells us its number once it accepts connections.
oa_start_xvfb() {
    local display
    exec {display}< <(exec Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>"$OA_RUN_DIR/xvfb.log")
    OA_XVFB_PID=$!
    echo "$OA_XVFB_PID" >"$OA_RUN_DIR/xvfb.pid"
    read -r -t 10 -u "$display" DISPLAY || oa_die "Xvfb did not start: $(cat "$OA_RUN_DIR/xvfb.log")"
    exec {display}<&-
    export DISPLAY=":$DISPLAY"
}

# A new prefix, finished: `wineboot --init` returns while the prefix's first boot still goes on
# in the background, and until it is done a second service manager runs beside the first, so a
# service just registered may be "unknown" or the database "locked" to `net start`.
oa_make_prefix() {
    oa_wine wineboot --init 2>>"$OA_RUN_DIR/wineboot.log" && wineserver -w &&
        [[ -f $WINEPREFIX/system.reg ]] || oa_die "wineboot failed"
}

# The application folder C:\OA: the stub bundle with the panel beside it.
oa_layout_app() {
    OA_APP_DIR="$WINEPREFIX/drive_c/OA"
    rm -rf "$OA_APP_DIR" && mkdir -p "$OA_APP_DIR" && cp -a "$OA_BUNDLE/." "$OA_APP_DIR/" &&
        cp "$OA_PANEL_EXE" "$OA_APP_DIR/oapanel.exe" || oa_die "cannot lay out $OA_APP_DIR"
}

oa_set_jre_home() {
    oa_wine reg add "$OA_ENV_KEY" /v JRE_BK_HOME /t REG_SZ /d 'C:\OA\jre16bk' /f >/dev/null ||
        oa_die "cannot set JRE_BK_HOME"
}

oa_wine() { env LC_ALL=$OA_PANEL_LOCALE wine "$@"; }

oa_driver() { env LC_ALL=C.UTF-8 wine "$OA_DRIVER_EXE" "$@"; }

# oa_launch_panel [WINDOWS_PATH]: starts a panel (C:\OA\oapanel.exe unless told) in the
# background; its PID, that of the Wine process itself, is left in OA_LAST_PID.
# shellcheck disable=SC2120  # the path is optional
oa_launch_panel() {
    # Not through oa_wine: a backgrounded function runs in a subshell of its own, and its PID
    # would not be the panel's (the benchmark reads the panel's processor time).
    env LC_ALL=$OA_PANEL_LOCALE wine "${1:-C:\OA\oapanel.exe}" >>"$OA_RUN_DIR/panel.log" 2>&1 &
    OA_LAST_PID=$!
    OA_BG_PIDS+=("$OA_LAST_PID")
}

# oa_launch_watched DRIVER_COMMANDS...: the driver watches before the panel exists (its first
# stamp says it is ready), so what it stamps is when the panel did it, give or take 20 ms.
# What it saw goes to the array OA_SEEN; its exit status is returned.
oa_launch_watched() {
    # Only its stdout goes to the pipe: a wineserver the driver starts keeps its stderr open.
    coproc WATCH { oa_driver --poll 20 stamp + "$@"; }
    local pid=$WATCH_PID out
    exec {out}<&"${WATCH[0]}" # bash drops the coproc's variables as soon as it ends
    read -r -u "$out" _ || oa_die "the driver did not start"
    oa_launch_panel
    mapfile -t -u "$out" OA_SEEN
    exec {out}<&-
    wait "$pid"
}

# oa_wait_exit PID SECONDS: true once the process ended; its exit code is left in OA_EXIT_CODE.
oa_wait_exit() {
    local i=0
    while oa_alive "$1" && ((i++ < $2 * 10)); do sleep 0.1; done
    ! oa_alive "$1" && { wait "$1"; OA_EXIT_CODE=$?; }
}

oa_alive() { [[ $(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) =~ ^[^Z]$ ]]; }

# oa_reg_value KEY NAME: "TYPE DATA", or nothing when the value is not there.
oa_reg_value() {
    oa_wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *\\(REG_[A-Z_]*\\) *\\(.*\\)\$/\\1 \\2/p"
}

# The number of a control, read from resource.h so the scenarios can name controls.
oa_id() {
    awk -v name="IDC_$1" '$1 == "#define" && $2 == name {print $3; found = 1} END {exit !found}' \
        "$OA_E2E_DIR/../../resources/resource.h" || oa_die "no control $1 in resource.h"
}

# oa_check WHAT OK DETAIL...: records a result and carries on, so that one run shows every
# broken behaviour; OK is 0 for a pass.
oa_check() {
    ((++OA_CHECKS, $2 == 0)) && oa_log "ok - $1" && return
    ((++OA_FAILED)) && oa_log "FAILED - $1" && shift 2 && printf '%s\n' "${@/#/$OA_NAME:     }" >&2
}

# oa_expect_eq WHAT ACTUAL EXPECTED; oa_expect_match WHAT ACTUAL EXTENDED_REGEX
oa_expect_eq() { oa_check "$1" "$([[ $2 == "$3" ]]; echo $?)" "expected: $3" "actual:   $2"; }
oa_expect_match() { oa_check "$1" "$([[ $2 =~ $3 ]]; echo $?)" "expected to match: $3" "actual: $2"; }

# oa_expect_between WHAT FROM_STAMP TO_STAMP LOW_MS HIGH_MS: the time between two stamps.
oa_expect_between() {
    local ms=$(($3 - $2))
    oa_check "$1 ($ms ms)" "$((ms < $4 || ms > $5))" "expected: $4 to $5 ms"
}

# oa_expect_exit WHAT PID: the panel ends within 10 s, with exit code 0.
oa_expect_exit() {
    oa_wait_exit "$2" 10 || OA_EXIT_CODE="still running 10 s later"
    oa_expect_eq "$1, exit code" "$OA_EXIT_CODE" 0
}

# Whether something answers on the stub ports 3307 and 8080: "open closed", say.
oa_ports() {
    local port
    for port in 3307 8080; do
        timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2>/dev/null && echo open || echo closed
    done | paste -sd ' '
}

# oa_expect_log_file WHEN: oapanel.log holds what the window shows, in UTF-8 with a byte-order
# mark and CRLF line ends.
oa_expect_log_file() {
    oa_expect_eq "$1: oapanel.log holds the window's lines" \
        "$(sed '1s/^\xEF\xBB\xBF/<BOM>/; s/\r$/<CR>/' "$OA_APP_DIR/oapanel.log")" \
        "$(oa_driver list | sed '1s/^/<BOM>/; s/$/<CR>/')"
}

oa_finish() { oa_log "$OA_CHECKS checks, $OA_FAILED failed" && ((OA_FAILED == 0)); }

# Ends the prefix's processes and our Xvfb, but keeps the prefix.
oa_teardown() {
    local pid
    [[ -d $WINEPREFIX ]] && wineserver -k 2>/dev/null && wineserver -w 2>/dev/null
    for pid in "${OA_BG_PIDS[@]}"; do oa_wait_exit "$pid" 10 || kill -9 "$pid" 2>/dev/null; done
    [[ -n $OA_XVFB_PID ]] && kill "$OA_XVFB_PID" 2>/dev/null
    OA_BG_PIDS=() OA_XVFB_PID=
}

# The EXIT trap of a scenario: a passed run leaves nothing behind, a failed one its folder.
oa_cleanup() {
    local rc=$?
    trap - EXIT
    oa_teardown
    if ((rc == 0)); then rm -rf "$OA_RUN_DIR"; else oa_log "kept $OA_RUN_DIR for a look (panel.log, prefix)"; fi
    exit "$rc"
}
