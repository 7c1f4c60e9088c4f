#!/usr/bin/env bash
# The camera as a PipeWire node (`zarncap pipewire`) on the virtual camera,
# in a PipeWire daemon and WirePlumber session manager of the test's own
# (Debian's pipewire and wireplumber, under dbus-run-session, in a private
# XDG_RUNTIME_DIR): no PipeWire and no camera refused in one line; pw-dump
# shows the node's role, formats and controls; GStreamer's pipewiresrc gets 30
# frames equal to the driver's own bytes in two formats at two sizes each; the
# driver's stream stops and the driver closes when the consumer goes; two
# consumers share one stream; pw-cli set-param makes frames brighter and
# lands in the settings file; SIGTERM removes the node and saves settings.
#   node_test.sh <build folder>      (exit 77: PipeWire or GStreamer's plugin is not installed)
set -euo pipefail
for tool in pipewire wireplumber pw-cli pw-dump dbus-run-session gst-launch-1.0 gst-inspect-1.0 python3; do
  command -v "$tool" >/dev/null || { echo "node_test: $tool is not installed"; exit 77; }
done
gst-inspect-1.0 pipewiresrc >/dev/null 2>&1 || { echo "node_test: GStreamer's pipewiresrc (gstreamer1.0-pipewire) is not installed"; exit 77; }
# WirePlumber needs a session bus: the test runs inside one of its own.
if [ -z "${ZARNCAP_NODE_TEST_BUS:-}" ]; then
  exec dbus-run-session -- env ZARNCAP_NODE_TEST_BUS=1 bash "$0" "$@"
fi
build=$(cd "$1" && pwd)
zarncap="$build/tools/zarncap/zarncap"
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "node_test: $*"
  for log in node pipewire wireplumber; do [ -f "$work/$log.log" ] && { echo "--- $log.log"; tail -20 "$work/$log.log"; }; done
  exit 1
}

export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/xdg-config" XDG_STATE_HOME="$work/xdg-state"
export PIPEWIRE_RUNTIME_DIR="$XDG_RUNTIME_DIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export ZARNCAP_CONFIG_DIR="$work/config" ZARNCAP_DRIVER="$build/libzarncap.so"
mkdir -p "$ZARNCAP_CONFIG_DIR"
# A grey scene that darkens upwards: the white balance stays neutral, so
# every frame is the same, and rows in the wrong order would show.
python3 "$here/frames.py" scene "$work/scene.ppm"
camera="sim:noise=0,period=33,scene=file:$work/scene.ppm"

# No PipeWire yet: one line, exit 1.
if out=$("$zarncap" --camera "$camera" pipewire 2>&1); then fail "ran without PipeWire"; fi
[ "$(wc -l <<<"$out")" -eq 1 ] && grep -q "^zarncap: error: no PipeWire running" <<<"$out" || fail "without PipeWire: $out"

pipewire >"$work/pipewire.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
wireplumber >"$work/wireplumber.log" 2>&1 &
pids+=($!)

# No camera: one line, exit 1.
if out=$("$zarncap" --camera none pipewire 2>&1); then fail "ran without a camera"; fi
[ "$(wc -l <<<"$out")" -eq 1 ] && grep -q "^zarncap: error: no camera found" <<<"$out" || fail "without a camera: $out"

"$zarncap" -v --camera "$camera" pipewire >"$work/node.log" 2>&1 &
node=$!
pids+=($node)
wait_for() {  # wait_for <count> <text>: until the node's log holds the text that often (generously long)
  for _ in $(seq 300); do
    [ "$(grep -c -- "$2" "$work/node.log")" -ge "$1" ] && return 0
    kill -0 "$node" 2>/dev/null || fail "the node has gone"
    sleep 0.1
  done
  fail "the node's log never said '$2' $1 times"
}
wait_for 1 "the camera is PipeWire node"
name=$(sed -n 's/.*the camera is PipeWire node \([^ ]*\) .*/\1/p' "$work/node.log")

pw-dump >"$work/dump.json"
python3 "$here/frames.py" dump "$work/dump.json" "$name" || fail "pw-dump does not show the node as a camera"

consume() {  # consume <format> <width> <height> <frames> <file>
  timeout 60 gst-launch-1.0 -q pipewiresrc target-object="$name" num-buffers="$4" \
    stream-properties="props,media.type=Video,media.category=Capture,media.role=Camera" \
    ! "video/x-raw,format=$1,width=$2,height=$3" ! filesink location="$5" >>"$work/gst.log" 2>&1
}
runs() { grep -c "the driver's stream runs" "$work/node.log" || true; }
closes() { grep -c "the driver is closed" "$work/node.log" || true; }

