#!/usr/bin/env bash
# Builds the fuzz targets and runs each for the given number of seconds (default 30), starting
# from the seed corpus in fuzz/corpus. A crash leaves its input in build/fuzz/artifacts and makes
# the command fail; turn every such input into a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p build/fuzz/artifacts
status=0
for corpus in fuzz/corpus/*/; do
    name=$(basename "$corpus")
    work=build/fuzz/corpus/$name
    mkdir -p "$work"
    echo "== fuzz_$name for ${seconds}s"
    if ! build/fuzz/fuzz/fuzz_"$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix=build/fuzz/artifacts/"$name"- -print_final_stats=1 \
            "$work" "$corpus" 2>build/fuzz/"$name".log; then
        tail -n 40 build/fuzz/"$name".log
        status=1
    else
        grep -E '^(stat::number_of_executed_units|stat::new_units_added)' build/fuzz/"$name".log || true
    fi
done
exit $status
