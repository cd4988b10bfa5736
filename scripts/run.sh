#!/bin/bash
# `make run`: shows the panel on a demo machine, a Wine prefix of its own (made on first use).
#   run.sh PANEL_EXE BUNDLE_DIR|MINGW_BUILD_DIR [DEMO_DIR]     DEMO_DIR: build/demo by default
# With DISPLAY set the panel opens there and this waits until it is closed. Without one it
# runs on a virtual display: once the automatic start has its outcome, a screenshot is saved
# and the activity log printed.
# Either way the demo prefix is shut down at the end, so no stub service keeps its port.
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/tests/e2e/lib.sh"
OA_NAME=run

[[ $# -eq 2 || $# -eq 3 ]] || oa_die "usage: $0 PANEL_EXE BUNDLE_DIR|MINGW_BUILD_DIR [DEMO_DIR]"
OA_PANEL_EXE=$(realpath -m "$1") OA_BUNDLE=$(realpath -m "$2")
[[ -d $OA_BUNDLE/bundle/tomcat6 ]] && OA_BUNDLE+=/bundle
[[ -f $OA_PANEL_EXE ]] || oa_die "panel not built: $OA_PANEL_EXE"
[[ -d $OA_BUNDLE/tomcat6 ]] || oa_die "no stub bundle in $2"
OA_DRIVER_EXE="$(dirname "$OA_BUNDLE")/tests/e2e/oadriver.exe"

OA_RUN_DIR=$(realpath -m "${3:-$repo/build/demo}")
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
    oa_make_prefix
fi
oa_layout_app
oa_set_jre_home

if [[ -z $OA_XVFB_PID ]]; then
    oa_log "opening the panel on $DISPLAY; close it to end the demo"
    oa_wine 'C:\OA\oapanel.exe' 2>>"$OA_RUN_DIR/panel.log"
    exit
fi
oa_launch_panel
# The automatic start follows the welcome line by about a second; each start waits 30 s at
# the most, an installation as long again. Done once the Tomcat line has its outcome.
oa_driver --timeout 70 wait-line "启动 Tomcat" >/dev/null || oa_log "no automatic start seen"
for ((i = 0; i < 700; i++)); do
    [[ $(oa_driver list | tail -n 1) == *. ]] || break
    sleep 0.1
done
# A web container that started is asked whether OA answers: wait for that line too.
if [[ $(oa_driver list | tail -n 1) == *"启动 Tomcat"*成功 ]]; then
    oa_driver --timeout 30 wait-line "OA 已就绪" >/dev/null || oa_log "OA did not say it is ready"
fi
sleep 0.5
screenshot="$OA_RUN_DIR/screenshot.png"
# The virtual screen is black around the window: trim it away.
import -window root -trim +repage "$screenshot" || oa_die "screenshot failed"
echo "activity log:"
oa_driver list
echo "screenshot: $screenshot"
