#!/usr/bin/env bash
# The camera in Chromium with its sandbox on, through `zarncap v4l2` on the
# virtual camera: a local page lists it among the video inputs, opens it
# with getUserMedia and draws a frame that is a picture (not black); the
# renderers run confined (seccomp, and their own user namespace where the
# system allows one). Chromium refuses its sandbox to root, so as root the
# launcher and the browser run as nobody.
#   browser_test.sh <build folder>      (exit 77: no Chromium, or no user to run it as)
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
chromium=${CHROMIUM:-/usr/bin/chromium}
[ -x "$chromium" ] && command -v python3 >/dev/null || { echo "browser_test: no $chromium or python3"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
as=()
if [ "$(id -u)" = 0 ]; then
  command -v setpriv >/dev/null && id nobody >/dev/null 2>&1 || { echo "browser_test: no setpriv or nobody"; exit 77; }
  chown nobody "$work"
  as=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
fi
chmod 755 "$work"
fail() { echo "browser_test: $*"; exit 1; }
# Chromium's sandbox (Debian ships no setuid helper) needs a user namespace.
if ! said=$("${as[@]}" unshare -U true 2>&1); then
  echo "browser_test: no user namespace for $("${as[@]}" id -un) here (unshare -U: $said); Chromium's sandbox needs one"
  exit 77
fi

answer=$(cd "$work" && "${as[@]}" env HOME="$work" TMPDIR="$work" ZARNCAP_CONFIG_DIR="$work" ZARNCAP_CAMERA="sim:noise=0" \
  ZARNCAP_DRIVER="$build/libzarncap.so" "$build/tools/zarncap/zarncap" -q v4l2 -- \
  python3 "$here/browser_camera.py" "$chromium" 90) || fail "the page did not answer: $answer"
echo "browser_test: the page found $answer"
python3 - "$answer" <<'CHECK' || fail "see above"
import json, sys
found = json.loads(sys.argv[1])
problems = []
if "error" in found:
    problems.append("the page failed: " + found["error"])
if "Parallel port colour camera" not in found.get("inputs", []):
    problems.append("enumerateDevices() lists no camera")
if not found.get("width") or found.get("lit", 0) < 0.5:
    problems.append("the frame drawn is no picture")
renderers = found.get("renderers", [])
if not renderers or any(r["seccomp"] != 2 for r in renderers):
    problems.append("a renderer runs without its seccomp sandbox: %s" % renderers)
for problem in problems:
    print("browser_test:", problem)
sys.exit(1 if problems else 0)
CHECK
echo "browser_test: Chromium, sandbox on, found the camera and drew its picture"
