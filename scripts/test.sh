#!/bin/sh
# Installs what is missing, then builds the library on Qt 5, plain and with
# AddressSanitizer + UndefinedBehaviorSanitizer, and on Qt 6, plain and with
# the sanitizers, and runs every test of each build on an Xvfb X server. The
# Qt 6 builds also install themselves beside the matching Qt 5 build in one
# prefix and build a client against each. Then it builds the fuzzers with
# clang and libFuzzer and runs each for DORURIZAR_FUZZ_SECONDS (20) from its
# seed corpus. Any failure, sanitizer report or fuzzer finding stops the run.
#
#   sh scripts/test.sh                           all four builds and the fuzzers
#   TEST_VARIANTS="plain qt6" sh scripts/test.sh  some of the builds (a Qt 6
#                                                 build needs its Qt 5 one first)
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh

jobs=$(nproc)
for variant in ${TEST_VARIANTS:-plain sanitize qt6 qt6-sanitize}; do
    case $variant in
    plain) options="-DDORURIZAR_SANITIZE=OFF" ;;
    sanitize) options="-DDORURIZAR_SANITIZE=ON" ;;
    qt6) options="-DDORURIZAR_SANITIZE=OFF -DDORURIZAR_QT_MAJOR=6 -DDORURIZAR_OTHER_QT_BUILD=$(pwd)/out/plain" ;;
    qt6-sanitize) options="-DDORURIZAR_SANITIZE=ON -DDORURIZAR_QT_MAJOR=6 -DDORURIZAR_OTHER_QT_BUILD=$(pwd)/out/sanitize" ;;
    *) echo "test.sh: unknown variant $variant" >&2; exit 2 ;;
    esac
    echo "== $variant build =="
    # shellcheck disable=SC2086
    cmake -S . -B "out/$variant" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON $options
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
