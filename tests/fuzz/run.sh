#!/usr/bin/env bash
# Runs the registry value fuzz target of a fuzz build for a bounded time:
#   tests/fuzz/run.sh BUILD_DIR SECONDS
# It starts from the seeds in tests/fuzz/corpus and keeps what it finds new in BUILD_DIR/corpus,
# never among the seeds. The fuzzer's output goes to BUILD_DIR/registry_value_fuzz.log; on a
# finding the head of the report is printed, and the input is kept in BUILD_DIR/findings/ (to
# replay: BUILD_DIR/tests/fuzz/registry_value_fuzz FILE).
set -uo pipefail
[[ $# -eq 2 && $2 =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 BUILD_DIR SECONDS" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 2
log=$build/registry_value_fuzz.log
mkdir -p "$build/corpus" "$build/findings"
# -timeout and -rss_limit_mb make a hang or a runaway allocation a finding, not a stuck run.
if "$build/tests/fuzz/registry_value_fuzz" -max_total_time="$2" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/findings/" \
    "$build/corpus" "$(dirname "$0")/corpus" >"$log" 2>&1; then
    echo "fuzz: $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") runs in $2 s, no findings"
else
    echo "fuzz: FINDING; full log: $log"
    grep -v -E '^#[0-9]+|^INFO:|^\s*$|^MS:|^base unit:|^0x' "$log" | head -n 12
    grep -E '^SUMMARY:|Test unit written to' "$log"
    exit 1
fi
