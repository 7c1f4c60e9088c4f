// Timer arithmetic of the streaming engine (see stream_timing.h).
#include "capture/stream_timing.h"

#include <cstdint>

WORD StreamTimerPeriod(WORD basePeriod, DWORD microSecPerFrame, UINT maxPeriod) {
  const DWORD base = basePeriod == 0 ? 1 : basePeriod;
  // The longest period the timer and the 16-bit period field can keep.
  const DWORD longest = maxPeriod < 0xFFFF ? maxPeriod : 0xFFFF;
  DWORD multiples = microSecPerFrame / (base * 1000);
  if (multiples == 0) multiples = 1;
  // A period beyond the longest is held at the longest, never wrapped into a
  // short one.
  const uint64_t period = static_cast<uint64_t>(base) * multiples;
  return static_cast<WORD>(period > longest ? longest : period);
}

UINT NextTimerDelay(DWORD t0, DWORD t1, WORD period) {
  if (t1 < t0) return period;
  const DWORD elapsed = t1 - t0;
  if (static_cast<long long>(elapsed) > static_cast<long long>(period) - kShortestTimerDelay) return kShortestTimerDelay;
  // In full width: the longest period plus 2 ms does not fit in 16 bits.
  return static_cast<UINT>(period) - elapsed + 2;
}
