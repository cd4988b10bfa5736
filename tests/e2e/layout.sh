#!/bin/bash
# The main window as it first shows at 96 dpi: its client size, where each control sits and
# which ones are hidden, then how the layout follows a bigger frame; a screenshot of it at
# its designed size; the close box; and 退出 with both servers stopped.
#   layout.sh PANEL_EXE DRIVER_EXE BUNDLE_DIR WORK_DIR
#
# Positions are in twips in the design and in pixels on screen: twips * 96 / 1440, rounded,
# with 1 px of slack. Controls the layout never moves must sit exactly where designed. The
# others follow the outer window width W and height H (in twips) once the window has been
# sized:
#   right-hand column (检查端口 ... 检测服务, 高级): left = W - 1600, designed top and size
#   退出: 150 twips left of 高级; 启动 OA: 150 twips left of 退出; designed top and size
#   activity log: designed left and top, width W - 1850 (advanced panel open), height up
#     to H - 1500, less what the list box drops to show whole lines only (< 24 px)
#   contact line: designed left and size, top = log top + log height + 100
source "$(dirname "$0")/lib.sh"
oa_init "$@"

# Both installers refuse: the servers stay stopped while the panel waits on them.
echo "register=never" >"$OA_APP_DIR/tomcat6/bin/tomcat6svc.knobs"
echo "register=never" >"$OA_APP_DIR/mysql5/bin/mysqld2.knobs"

shown=(cmdOA cmdExit cmdAdvance lstView cmdCheckPort cmdTomcat cmdMysql lblTomcat lblMysql lblOA
    lblBrackwen lblIP Label1 cmdReinstall cmdCheckService)
hidden=(cmdStart cmdStop cmdMysqlStart cmdMysqlStop cmdConnect chkAuto picMouseEvent pic0 pic1
    pic2)
right_column=(cmdCheckPort cmdTomcat cmdMysql cmdAdvance cmdReinstall cmdCheckService)
# Designed left top width height, in twips.
declare -A design=(
    [cmdOA]="5160 120 1335 375" [cmdExit]="6720 120 1335 375" [cmdAdvance]="8280 120 1335 375"
    [lstView]="75 675 7935 2940" [cmdCheckPort]="8280 720 1335 375"
    [cmdTomcat]="8280 1320 1335 375" [cmdMysql]="8280 1920 1335 375"
    [lblTomcat]="120 100 1455 255" [lblMysql]="1440 100 1215 255" [lblOA]="2640 100 1215 255"
    [lblBrackwen]="120 4800 7815 255" [lblIP]="960 360 3375 255" [Label1]="120 360 650 255"
    [cmdReinstall]="8280 2520 1335 375" [cmdCheckService]="8280 3120 1335 375")

px() { echo $((($1 * 96 + 720) / 1440)); }
# px4 "LEFT TOP WIDTH HEIGHT" (or four words) in twips -> the same in pixels.
px4() {
    local -a v
    read -ra v <<<"$*"
    echo "$(px "${v[0]}") $(px "${v[1]}") $(px "${v[2]}") $(px "${v[3]}")"
}

