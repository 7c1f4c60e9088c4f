#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan + UBSan) and runs every fuzz
# target for a bounded time (FUZZ_SECONDS each, default 30) on a copy of its
# seed corpus in fuzz/corpus/<target>. A crash, leak or timeout fails the run
# and prints the input that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
cmake --preset fuzz
cmake --build --preset fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in build/fuzz/fuzz/*_fuzz; do
  name=$(basename "$target")
  mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
  cp -r "fuzz/corpus/$name/." "$work/$name/corpus/" 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s"
  if ! "$target" "$work/$name/corpus" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
      -artifact_prefix="$work/$name/artifacts/" -print_final_stats=1 > "$work/$name/log" 2>&1; then
    status=1
    echo "fuzz: $name FAILED" >&2
    grep -E "ERROR|SUMMARY|#[0-9]+ 0x" "$work/$name/log" | head -40 >&2 || true
    for input in "$work/$name/artifacts/"*; do
      [ -f "$input" ] || continue
      echo "fuzz: input $(basename "$input") ($(stat -c %s "$input") bytes):" >&2
      od -A x -t x1z -v "$input" | head -64 >&2
    done
  else
    grep -E "stat::number_of_executed_units" "$work/$name/log" || true
  fi
done
exit $status
