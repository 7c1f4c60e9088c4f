#!/usr/bin/env bash
# The camera in desktop applications that find it on their own, through
# `zarncap v4l2` on the virtual camera at its default path (/dev/videoN):
# GStreamer's device monitor lists it from libudev and a pipeline asking
# framerate=15/1 negotiates; fswebcam takes a picture at its default format;
# motion saves snapshots (it keeps its ioctl requests in ints); qv4l2 starts
# under Xvfb and stays up (it lists the devices as it starts). Each
# application is checked when it is installed.
#   desktop_apps_test.sh <build folder>      (exit 77: none of them is installed)
set -euo pipefail
source "$(dirname "$0")/face_test_env.sh" "$1"
has() { command -v "$1" >/dev/null; }
# Runs a shell line with the camera present; "$ZARNCAP_V4L2_DEVICE" is its path there.
face() { "$zarncap" -q v4l2 -- bash -c "$1"; }
ran=0

if has gst-device-monitor-1.0 && has gst-launch-1.0; then
  listed=$(face 'timeout 30 gst-device-monitor-1.0 Video/Source; echo "path=$ZARNCAP_V4L2_DEVICE"')
  path=$(sed -n 's/^path=//p' <<<"$listed")
  grep -q "name  : Parallel port colour camera" <<<"$listed" || fail "the device monitor listed no camera: $listed"
  grep -q "udev-probed = true" <<<"$listed" || fail "the device monitor did not find it through udev: $listed"
  grep -q "device.path = $path\$" <<<"$listed" || fail "the device monitor's path is not $path: $listed"
  face 'gst-launch-1.0 -q v4l2src device="$ZARNCAP_V4L2_DEVICE" num-buffers=5 ! video/x-raw,framerate=15/1 ! fakesink' \
    >"$work/gst.txt" 2>&1 || { cat "$work/gst.txt"; fail "framerate=15/1 did not negotiate"; }
  ran=$((ran + 1))
fi

if has fswebcam; then
  face 'fswebcam -q -d "$ZARNCAP_V4L2_DEVICE" --no-banner '"$work/fswebcam.jpg" >"$work/fswebcam.txt" 2>&1 ||
    { cat "$work/fswebcam.txt"; fail "fswebcam failed"; }
  head -c 3 "$work/fswebcam.jpg" | od -An -tx1 | grep -q "ff d8 ff" || fail "fswebcam wrote no JPEG"
  ran=$((ran + 1))
fi

if has motion; then
  mkdir "$work/motion"
  cat >"$work/motion/motion.conf" <<CONF
videodevice @DEVICE@
daemon off
setup_mode off
log_level 6
width 320
height 240
framerate 15
target_dir $work/motion
picture_output off
movie_output off
snapshot_interval 1
snapshot_filename snap-%v-%q
webcontrol_port 0
stream_port 0
CONF
  # Snapshots each second until the first lands (at most 30 s), then SIGINT ends it.
  face 'sed -i "s|@DEVICE@|$ZARNCAP_V4L2_DEVICE|" '"$work/motion/motion.conf"'
        motion -n -c '"$work/motion/motion.conf"' -d 6 -l '"$work/motion/log.txt"' \
          </dev/null >/dev/null 2>&1 & pid=$!
        for i in $(seq 60); do [ -s '"$work/motion/lastsnap.jpg"' ] && break; sleep 0.5; done
        kill -INT $pid; wait $pid' || true
  [ -s "$work/motion/lastsnap.jpg" ] || { tail -20 "$work/motion/log.txt"; fail "motion saved no snapshot"; }
  ran=$((ran + 1))
fi

if has qv4l2 && has xvfb-run && has xwininfo; then
  windows=$(face 'xvfb-run -a bash -c "qv4l2 >/dev/null 2>&1 & q=\$!; sleep 5; kill -0 \$q && xwininfo -root -tree; kill \$q"' 2>&1) ||
    fail "qv4l2 did not stay up: $windows"
  grep -q '"V4L2 Test Bench"' <<<"$windows" || fail "qv4l2 showed no window: $windows"
  ran=$((ran + 1))
fi

[ "$ran" -gt 0 ] || { echo "desktop_apps_test: none of the applications is installed"; exit 77; }
echo "desktop_apps_test: $ran applications found and used the camera"
