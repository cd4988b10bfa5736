#!/usr/bin/env bash
# Runs a test program under Wine, in a fresh prefix of its own and on a virtual display, and
# ends that prefix's wineserver after it:   run-wine.sh PREFIX PROGRAM [ARGUMENTS...]
export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=zh_CN.GBK
shift
rm -rf "$WINEPREFIX"
xvfb-run -a wine wineboot --init >/dev/null 2>&1
# Without a window manager on the virtual display, Wine's managed windows stall for a couple
# of seconds whenever one is hidden.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# The first boot goes on in the background; until it is done a second service manager runs.
wineserver -w
trap 'wineserver -k' EXIT
xvfb-run -a wine "$@"
