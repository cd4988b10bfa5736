#!/bin/bash
# Builds the Wine prefix that every e2e scenario copies (ctest fixture set-up):
#   make-template.sh WORK_DIR      -> WORK_DIR/template
# A fresh prefix takes ~10 s to make and ~1 s to copy. The template is kept while Wine and
# this script stay the same.
source "$(dirname "$0")/lib.sh"
[[ $# -eq 1 ]] || oa_die "usage: $0 WORK_DIR"
OA_WORK=$(realpath -m "$1") OA_NAME=make-template
template="$OA_WORK/template"
stamp="$(wine --version) $(cat "$0" "$OA_E2E_DIR/lib.sh" | sha1sum)"

# Scenario runs that ctest killed at their TIMEOUT never ran their own cleanup.
for dir in "$OA_WORK"/run/*/; do
    [[ -d $dir ]] && oa_stop_leftovers "$dir"
done
if [[ -f $template/.oa-template && $(<"$template/.oa-template") == "$stamp" ]]; then
    oa_log "reusing $template"
    exit 0
fi

oa_use_run_dir "$OA_WORK/run/make-template"
trap oa_cleanup EXIT
trap 'exit 130' INT TERM
oa_start_xvfb
oa_make_prefix
# Without a window manager Wine waits ~2 s for each hidden window to be confirmed withdrawn
# (a closed message box, for one); unmanaged windows skip that wait.
oa_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null &&
    wineserver -w || oa_die "cannot configure the X11 driver"
rm -rf "$template"
mv "$WINEPREFIX" "$template"
echo "$stamp" >"$template/.oa-template"
oa_log "made $template"
