// Shared helpers of the benchmarks: test pictures and the per-pixel counter.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace bench {

// A mosaic-like picture: colour bars, a ramp and a little noise.
inline std::vector<uint8_t> Picture(size_t bytes, int width, uint32_t seed = 1) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> f(bytes);
  for (size_t i = 0; i < bytes; ++i) {
    const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
    f[i] = static_cast<uint8_t>((((x / 16) % 4) * 60 + y / 2 + ((x + y) % 2) * 40 + rng() % 16) & 0xFF);
  }
  return f;
}

// Reports nanoseconds per output pixel beside the time per frame.
inline void PerPixel(benchmark::State& state, double pixels) {
  state.counters["ns_per_px"] =
      benchmark::Counter(pixels * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace bench
