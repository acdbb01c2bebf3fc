#!/bin/sh
# fuzz.sh [SECONDS] [BUILD_DIR]: builds the fuzz build (clang, libFuzzer,
# ASan, UBSan) and runs each fuzzer for SECONDS (300 by default) from its
# seed corpus, one after another. New inputs go to BUILD_DIR/fuzz-scratch,
# never into the committed corpus; a finding is left there as FUZZER-crash-*.
# Ends with each fuzzer's executions and coverage (cov: edges, ft: features).
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-300}
build=${2:-out/fuzz}
fuzzers="fuzz_fontname fuzz_progress fuzz_atlas fuzz_drawing"

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
    -DDORURIZAR_FUZZ=ON -DDORURIZAR_BUILD_EXAMPLES=OFF -DDORURIZAR_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target $fuzzers

scratch=$build/fuzz-scratch
export ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=xcb
status=0
for f in $fuzzers; do
    mkdir -p "$scratch/$f"
    display=""
    [ "$f" = fuzz_drawing ] && display=tests/support/own-display.sh
    echo "== $f: $seconds s =="
    $display "$build/bin/$f" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -detect_leaks=0 \
        -print_final_stats=1 -artifact_prefix="$scratch/$f-" "$scratch/$f" "tests/fuzz/corpus/$f" \
        >"$scratch/$f.log" 2>&1 || { status=1; echo "$f FOUND A FAULT: see $scratch/$f.log"; }
done

echo "== summary =="
for f in $fuzzers; do
    last=$(grep -E '^#[0-9]+' "$scratch/$f.log" | tail -n 1 || true)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$f.log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$scratch/$f.log")
    cov=$(echo "$last" | grep -o 'cov: [0-9]*' || true)
    ft=$(echo "$last" | grep -o 'ft: [0-9]*' || true)
    corpus=$(echo "$last" | grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' || true)
    printf '%-14s executions: %s (%s/s)  %s  %s  %s\n' "$f" "${runs:-?}" "${speed:-?}" "$cov" "$ft" "$corpus"
done
exit $status
