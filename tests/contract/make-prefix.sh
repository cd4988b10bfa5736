#!/usr/bin/env bash
# Makes a fresh Wine prefix for the backend tests (or, with "stop", ends its wineserver).
set -euo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${2:-}" = stop ]; then
    wineserver -k 2>/dev/null || true
    exit 0
fi
wineserver -k 2>/dev/null || true
rm -rf "$prefix"
xvfb-run -a wine wineboot --init >/dev/null 2>&1
# Without a window manager on the virtual display, Wine's managed windows stall for a
# couple of seconds whenever one is hidden.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
test -f "$prefix/system.reg"
