#!/usr/bin/env bash
# Builds and runs the test suites: the release build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, the ThreadSanitizer build of the tests
# that run threads (streams, channel churn, the four-thread stress), and a
# bounded run of every fuzz target (FUZZ_SECONDS each, default 30), the
# Debian package, then the Windows DLLs and their tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in default asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  # The applications' run of the V4L2 face once (its device code runs under
  # the sanitizers in the face's own tests).
  if [ "$preset" = asan ]; then ctest --preset "$preset" -E V4l2Face.Applications; else ctest --preset "$preset"; fi
done
cmake --preset tsan
cmake --build --preset tsan --target integration_tests capture_tests parport_tests
ctest --preset tsan -R "ThreadStress|StreamCapture|DriverLifecycle|StreamTest|FrameFaults|ParportDriver"
scripts/fuzz.sh
# The Debian package (from the default build, which is set up for /usr): built,
# linted, installed, used and removed.
tests/packaging/deb_test.sh build/default
scripts/test-win32.sh
