#!/bin/sh
# Installs the Debian packages that building, testing and benchmarking need.
# Safe to run again: it only asks apt for what is not installed yet.
set -eu

PACKAGES="
cmake
g++
make
pkg-config
qtbase5-dev
libqt5opengl5-dev
qt6-base-dev
libqt6opengl6-dev
libxkbcommon-dev
libsdl1.2-dev
libgl-dev
libpng-dev
libgl1-mesa-dri
libbenchmark-dev
libavcodec-dev
libavformat-dev
libavutil-dev
libswscale-dev
clang-14
libclang-rt-14-dev
xvfb
xauth
x11-utils
fonts-dejavu-core
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: missing packages:$missing (run as root to install them)" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends $missing
fi
