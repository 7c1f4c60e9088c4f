#!/usr/bin/env bash
# The launcher of `zarncap v4l2` against a client that speaks its wire
# protocol directly (tests/v4l2/raw_client.cpp): cut-short requests, stray
# descriptors, reply sockets of the wrong kind or full, buffers added while
# streaming, truncated buffer memory, the launcher out of descriptors; and a
# process the launcher did not start, which must be refused.
#   protocol_test.sh <build folder> <raw_client program>
set -euo pipefail
build=$(cd "$1" && pwd)
client=$2
zarncap="$build/tools/zarncap/zarncap"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZARNCAP_CONFIG_DIR="$work/config" ZARNCAP_CAMERA="sim:noise=0" ZARNCAP_DRIVER="$build/libzarncap.so"
export TMPDIR="$work/tmp"
mkdir -p "$ZARNCAP_CONFIG_DIR" "$TMPDIR"
fail() { echo "protocol_test: $*"; exit 1; }

"$zarncap" -q v4l2 --device "$work/video7" -- "$client" inside "$work/socket-path" "$work/outside-done" &
launcher=$!
for _ in $(seq 600); do
  [ -s "$work/socket-path" ] && break
  kill -0 "$launcher" 2>/dev/null || break
  sleep 0.1
done
[ -s "$work/socket-path" ] || fail "the client inside did not start"
outside=0
"$client" outside "$(cat "$work/socket-path")" || outside=$?
touch "$work/outside-done"
inside=0
wait "$launcher" || inside=$?
[ "$outside" -eq 0 ] || fail "a process outside the application was served"
[ "$inside" -eq 0 ] || fail "the client inside found faults (status $inside)"
ls "$TMPDIR" | grep -q "^zarncap-v4l2-" && fail "a launcher folder was left: $(ls "$TMPDIR")"
echo "protocol_test: the launcher kept serving through every hostile client"
