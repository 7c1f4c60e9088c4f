// The stream timer's arithmetic: the period chosen at stream init from the
// client's frame interval and the measured sensor period, and the corrected
// delay that re-arms the one-shot timer after each tick.
#pragma once

#include "platform/types.h"

constexpr WORD kMinTimerResolution = 2;   // ms, unless the system's minimum is larger
constexpr WORD kShortestTimerDelay = 4;   // ms: the retry delay and the floor of every delay

// A whole multiple of the sensor period, never shorter than one sensor period:
// the camera cannot deliver frames faster, and a multiple keeps ticks in step
// with the sensor. basePeriod 0 (a sensor faster than 1 ms) counts as 1 ms.
// A period longer than maxPeriod or than 16 bits of milliseconds is held at
// that longest period.
WORD StreamTimerPeriod(WORD basePeriod, DWORD microSecPerFrame, UINT maxPeriod);

// Delay until the next tick, given the clock before (t0) and after (t1) the
// tick's capture: the rest of the period plus 2 ms, at least 4 ms; a full period
// when the clock wrapped in between.
UINT NextTimerDelay(DWORD t0, DWORD t1, WORD period);
