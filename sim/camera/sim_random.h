// The virtual camera's deterministic random numbers: a seeded generator, so
// every run with the same configuration produces the same frames.
#pragma once

#include <cstdint>

namespace sim {

// xorshift32 seeded through splitmix so that neighbouring seeds give unrelated
// sequences.
class Random {
 public:
  explicit Random(uint64_t seed) {
    seed += 0x9E3779B97F4A7C15ull;
    seed = (seed ^ (seed >> 30)) * 0xBF58476D1CE4E5B9ull;
    seed = (seed ^ (seed >> 27)) * 0x94D049BB133111EBull;
    seed ^= seed >> 31;
    state_ = static_cast<uint32_t>(seed) | 1u;
  }
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  // Uniform in (0, 1].
  double Unit() { return (static_cast<double>(Next()) + 1.0) / 4294967296.0; }

 private:
  uint32_t state_;
};

}  // namespace sim
