#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build, test and run zarncap.
# Safe to run again: apt-get skips what is already there. Further Debian
# packages may be named as arguments (scripts/bench.sh adds the benchmark's
# peers that way).
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev libjpeg-dev libcpp-httplib-dev libcli11-dev libieee1284-3-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  ffmpeg python3
  clang libfuzzer-14-dev libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-i686-posix googletest wine wine32:i386 xvfb
  chromium fonts-dejavu-core
  lintian man-db
  v4l-utils gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  "$@"
)
# Node.js drives the browser test; a machine that has it keeps its own.
command -v node >/dev/null 2>&1 || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  # Wine runs the 32-bit DLL and its tests: it needs the i386 architecture.
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# playwright-core for the browser test (the browser itself is Debian's chromium).
(cd tests/browser && npm ci --no-audit --no-fund --silent)
