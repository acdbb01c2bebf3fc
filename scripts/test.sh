#!/bin/sh
# Installs what is missing, then builds the library twice, plain and with
# AddressSanitizer + UndefinedBehaviorSanitizer, and runs every test of each
# build on an Xvfb X server; then builds the fuzzers with clang and libFuzzer
# and runs each for DORURIZAR_FUZZ_SECONDS (20) from its seed corpus. Any
# failure, sanitizer report or fuzzer finding stops the run.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh

jobs=$(nproc)
for variant in plain sanitize; do
    sanitize=OFF
    [ "$variant" = sanitize ] && sanitize=ON
    echo "== $variant build =="
    cmake -S . -B "out/$variant" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
        -DDORURIZAR_SANITIZE=$sanitize
    cmake --build "out/$variant" -j "$jobs"
    echo "== $variant tests =="
    xvfb-run -a -s "-screen 0 1280x1024x24" \
        ctest --test-dir "out/$variant" --output-on-failure --no-tests=error -j "$jobs"
done

echo "== fuzz build =="
cmake -S . -B out/fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
    -DDORURIZAR_FUZZ=ON -DDORURIZAR_BUILD_EXAMPLES=OFF -DDORURIZAR_BUILD_TOOLS=OFF
cmake --build out/fuzz -j "$jobs"
echo "== fuzz tests =="
ctest --test-dir out/fuzz --output-on-failure --no-tests=error -j "$jobs"
