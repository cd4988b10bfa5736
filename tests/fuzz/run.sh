#!/usr/bin/env bash
# Runs the registry value fuzz target of a fuzz build for a bounded time, from the seeds here:
#   tests/fuzz/run.sh BUILD_DIR SECONDS
# What it finds new stays in BUILD_DIR/corpus; a finding goes to BUILD_DIR/findings/ (to replay:
# BUILD_DIR/tests/fuzz/registry_value_fuzz FILE), its report to BUILD_DIR/fuzz.log.
mkdir -p "$1/corpus" "$1/findings"
# -timeout and -rss_limit_mb make a hang or a runaway allocation a finding, not a stuck run.
"$1/tests/fuzz/registry_value_fuzz" -max_total_time="$2" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$1/findings/" "$1/corpus" "$(dirname "$0")/corpus" \
    >"$1/fuzz.log" 2>&1 && echo "fuzz: no findings in $2 s" && exit 0
grep -E -A12 "==ERROR|runtime error|ssertion|SUMMARY" "$1/fuzz.log" | head -n 30
exit 1
