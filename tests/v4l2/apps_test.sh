#!/usr/bin/env bash
# The camera in unmodified Linux video applications through `zarncap v4l2`,
# on the virtual camera: v4l2-compliance (streaming, every format), v4l2-ctl
# (formats, controls, a brighter picture after -c brightness, 30 streamed
# frames), ffmpeg (30 frames at the driver's rate), GStreamer (30 PNGs); then
# the launcher with no camera, and what it leaves behind.
#   apps_test.sh <build folder>      (exit 77: an application is not installed)
set -euo pipefail
build=$(cd "$1" && pwd)
zarncap="$build/tools/zarncap/zarncap"
for tool in v4l2-compliance v4l2-ctl ffmpeg ffprobe gst-launch-1.0 python3; do
  command -v "$tool" >/dev/null || { echo "apps_test: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZARNCAP_CONFIG_DIR="$work/config" ZARNCAP_CAMERA="sim:noise=0" ZARNCAP_DRIVER="$build/libzarncap.so"
mkdir -p "$ZARNCAP_CONFIG_DIR"
# The launchers' folders go here, apart from any other launcher running meanwhile.
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
device="$work/video42"
fail() { echo "apps_test: $*"; exit 1; }
face() { "$zarncap" -q v4l2 --device "$device" -- "$@"; }

# The default path is a /dev/videoN that does not exist, named on stderr.
said=$("$zarncap" v4l2 -- true 2>&1)
grep -q "^zarncap: the camera is /dev/video[0-9]*$" <<<"$said" || fail "the launcher said: $said"

face v4l2-compliance -d "$device" -s -f >"$work/compliance.txt" 2>&1 || true
grep -q "Failed: 0," "$work/compliance.txt" || { cat "$work/compliance.txt"; fail "v4l2-compliance failed"; }
grep -q "test MMAP for Format YVU9" "$work/compliance.txt" || fail "not every format streamed"

formats=$(face v4l2-ctl -d "$device" --list-formats-ext)
for expect in "'BGR3'" "'RGBO'" "'YU12'" "'YV12'" "'YUYV'" "'YVU9'" "Size: Discrete 640x480" "Size: Discrete 176x144"; do
  grep -q "$expect" <<<"$formats" || fail "--list-formats-ext lacks $expect"
done
controls=$(face v4l2-ctl -d "$device" --list-ctrls-menus)
for expect in "brightness 0x00980900" "contrast" "saturation" "compression" "compression_quality" "lighting" "2: Manual"; do
  grep -q "$expect" <<<"$controls" || fail "--list-ctrls-menus lacks $expect"
done

mean() { python3 -c "import sys; d=open(sys.argv[1],'rb').read()[-230400:]; print(sum(d)//len(d))" "$1"; }
face v4l2-ctl -d "$device" -c brightness=30 --stream-mmap --stream-count=5 --stream-to="$work/dim.raw" >/dev/null 2>&1
face v4l2-ctl -d "$device" -c brightness=90 --stream-mmap --stream-count=5 --stream-to="$work/bright.raw" >/dev/null 2>&1
[ "$(mean "$work/bright.raw")" -gt "$(mean "$work/dim.raw")" ] || fail "brightness=90 is not brighter than 30"
grep -q "^Brightness=90" "$ZARNCAP_CONFIG_DIR/zarncap.ini" || fail "the driver did not keep the brightness"

face v4l2-ctl -d "$device" -v width=320,height=240,pixelformat=BGR3 --stream-mmap --stream-count=30 \
  --stream-to="$work/30.raw" >/dev/null 2>&1
[ "$(stat -c %s "$work/30.raw")" -eq $((30 * 320 * 240 * 3)) ] || fail "30 frames of 320x240 BGR24 did not arrive"

rate=$(face v4l2-ctl -d "$device" -P | sed -n 's/.*Frames per second: [0-9.]* (\(.*\))/\1/p')
face ffmpeg -loglevel error -y -f v4l2 -video_size 320x240 -i "$device" -frames:v 30 "$work/out.mkv"
probe=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames,r_frame_rate \
  -of default=nw=1 "$work/out.mkv")
grep -q "nb_read_frames=30" <<<"$probe" || fail "ffmpeg: $probe"
# The rate written is the one the driver delivers (within 3 %: ffmpeg takes it from the frames' times).
written=$(sed -n 's/r_frame_rate=//p' <<<"$probe")
python3 -c "import sys; a=eval(sys.argv[1]+'.0'); b=eval(sys.argv[2]+'.0'); sys.exit(abs(a-b)>0.03*b)" "$written" "$rate" \
  || fail "ffmpeg's rate $written is not the driver's $rate"

mkdir "$work/png"
face gst-launch-1.0 -q v4l2src device="$device" num-buffers=30 ! videoconvert ! pngenc ! \
  multifilesink location="$work/png/f%03d.png" >/dev/null 2>&1
[ "$(ls "$work/png" | wc -l)" -eq 30 ] || fail "GStreamer wrote $(ls "$work/png" | wc -l) pictures"
for png in "$work"/png/*.png; do
  head -c 8 "$png" | od -An -tx1 | grep -q "89 50 4e 47 0d 0a 1a 0a" || fail "$png is not a PNG"
done

# No camera: one line, and the application finds no device at the path.
if out=$("$zarncap" --camera none v4l2 --device "$device" -- v4l2-ctl -d "$device" -D 2>&1); then
  fail "v4l2-ctl found a device without a camera"
fi
[ "$(grep -c '^zarncap: error: no camera found' <<<"$out")" -eq 1 ] || fail "no-camera said: $out"

# Nothing is left: no launcher folder, no process serving the device.
ls "$TMPDIR" | grep -q "^zarncap-v4l2-" && fail "a launcher folder was left: $(ls "$TMPDIR" | grep zarncap-v4l2-)"
echo "apps_test: v4l2-compliance, v4l2-ctl, ffmpeg and GStreamer all took the camera"