# 30 frames in two formats at two sizes each, each equal to the bytes the
# driver streams to `zarncap stream` (I420 as written, BGR rows top-down).
for case in "I420 176 144 i420 y4m" "I420 128 96 i420 y4m" "BGR 320 240 rgb24 avi" "BGR 160 120 rgb24 avi"; do
  read -r caps width height format kind <<<"$case"
  before=$(closes)
  consume "$caps" "$width" "$height" 30 "$work/got.raw" || fail "GStreamer could not take $caps ${width}x$height"
  # The consumer has gone: the driver's stream stops and the port is given back.
  wait_for $((before + 1)) "the driver is closed"
  "$zarncap" -q --camera "$camera" stream --format "$format" --size "${width}x$height" --frames 3 \
    -o "$work/ref.$kind"
  python3 "$here/frames.py" same "$work/got.raw" "$work/ref.$kind" "$caps" "$width" "$height" 30 ||
    fail "$caps ${width}x$height: the frames are not the driver's"
done

# Two consumers at once share one driver stream.
before=$(runs)
consume I420 176 144 60 "$work/one.raw" &
first=$!
wait_for $((before + 1)) "the driver's stream runs"
consume I420 176 144 30 "$work/two.raw" || fail "the second consumer got nothing"
wait "$first" || fail "the first consumer failed"
[ "$(runs)" -eq $((before + 1)) ] || fail "two consumers started $(( $(runs) - before )) driver streams"
python3 "$here/frames.py" count "$work/one.raw" 38016 60 && python3 "$here/frames.py" count "$work/two.raw" 38016 30 ||
  fail "the two consumers did not get all their frames"

# Controls: pw-cli set-param with the slider's position (Debian 12's pw-cli
# sends brightness as a whole number) and with a fraction through params.
id=$(python3 "$here/frames.py" id "$name")
consume I420 176 144 5 "$work/dim.raw"
pw-cli set-param "$id" Props '{ brightness = 90 }' >/dev/null
wait_for 1 "brightness=90"
before=$(closes)
consume I420 176 144 5 "$work/bright.raw"
python3 "$here/frames.py" brighter "$work/dim.raw" "$work/bright.raw" 38016 || fail "brightness = 90 is not brighter"
# The driver writes its settings when it closes, after the last consumer.
wait_for $((before + 1)) "the driver is closed"
grep -q "^Brightness=90" "$ZARNCAP_CONFIG_DIR/zarncap.ini" || fail "the driver did not keep brightness 90"
pw-cli set-param "$id" Props '{ params = [ "brightness" 0.3 "compression" "manual" "quality" 40 ] }' >/dev/null
wait_for 1 "quality=40"
grep -q "^Brightness=30" "$ZARNCAP_CONFIG_DIR/zarncap.ini" || fail "the driver did not keep brightness 0.3 as 30"
grep -q "^ImageQuality=40" "$ZARNCAP_CONFIG_DIR/zarncap.ini" || fail "the driver did not keep quality 40"
pw-dump "$id" | grep -q '"brightness": 30' || fail "pw-dump does not show brightness 30"
# While a consumer streams: the frames after the change are brighter; SIGTERM
# then removes the node, closes the driver and keeps the change.
before=$(runs)
consume I420 176 144 1000 "$work/during.raw" &
during=$!
wait_for $((before + 1)) "the driver's stream runs"
sleep 0.5
pw-cli set-param "$id" Props '{ brightness = 95 }' >/dev/null
wait_for 1 "brightness=95"
sleep 0.5
kill -TERM "$node"
status=0; wait "$node" || status=$?
[ "$status" -eq 143 ] || fail "the node ended with status $status on SIGTERM, not 143"
kill -INT "$during" 2>/dev/null || true  # its source has gone; it would wait for it to come back
wait "$during" || true
python3 "$here/frames.py" brightens "$work/during.raw" 38016 || fail "brightness = 95 did not brighten a running stream"
grep -q "^Brightness=95" "$ZARNCAP_CONFIG_DIR/zarncap.ini" || fail "the settings were not saved on SIGTERM"
grep -q "the driver is closed" <(tail -3 "$work/node.log") || fail "the driver was not closed on SIGTERM"
pw-dump | grep -q "\"node.name\": \"$name\"" && fail "the node is still in the graph"
echo "node_test: the node served GStreamer, pw-dump and pw-cli"