# near WHAT ACTUAL EXPECTED: space-separated numbers, each within 1 px.
near() {
    local -a got want
    read -ra got <<<"$2"
    read -ra want <<<"$3"
    local i ok=$((${#got[@]} == ${#want[@]}))
    for ((i = 0; ok && i < ${#want[@]}; i++)); do
        ((got[i] - want[i] <= 1 && want[i] - got[i] <= 1)) || ok=0
    done
    if ((ok)); then oa_pass "$1"; else oa_fail "$1" "expected: $3 (±1)" "actual:   $2"; fi
}

# Reads every shown control's rectangle in one driver run: fills rect[NAME].
declare -A rect
read_rects() {
    local -a cmd=() lines
    local name i
    for name in "${shown[@]}"; do cmd+=(rect "$(oa_id "IDC_$name")" +); done
    mapfile -t lines < <(oa_driver "${cmd[@]}" window-rect) || oa_die "cannot read the rectangles"
    ((${#lines[@]} == ${#shown[@]} + 1)) || oa_die "short answer: ${lines[*]}"
    for i in "${!shown[@]}"; do rect[${shown[i]}]=${lines[i]}; done
    window=${lines[-1]}
}

# check_layout WHEN: the rules above, for the frame size the window has now.
check_layout() {
    local when=$1 name l t w h W H list_h want_h
    read -r _ _ w h <<<"$window"
    W=$((w * 15)) H=$((h * 15))
    for name in lblTomcat lblMysql lblOA lblIP Label1; do
        near "$when: $name where designed" "${rect[$name]}" "$(px4 "${design[$name]}")"
    done
    for name in "${right_column[@]}"; do
        read -r _ t w h <<<"${design[$name]}"
        near "$when: $name in the right-hand column" "${rect[$name]}" "$(px4 $((W - 1600)) "$t" "$w" "$h")"
    done
    read -r l t w h <<<"${design[cmdExit]}"
    near "$when: 退出 left of 高级" "${rect[cmdExit]}" "$(px4 $((W - 1600 - 1485)) "$t" "$w" "$h")"
    near "$when: 启动 OA left of 退出" "${rect[cmdOA]}" "$(px4 $((W - 1600 - 2970)) "$t" "$w" "$h")"

    read -r l t w h <<<"${rect[lstView]}"
    near "$when: activity log left, top and width" "$l $t $w" "$(px 75) $(px 675) $(px $((W - 1850)))"
    want_h=$(px $((H - 1500)))
    if ((h <= want_h && want_h - h < 24)); then
        oa_pass "$when: activity log height follows the window ($h of $want_h px)"
    else
        oa_fail "$when: activity log height follows the window" "expected: $want_h less under 24 px" "actual: $h"
    fi
    list_h=$h
    read -r l t w h <<<"${design[lblBrackwen]}"
    near "$when: contact line below the log" "${rect[lblBrackwen]}" \
        "$(px "$l") $((list_h + $(px 775))) $(px "$w") $(px "$h")"
}

oa_launch_panel
panel=$OA_LAST_PID
oa_driver wait-window + wait-line "启动 MySQL" >/dev/null || oa_die "no main window"

oa_expect_eq "client area at 96 dpi" "$(oa_driver client-size)" "652 340"
names=("${shown[@]}" "${hidden[@]}")
visibility=()
for name in "${names[@]}"; do visibility+=(visible "$(oa_id "IDC_$name")" +); done
mapfile -t flags < <(oa_driver "${visibility[@]:0:${#visibility[@]}-1}")
for i in "${!names[@]}"; do
    if ((i < ${#shown[@]})); then
        oa_expect_eq "${names[i]} shown" "${flags[i]}" 1
    else
        oa_expect_eq "${names[i]} hidden" "${flags[i]}" 0
    fi
done

read_rects
check_layout "designed size"

# The window as the user sees it first, kept as an artefact of every run.
read -r x y w h <<<"$window"
mkdir -p "$OA_WORK/artefacts"
if import -window root -crop "${w}x${h}+${x}+${y}" "$OA_RUN_DIR/layout.png" 2>>"$OA_RUN_DIR/import.log" &&
    cp "$OA_RUN_DIR/layout.png" "$OA_WORK/artefacts/layout.png"; then
    oa_log "screenshot: $OA_WORK/artefacts/layout.png"
else
    oa_fail "screenshot of the window" "$(cat "$OA_RUN_DIR/import.log")"
fi

oa_driver resize 820 480 >/dev/null || oa_die "cannot resize the window"
read_rects
oa_expect_eq "frame took the new size" "$(cut -d' ' -f3,4 <<<"$window")" "820 480"
check_layout "820x480 frame"

# The close box only hides the window; the panel and its tray icon stay.
mapfile -t after < <(oa_driver close + is-visible-window + tray-shown)
oa_expect_eq "close box hides the window" "${after[0]}" 0
oa_expect_eq "tray icon stays after the close box" "${after[1]}" 1
sleep 1
oa_expect "panel still runs after the close box" oa_alive "$panel"

# With both servers stopped 退出 ends the panel without asking (the window may be hidden:
# bring it back first, a hidden button cannot be clicked).
oa_driver post-tray 0x203 + wait-window + click "$(oa_id IDC_cmdExit)" >/dev/null ||
    oa_die "cannot click 退出"
if oa_wait_exit "$panel" 10; then
    oa_expect_eq "退出 with both servers stopped ends the panel, exit code" "$OA_EXIT_CODE" 0
else
    oa_fail "退出 with both servers stopped ends the panel" \
        "still running; message box: $(oa_driver --timeout 1 msgbox 2>&1)"
fi
oa_expect_eq "tray icon gone after 退出" "$(oa_driver tray-shown)" 0

oa_finish
