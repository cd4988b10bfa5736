#!/bin/bash
# A second start while the panel runs: it says so, goes away after OK and leaves the first
# panel as it was.
#   single_instance.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
source "$(dirname "$0")/lib.sh"
oa_init "$@"

oa_launch_panel
first_pid=$OA_LAST_PID
oa_driver wait-window + wait-line "欢迎使用" >/dev/null ||
    oa_die "no main window with a welcome line"
log_before=$(oa_wait_log_settled 3) || exit 1

oa_launch_panel
second_pid=$OA_LAST_PID
text=$(oa_driver msgbox) || oa_die "the second start showed no message box"
oa_expect_eq "second start message" "$text" "您已经运行这个应用程序了"
oa_expect_eq "second start message has only OK" "$(oa_driver msgbox-buttons)" "OK"
oa_expect_eq "second start opened no main window" "$(oa_driver count-windows)" 1
oa_expect_eq "process still waits for OK" "$(oa_alive "$second_pid" && echo running)" running

oa_driver msgbox-answer OK >/dev/null || oa_die "could not answer the message box"
if oa_wait_exit "$second_pid" 10; then
    oa_pass "second process exited after OK (exit code $OA_EXIT_CODE)"
else
    oa_fail "second process exited after OK" "PID $second_pid still runs 10 s later"
fi

oa_expect "first process still runs" oa_alive "$first_pid"
oa_expect_eq "first window still there" "$(oa_driver --timeout 5 wait-window)" "oapanel - V1.6.9"
oa_expect_eq "exactly one main window" "$(oa_driver count-windows)" 1
oa_expect_eq "first panel's log unchanged" "$(oa_driver list)" "$log_before"

oa_finish
