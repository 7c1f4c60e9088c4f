#!/usr/bin/env bash
# Builds ZARNCAP.DLL and ZARNCAP_SIM.DLL with mingw-w64 and runs the Windows
# tests under Wine: the driver's unit and integration suites, the capture host
# through winmm on both DLLs, and the DLL's frames against the Linux build's
# (which needs the default preset built first), then every dialog drawn from
# the DLL's resources.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# A prefix of our own, made once; wineboot without a display makes no windows.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  DISPLAY= wineboot -i >/dev/null 2>&1
fi
cmake --preset win32
cmake --build --preset win32
ctest --preset win32
# Every dialog of the DLL, drawn by Wine's dialog manager on a virtual display.
scripts/dialog-shots.sh
wineserver -k 2>/dev/null || true
