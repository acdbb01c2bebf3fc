#!/bin/sh
# Builds the library with its benchmarks and prints one report: every engine
# operation beside its bare baseline (ratio and target), the benchmarks' own
# figures, the multiview host's frame time, peak memory and whether its
# resident memory stays flat once warmed up, and the soak: every engine under
# churn for many frames, its memory, descriptors and textures watched.
#
#   sh scripts/bench.sh                 build into out/bench, report on stdout
#   BENCH_LONG_FRAMES=1000 sh scripts/bench.sh   a shorter flatness run
#   BENCH_SOAK_FRAMES=3000 sh scripts/bench.sh   a shorter soak (10,000 frames per engine)
#   BENCH_BUILD_DIR=/path sh scripts/bench.sh     another build directory
#   BENCH_QT_MAJOR=6 sh scripts/bench.sh          on Qt 6, in out/bench-qt6
#
# Benchmarks and the host need an X server of at least 1920x1080 (the Qt and
# GL multiview walls are that size); without DISPLAY the measuring part runs
# under xvfb-run. Raw outputs stay in out/bench/logs/.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
qt_major=${BENCH_QT_MAJOR:-5}
default_build="$root/out/bench"
[ "$qt_major" = 5 ] || default_build="$root/out/bench-qt$qt_major"
build="${BENCH_BUILD_DIR:-$default_build}"
logs="$build/logs"
tiles=16
peak_frames=300
long_frames=${BENCH_LONG_FRAMES:-3000}
soak_frames=${BENCH_SOAK_FRAMES:-10000}

if [ "${1:-}" != "--measure" ]; then
    sh scripts/install-deps.sh
    # Only what the report runs is built: the benchmarks, the multiview host
    # and the generator they start.
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDORURIZAR_BUILD_BENCH=ON -DBUILD_TESTING=OFF \
        -DDORURIZAR_SANITIZE=OFF -DDORURIZAR_QT_MAJOR="$qt_major" >/dev/null
    cmake --build "$build" -j "$(nproc)" --target benchmarks
    if [ -z "${DISPLAY:-}" ]; then
        exec xvfb-run -a -s "-screen 0 1920x1080x24" sh "$root/scripts/bench.sh" --measure
    fi
    exec sh "$root/scripts/bench.sh" --measure
fi

rm -rf "$logs"
mkdir -p "$logs/rows"
# Hosts and the font benchmark start ./fontgen from their working directory.
cd "$build/bin"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$logs/runtime}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

status=0
# The build lists its benchmarks; each writes its own rows of the report.
benches=$(cat "$build/bench/programs.txt")
for bench in $benches; do
    echo "running $bench ..." >&2
    args=
    [ "$bench" = soak ] && args="--frames $soak_frames"
    # shellcheck disable=SC2086 # args is empty or two words
    if ! ./"$bench" $args --report_rows="$logs/rows/$bench" >"$logs/$bench.log" 2>"$logs/$bench.err"; then
        echo "bench: $bench failed (see $logs/$bench.err)" >&2
        status=1
    fi
done

engines=
if [ -x multiview ]; then
    engines=$(./multiview --list-engines)
fi
for engine in $engines; do
    echo "running multiview on $engine: $peak_frames and $long_frames frames ..." >&2
    for frames in $peak_frames $long_frames; do
        if ! ./multiview --engine "$engine" --tiles $tiles --frames "$frames" --stats \
            >"$logs/multiview-$engine-$frames.log" 2>"$logs/multiview-$engine-$frames.err"; then
            echo "bench: multiview on $engine failed (see $logs/multiview-$engine-$frames.err)" >&2
            status=1
        fi
    done
done

# A STATS field of a multiview log, or "-".
field() {
    value=$(sed -n "s/^STATS .*[ ]$2=\([^ ]*\).*/\1/p" "$1" 2>/dev/null | tail -n 1)
    echo "${value:--}"
}

echo
echo "libdorurizar benchmark report ($(date -u +%Y-%m-%d), $(nproc) cores, Qt $qt_major)"
echo
printf '%-12s %-46s %14s %14s %9s %9s  %s\n' bench operation "engine ns" "baseline ns" ratio target result
for bench in $benches; do
    cat "$logs/rows/$bench.ratios" 2>/dev/null || true
done

echo
printf '%-12s %-46s %14s  %-12s %s\n' bench figure value unit target
for bench in $benches; do
    cat "$logs/rows/$bench.figures" 2>/dev/null || true
done

echo
echo "multiview host, $tiles tiles, 960x600 window, whole process"
printf '%-7s %10s %9s %18s %16s %16s %16s  %s\n' engine "frame ms" fps "peak MiB ($peak_frames f)" \
    "RSS warm KiB" "RSS end KiB" "growth KiB" "flat over $long_frames frames"
for engine in $engines; do
    short="$logs/multiview-$engine-$peak_frames.log"
    long="$logs/multiview-$engine-$long_frames.log"
    peak=$(field "$short" peak_kb)
    warm=$(field "$long" rss_warm_kb)
    end=$(field "$long" rss_end_kb)
    growth=$(field "$long" rss_growth_kb)
    flat=-
    if [ "$growth" != - ] && [ "$warm" != - ]; then
        # Allocator noise stays within a MiB or 1% of the resident set; a leak
        # of even a few bytes per frame passes that within 3,000 frames.
        allowance=$((warm / 100))
        [ "$allowance" -lt 1024 ] && allowance=1024
        if [ "$growth" -le "$allowance" ]; then flat=yes; else flat="NO (+$growth KiB)"; fi
    fi
    peak_mib=-
    [ "$peak" != - ] && peak_mib=$(awk "BEGIN { printf \"%.1f\", $peak / 1024 }")
    printf '%-7s %10s %9s %18s %16s %16s %16s  %s\n' "$engine" "$(field "$short" frame_ms)" "$(field "$short" fps)" \
        "$peak_mib" "$warm" "$end" "$growth" "$flat"
done

echo
echo "soak, every engine under churn (images made, resized and destroyed, font maps given back and taken anew,"
echo "the screen moved between two windows). Resident memory after malloc has returned its free pages, the median"
echo "of the first and of the last tenth of samples taken every 50 frames after warm-up; flat means growth under"
echo "1 MiB and not one descriptor or GL texture more. gl-bare is the GL wall without the engine: the driver's share."
printf '%-8s %7s %9s %13s %12s %11s %16s %4s %9s  %s\n' engine frames "frame ms" "RSS warm KiB" "RSS end KiB" \
    "growth KiB" "heap growth KiB" fds textures verdict
cat "$logs/rows/soak.soak" 2>/dev/null || echo "(no soak rows: see $logs/soak.err)"
echo
echo "raw outputs: $logs"
exit $status
