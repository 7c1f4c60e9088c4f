#!/usr/bin/env bash
# Builds and runs the test suites: the release build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, the ThreadSanitizer build of the tests
# that run threads (streams, channel churn, the four-thread stress), a bounded
# run of every fuzz target (FUZZ_SECONDS each, default 30), the Debian
# package, then the Windows DLLs and their tests under Wine.
#
# The suites run in two lanes side by side, so one lane's compiling fills the
# time the other spends waiting on streams, Wine and the applications. Each
# step's output goes to build/test-logs/<step>.log; a failing step's log is
# printed. The exit status is 0 only when every step passed.
set -euo pipefail
cd "$(dirname "$0")/.."
logs=build/test-logs
mkdir -p "$logs"

# step NAME COMMAND...: runs one step quietly and says how it went.
step() {
  local name=$1 start status=0
  shift
  start=$(date +%s)
  "$@" >"$logs/$name.log" 2>&1 || status=$?
  if [ "$status" = 0 ]; then
    echo "test: $name OK ($(($(date +%s) - start)) s)"
  else
    echo "test: $name FAILED (status $status, $(($(date +%s) - start)) s); from $logs/$name.log:"
    # A failed test's own output follows its "***Failed" line in ctest's log.
    { grep -A 40 -E '\*\*\*(Failed|Timeout|Exception)' "$logs/$name.log" || true
      tail -n 60 "$logs/$name.log"; } | sed "s/^/  $name| /"
  fi
  return "$status"
}

build() { cmake --preset "$1" && cmake --build --preset "$1" "${@:2}"; }

# A lane runs every step even after one fails, so one run shows every failure.
# The two lanes take about as long as each other: the sanitizer build alone
# is about as long as everything else.
native_lane() {
  local status=0
  # The release build and its tests, the Debian package (built by the README's
  # lines), the threaded tests under TSan, Windows (whose frames are compared
  # with the release build's), then the fuzzers.
  step release-build build default || status=1
  step release-tests ctest --preset default || status=1
  step debian-package tests/packaging/deb_test.sh || status=1
  step tsan-build build tsan --target integration_tests capture_tests parport_tests || status=1
  step tsan-tests ctest --preset tsan -R "ThreadStress|StreamCapture|DriverLifecycle|StreamTest|FrameFaults|ParportDriver" || status=1
  step windows scripts/test-win32.sh || status=1
  step fuzz scripts/fuzz.sh || status=1
  return "$status"
}

checks_lane() {
  local status=0
  # The applications' run of the V4L2 face is left to the release lane: its
  # device code runs under the sanitizers in the face's own tests.
  step asan-build build asan || status=1
  step asan-tests ctest --preset asan -E V4l2Face.Applications || status=1
  return "$status"
}

start=$(date +%s)
native_lane &
native=$!
checks_lane &
checks=$!
status=0
wait "$native" || status=1
wait "$checks" || status=1
echo "test: all steps $([ "$status" = 0 ] && echo passed || echo 'did not pass') in $(($(date +%s) - start)) s"
exit "$status"
