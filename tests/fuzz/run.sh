#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build for a bounded time each:
#   tests/fuzz/run.sh BUILD_DIR SECONDS
# Starts from the seeds in tests/fuzz/corpus; what the fuzzer finds new is kept in
# BUILD_DIR/corpus/, never among the seeds. The fuzzer's own output goes to BUILD_DIR/*.log;
# only a one-line result is printed, or on a finding the report and the input that caused it
# (kept in BUILD_DIR/findings/, to replay with `BUILD_DIR/tests/fuzz/TARGET FILE`).
set -uo pipefail

if [ $# -ne 2 ] || ! [[ $2 =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)

passed=0
failed=0
for target in registry_value_fuzz; do
    exe=$build/tests/fuzz/$target
    if [ ! -x "$exe" ]; then
        echo "$target: not built in $build" >&2
        exit 2
    fi
    work=$build/corpus/$target
    findings=$build/findings/$target
    log=$build/$target.log
    mkdir -p "$work" "$findings"

    # -max_len is well above what any seed needs; -timeout and -rss_limit_mb make a hang or a
    # runaway allocation a finding instead of a stuck test run.
    "$exe" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/" \
        "$work" "$here/corpus" >"$log" 2>&1
    status=$?

    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ $status -eq 0 ]; then
        echo "$target: ${runs:-?} runs in ${seconds}s, no findings"
        passed=$((passed + 1))
    else
        echo "$target: FINDING (exit $status); full log: $log"
        # The head of the sanitizer's or the check's report, then where the input was kept.
        grep -v -E '^#[0-9]+|^INFO:|^\s*$|^MS:|^base unit:|^0x' "$log" | head -n 12
        grep -E '^SUMMARY:|Test unit written to' "$log"
        failed=$((failed + 1))
    fi
done

echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
