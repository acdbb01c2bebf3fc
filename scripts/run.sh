#!/bin/sh
# The main job: installs what is missing, builds the library, its font
# generator and the multiview host, then runs the host on every engine the
# build has, on the user's display or else on Xvfb. Leaves under
# out/screenshots/ one screenshot per engine, the contact sheet that compares
# them, and one screenshot per engine of a video wall: tools/makeclip encodes
# a 4-second sample clip (out/clips/sample.mkv, mpeg4, 704x576, 25 fps) and
# every tile plays it.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/out/plain"
shots="$root/out/screenshots"
clip="$root/out/clips/sample.mkv"

if [ "${1:-}" != "--show" ]; then
    sh scripts/install-deps.sh
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build" -j "$(nproc)" --target multiview fontgen makeclip
    if [ -z "${DISPLAY:-}" ]; then
        exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "$root/scripts/run.sh" --show
    fi
fi

mkdir -p "$shots" "$(dirname "$clip")"
# Hosts start ./fontgen from their working directory on a first run, which
# fills the font cache ($DORURIZAR_FONTMAP_CACHE or ~/.cache/dorurizar/fontmaps).
cd "$build/bin"
engines=$(./multiview --help | sed -n 's/.*Engine: \([a-z, ]*\) (default.*/\1/p' | tr -d ',')
for engine in $engines; do
    ./multiview --engine "$engine" --tiles 16 --frames 60 --screenshot "$shots/multiview-$engine.png"
    echo "saved $shots/multiview-$engine.png"
done
./multiview --compare "$shots/contact-sheet.png"

./makeclip --seconds 4 "$clip"
echo "made $clip"
# The clip in all 16 tiles; a run of --frames 50 shows its frame 49 everywhere.
set --
for _ in $(seq 16); do
    set -- "$@" --source "$clip"
done
for engine in $engines; do
    ./multiview --engine "$engine" --frames 50 "$@" --screenshot "$shots/multiview-video-$engine.png"
    echo "saved $shots/multiview-video-$engine.png"
done
