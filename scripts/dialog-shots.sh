#!/usr/bin/env bash
# Draws every dialog of ZARNCAP.DLL in every language with Wine's own dialog
# manager on a virtual display, and saves them as PNGs in build/dialog-shots/
# (build artefacts); then checks the live trace window of the test DLL opened
# through winmm, and works its dialogs as a user would under Wine's dialog
# manager. Needs the win32 preset built and xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
out=build/dialog-shots
rm -rf "$out" && mkdir -p "$out"
# Everything runs on the one virtual display (a Wine started without one
# would keep a display-less desktop for the rest). No window manager runs
# there, so Wine draws the frames and captions itself.
wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 800x600x24" sh -c '
  for value in Managed Decorated; do
    wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v "$value" /d N /f >/dev/null 2>&1
  done
  wine build/win32/tests/win32/dialog_shots.exe build/win32/ZARNCAP.DLL "$1"
  status=$?
  ZARNCAP_CAMERA="sim:port=2,noise=0" wine build/win32/tests/win32/trace_window_check.exe \
    build/win32/ZARNCAP_SIM.DLL build/win32/trace-window || status=1
  ZARNCAP_CAMERA="sim:port=2,noise=0,scene=flat:128,128,128" wine build/win32/tests/win32/dialog_check.exe \
    build/win32/ZARNCAP_SIM.DLL build/win32/dialog-check || status=1
  wineserver -k
  exit $status' sh "$out"
python3 - "$out" <<'PY'
import glob, struct, sys, zlib, os
for path in sorted(glob.glob(os.path.join(sys.argv[1], "*.bmp"))):
    data = open(path, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        src = height - 1 - y if height > 0 else y
        row = data[offset + src * stride: offset + src * stride + width * 3]
        rows.append(b"\0" + bytes(b for i in range(0, len(row), 3) for b in (row[i + 2], row[i + 1], row[i])))
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))
    open(path[:-4] + ".png", "wb").write(png)
    os.remove(path)
    print(path[:-4] + ".png")
PY
