#!/usr/bin/env bash
# The launcher of `zarncap v4l2` against a client that speaks its wire
# protocol directly (tests/v4l2/raw_client.cpp): cut-short requests, stray
# descriptors, reply sockets of the wrong kind or full, buffers added while
# streaming, truncated buffer memory, the launcher out of descriptors; and a
# process the launcher did not start, which must be refused. Then the
# launcher's life: a folder left by a killed launcher is cleaned up, SIGTERM
# reaches the program, and the program does not inherit an ignored SIGPIPE.
#   protocol_test.sh <build folder> <raw_client program>
set -euo pipefail
source "$(dirname "$0")/face_test_env.sh" "$1"
client=$2

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

# A launcher killed outright leaves its folder with a socket nobody listens on.
mkdir "$TMPDIR/zarncap-v4l2-killed"
python3 -c "import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])" "$TMPDIR/zarncap-v4l2-killed/socket"
"$zarncap" -q v4l2 --device "$work/video7" -- true
[ -e "$TMPDIR/zarncap-v4l2-killed" ] && fail "a killed launcher's folder was not removed"

# SIGTERM to the launcher alone ends the program (and the launcher with its status).
"$zarncap" -q v4l2 --device "$work/video7" -- sleep 600 &
launcher=$!
for _ in $(seq 600); do
  pgrep -P "$launcher" -x sleep >/dev/null && break
  sleep 0.1
done
kill -TERM "$launcher"
status=0
wait "$launcher" || status=$?
[ "$status" -eq 143 ] || fail "after SIGTERM the launcher ended with $status, not the program's 143"

# SIGPIPE (bit 13, mask 0x1000) is not among the program's ignored signals.
ignored=$("$zarncap" -q v4l2 --device "$work/video7" -- sed -n 's/^SigIgn:[[:space:]]*//p' /proc/self/status)
(( (16#$ignored & 0x1000) == 0 )) || fail "the program inherited an ignored SIGPIPE (SigIgn $ignored)"
echo "protocol_test: the launcher kept serving through every hostile client"
