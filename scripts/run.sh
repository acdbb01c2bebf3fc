#!/bin/sh
# Installs what is missing, builds the library and its example host, and runs
# the host: on the user's display when there is one, else on Xvfb. The frame
# it shows is saved under out/.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh

cmake -S . -B out/plain -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build out/plain -j "$(nproc)" --target hello fontgen
mkdir -p out/screenshots
shot="$(pwd)/out/screenshots/hello-qt.png"

# Hosts start ./fontgen from their working directory on a first run.
cd out/plain/bin
if [ -n "${DISPLAY:-}" ]; then
    ./hello --screenshot "$shot"
else
    xvfb-run -a -s "-screen 0 1280x1024x24" ./hello --screenshot "$shot"
fi
echo "saved $shot"
