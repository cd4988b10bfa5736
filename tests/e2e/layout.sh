#!/bin/bash
# The main window while the panel waits on two installers that refuse: at 96 dpi its client
# size, which controls show and where they sit, then how the layout follows a bigger frame; a
# screenshot of it; the close box; 退出 with both servers stopped. Then a start from another
# folder while JRE_BK_HOME still names the first one.
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
echo "register=never" >"$OA_APP_DIR/tomcat6/bin/tomcat6svc.knobs"
echo "register=never" >"$OA_APP_DIR/mysql5/bin/mysqld2.knobs"

hidden=(cmdStart cmdStop cmdMysqlStart cmdMysqlStop cmdConnect chkAuto picMouseEvent pic0 pic1 pic2)
fixed=(lblTomcat lblMysql lblOA lblIP Label1)
right_column=(cmdCheckPort cmdTomcat cmdMysql cmdAdvance cmdReinstall cmdCheckService)
# Designed left top width height, in twips.
declare -A design=(
    [cmdOA]="5160 120 1335 375" [cmdExit]="6720 120 1335 375" [cmdAdvance]="8280 120 1335 375"
    [lstView]="75 675 7935 2940" [cmdCheckPort]="8280 720 1335 375"
    [cmdTomcat]="8280 1320 1335 375" [cmdMysql]="8280 1920 1335 375"
    [lblTomcat]="120 100 1455 255" [lblMysql]="1440 100 1215 255" [lblOA]="2640 100 1215 255"
    [lblBrackwen]="120 4800 7815 255" [lblIP]="960 360 3375 255" [Label1]="120 360 650 255"
    [cmdReinstall]="8280 2520 1335 375" [cmdCheckService]="8280 3120 1335 375")
shown=("${!design[@]}")

# px TWIPS... -> the same in pixels.
px() {
    local t out=()
    for t in "$@"; do out+=($(((t * 96 + 720) / 1440))); done
    echo "${out[*]}"
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

# Reads every control in one driver run: visible[NAME] and rect[NAME], window and client.
declare -A visible rect
read_controls() {
    local -a cmd=() lines
    local name i
    for name in "${shown[@]}" "${hidden[@]}"; do cmd+=(control "$(oa_id "$name")" +); done
    mapfile -t lines < <(oa_driver "${cmd[@]}" geometry) || oa_die "cannot read the controls"
    i=0
    for name in "${shown[@]}" "${hidden[@]}"; do
        visible[$name]=${lines[i]%% *} rect[$name]=${lines[i]#* }
        i=$((i + 1))
    done
    window=${lines[i]} client=${lines[i + 1]}
}

# check_layout WHEN: the rules above, for the frame size the window has now.
check_layout() {
    local when=$1 name l t w h W H want_h
    read -r _ _ w h <<<"$window"
    W=$((w * 15)) H=$((h * 15))
    for name in "${fixed[@]}"; do
        # shellcheck disable=SC2086  # the four numbers of the design
        near "$when: $name where designed" "${rect[$name]}" "$(px ${design[$name]})"
    done
    for name in "${right_column[@]}"; do
        read -r _ t w h <<<"${design[$name]}"
        near "$when: $name in the right-hand column" "${rect[$name]}" "$(px $((W - 1600)) "$t" "$w" "$h")"
    done
    read -r _ t w h <<<"${design[cmdExit]}"
    near "$when: 退出 left of 高级" "${rect[cmdExit]}" "$(px $((W - 3085)) "$t" "$w" "$h")"
    near "$when: 启动 OA left of 退出" "${rect[cmdOA]}" "$(px $((W - 4570)) "$t" "$w" "$h")"
    read -r l t w h <<<"${rect[lstView]}"
    near "$when: activity log left, top and width" "$l $t $w" "$(px 75 675 $((W - 1850)))"
    want_h=$(px $((H - 1500)))
    if ((h <= want_h && want_h - h < 24)); then
        oa_pass "$when: activity log height follows the window ($h of $want_h px)"
    else
        oa_fail "$when: activity log height follows the window" "expected: $want_h less under 24 px" "actual: $h"
    fi
    read -r l _ w t <<<"${design[lblBrackwen]}"
    near "$when: contact line below the log" "${rect[lblBrackwen]}" \
        "$(px "$l") $((h + $(px 775))) $(px "$w" "$t")"
}

oa_launch_panel
panel=$OA_LAST_PID
oa_driver wait-window + wait-line "启动 MySQL" >/dev/null || oa_die "no main window"
read_controls
oa_expect_eq "client area at 96 dpi" "$client" "652 340"
for name in "${shown[@]}" "${hidden[@]}"; do
    flag=0
    [[ -n ${design[$name]} ]] && flag=1
    oa_expect_eq "$name shown ($flag) or hidden" "${visible[$name]}" "$flag"
done
check_layout "designed size"

# The window as the user sees it first, kept as an artefact of every run.
read -r x y w h <<<"$window"
mkdir -p "$OA_WORK/artefacts"
import -window root -crop "${w}x${h}+${x}+${y}" "$OA_WORK/artefacts/layout.png" ||
    oa_fail "screenshot of the window"

oa_driver resize 820 480 >/dev/null || oa_die "cannot resize the window"
read_controls
oa_expect_eq "frame took the new size" "$(cut -d' ' -f3,4 <<<"$window")" "820 480"
check_layout "820x480 frame"

# The close box only hides the window; the panel and its tray icon stay.
oa_expect_eq "close box hides the window, the icon stays" \
    "$(oa_driver close + windows + tray-shown | tr '\n' ' ')" "0 1 "
sleep 1
oa_expect_eq "panel still runs after the close box" "$(oa_alive "$panel" && echo yes)" yes
# With both servers stopped 退出 ends the panel without asking (a hidden button cannot be
# clicked: the icon brings the window back first).
oa_driver post-tray 0x203 + wait-window + click "$(oa_id cmdExit)" >/dev/null ||
    oa_die "cannot click 退出"
oa_expect_exit "退出 with both servers stopped ends the panel without asking" "$panel"
oa_expect_eq "tray icon gone after 退出" "$(oa_driver tray-shown)" 0

# Started from C:\Apps\OA2 while JRE_BK_HOME names C:\OA's runtime: the panel asks whether to
# repoint it; Cancel opens the window, whose welcome line names the exe's own folder.
mkdir -p "$WINEPREFIX/drive_c/Apps"
cp -a "$OA_APP_DIR" "$WINEPREFIX/drive_c/Apps/OA2"
oa_launch_panel 'C:\Apps\OA2\oapanel.exe'
question=$(oa_driver answer Cancel) || oa_die "no question about the other runtime folder"
oa_expect_match "the question names the new runtime folder" "$question" \
    "当前环境变量 = \\[C:\\\\Apps\\\\OA2\\\\jre16bk\\]"
welcome=$(oa_driver wait-line "欢迎使用")
oa_expect_eq "welcome line follows the exe's folder" "${welcome#* - }" "欢迎使用澜栖OA系统，运行路径：C:\\Apps\\OA2"

oa_finish
