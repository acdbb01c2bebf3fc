#!/bin/sh
# own-display.sh COMMAND [ARGS...]: runs COMMAND on an X server of its own.
# Tests read back what the X server shows; with a server each, tests run side
# by side without their windows covering each other. OWN_DISPLAY_SCREEN sets
# the screen (1280x1024x24 by default).
set -u
dir=$(mktemp -d)
mkfifo "$dir/display"
# The server writes its display number to the pipe once it accepts clients;
# the read ends there, at end of file if the server dies first, or after 30 s.
Xvfb -displayfd 3 -screen 0 "${OWN_DISPLAY_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$dir/display" 2>/dev/null &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$dir"' EXIT
number=$(timeout 30 head -n 1 "$dir/display")
if [ -z "$number" ]; then
    echo "own-display.sh: the X server did not start" >&2
    exit 1
fi
DISPLAY=:$number "$@"
