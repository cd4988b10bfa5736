#!/bin/bash
# The Tomcat label when the web container service was already up before the panel started:
# first running, then still starting (START_PENDING), which counts as started too.
#   tomcat_running.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
source "$(dirname "$0")/lib.sh"
oa_init "$@"
lbl_tomcat=$(oa_id IDC_lblTomcat) || exit 1

# The label as the panel shows it next to its welcome line, before its own start of the
# services (about a second later) could have changed anything.
label_at_start() {
    local look
    look=$(oa_driver wait-window + wait-line "欢迎使用" + text "$lbl_tomcat") ||
        oa_die "no main window with a welcome line; the driver saw:"$'\n'"$look"
    printf '%s\n' "${look##*$'\n'}"
}

oa_wine cmd /c 'C:\OA\tomcat6\bin\service.bat' install 'C:\OA\tomcat6\bin' >/dev/null ||
    oa_die "service.bat install failed"
oa_wine net start Tomcat6Brackwen >/dev/null || oa_die "net start Tomcat6Brackwen failed"
oa_require_service_state Tomcat6Brackwen RUNNING

oa_launch_panel
oa_expect_eq "Tomcat label with the service running" "$(label_at_start)" "Tomcat:已启动"

# A fresh wineserver: the service is registered but stopped, the panel gone.
oa_stop_prefix
echo "start=never" >"$OA_APP_DIR/tomcat6/bin/tomcat6svc.knobs"
oa_wine sc start Tomcat6Brackwen >/dev/null || oa_die "sc start Tomcat6Brackwen failed"
oa_require_service_state Tomcat6Brackwen START_PENDING

oa_launch_panel
oa_expect_eq "Tomcat label with the service starting" "$(label_at_start)" "Tomcat:已启动"

oa_finish
