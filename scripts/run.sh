#!/bin/bash
# `make run`: shows the panel on a demo machine, a Wine prefix of its own under build/demo.
#   run.sh PANEL_EXE BUNDLE_DIR|MINGW_BUILD_DIR
# With DISPLAY set the panel opens there and this waits until it is closed. Without one it
# runs on a virtual display: once it has started (plus a few seconds for the services it
# starts by itself), a screenshot is saved and the activity log printed.
# Either way the demo prefix is shut down at the end, so no stub service keeps its port.
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/tests/e2e/lib.sh"
OA_NAME=run

[[ $# -eq 2 ]] || oa_die "usage: $0 PANEL_EXE BUNDLE_DIR|MINGW_BUILD_DIR"
OA_PANEL_EXE=$(realpath -m "$1")
if [[ -d $2/bundle/tomcat6 ]]; then
    OA_BUNDLE=$(realpath -m "$2/bundle")
else
    OA_BUNDLE=$(realpath -m "$2")
fi
[[ -f $OA_PANEL_EXE ]] || oa_die "panel not built: $OA_PANEL_EXE"
[[ -d $OA_BUNDLE/tomcat6 ]] || oa_die "no stub bundle in $2"
OA_DRIVER_EXE="$(dirname "$OA_BUNDLE")/tests/e2e/oadriver.exe"

OA_RUN_DIR="$repo/build/demo"
export WINEPREFIX="$OA_RUN_DIR/prefix"
mkdir -p "$OA_RUN_DIR"
# A panel left from an earlier demo would hold on to the folder we are about to replace.
oa_stop_leftovers "$OA_RUN_DIR"
trap 'oa_teardown' EXIT
trap 'exit 130' INT TERM

if [[ -z $DISPLAY ]]; then
    [[ -f $OA_DRIVER_EXE ]] || oa_die "driver not built: $OA_DRIVER_EXE (target oadriver)"
    oa_start_xvfb
fi
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    oa_log "making the demo prefix $WINEPREFIX (once)"
    # `wineboot --init` returns while the new prefix's first boot still goes on, and until it
    # is done a second service manager runs beside the first: `net start` then finds a service
    # just registered "unknown" or the database "locked", and the panel's starts fail.
    oa_wine wineboot --init 2>>"$OA_RUN_DIR/wineboot.log" && wineserver -w || oa_die "wineboot failed"
fi
oa_layout_app
oa_set_jre_home

if [[ -n $OA_XVFB_PID ]]; then
    oa_launch_panel
    oa_driver --timeout 60 wait-line "欢迎使用" >/dev/null || oa_die "the panel did not start"
    # The automatic start follows about a second later: wait until the web container's line
    # has its outcome (each start waits 30 s at the most, an installation as long again).
    oa_driver --timeout 70 wait-line "启动 Tomcat" >/dev/null || oa_log "no automatic start seen"
    for ((i = 0; i < 700; i++)); do
        last=$(oa_driver list | tail -n 1)
        [[ $last == *. ]] || break
        sleep 0.1
    done
    sleep 0.5
    screenshot="$OA_RUN_DIR/screenshot.png"
    # The virtual screen is black around the window: trim it away.
    import -window root -trim +repage "$screenshot" || oa_die "screenshot failed"
    echo "activity log:"
    oa_driver list
    echo "screenshot: $screenshot"
else
    oa_log "opening the panel on $DISPLAY; close it to end the demo"
    oa_wine 'C:\OA\oapanel.exe' 2>>"$OA_RUN_DIR/panel.log"
fi
