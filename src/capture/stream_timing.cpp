// Timer arithmetic of the streaming engine (see stream_timing.h).
#include "capture/stream_timing.h"

WORD StreamTimerPeriod(WORD basePeriod, DWORD microSecPerFrame, UINT maxPeriod) {
  const DWORD base = basePeriod == 0 ? 1 : basePeriod;
  WORD period = static_cast<WORD>(base);
  if (microSecPerFrame >= base * 1000) {
    period = static_cast<WORD>(base * (microSecPerFrame / (base * 1000)));
  }
  if (maxPeriod < period) period = static_cast<WORD>(maxPeriod);
  return period;
}

WORD NextTimerDelay(DWORD t0, DWORD t1, WORD period) {
  if (t1 < t0) return period;
  const DWORD elapsed = t1 - t0;
  if (static_cast<long long>(elapsed) > static_cast<long long>(period) - kShortestTimerDelay) return kShortestTimerDelay;
  return static_cast<WORD>(period - elapsed + 2);
}
