#!/usr/bin/env bash
# Makes a fresh Wine prefix for the Wine tests (or, with "stop", ends its wineserver).
set -euo pipefail
export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k 2>/dev/null || true
[ "${2:-}" = stop ] && exit 0
rm -rf "$1"
xvfb-run -a wine wineboot --init >/dev/null 2>&1
# Without a window manager on the virtual display, Wine's managed windows stall for a
# couple of seconds whenever one is hidden.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
test -f "$1/system.reg"
