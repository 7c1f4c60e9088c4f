#!/usr/bin/env bash
# The colour pipeline's paths timed beside their peers (OpenCV's Bayer
# demosaic, libv4lconvert, swscale) in one run: medians of 7, single thread,
# then the ratios to the peers, each from a pair benchmark that times ours and
# the peer turn about. Arguments go to the benchmark program (for
# example --benchmark_filter=PYUV). ZARNCAP_BENCH_KERNELS=sse2|avx2|avx512
# runs every path on one kernel set. Then the driver's CPU per streamed frame
# (driver_bench): cpu_ms_per_frame in all, camera_ms_per_frame inside the
# virtual port device and camera, driver_ms_per_frame the rest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test libopencv-dev libv4l-dev
cmake --preset bench >/dev/null
cmake --build --preset bench --target colspace_bench driver_bench
out=build/bench/colspace.json
build/bench/bench/colspace_bench --benchmark_repetitions=7 --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json "$@"
# The ratios' status (1 when a goal is missed) is the script's, after the
# driver's figures, which are printed either way.
goals=0
python3 bench/ratios.py "$out" || goals=$?
# CPU per streamed frame through DriverProc, the virtual camera's share apart.
build/bench/bench/driver_bench
exit "$goals"
