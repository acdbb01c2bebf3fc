#!/bin/sh
# own-display.sh COMMAND [ARGS...]: runs COMMAND on an X server of its own.
# Tests read back what the X server shows; with a server each, tests run side
# by side without their windows covering each other. OWN_DISPLAY_SCREEN sets
# the screen (1280x1024x24 by default).
set -u
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 "${OWN_DISPLAY_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$number" 2>/dev/null &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -f "$number"' EXIT
tries=0
while [ ! -s "$number" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 200 ] || ! kill -0 $server 2>/dev/null; then
        echo "own-display.sh: the X server did not start" >&2
        exit 1
    fi
    sleep 0.05
done
DISPLAY=:$(cat "$number") "$@"
