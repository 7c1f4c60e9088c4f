// The wait the sensor's register settle times are made of.
#pragma once

#include "platform/types.h"

// Returns once the low 16 bits of n milliseconds have passed on the system
// millisecond clock, never earlier. It sleeps rather than spins (the timing is
// what the camera needs, not a busy processor); the difference is taken
// unsigned, so a wrap of the clock is harmless.
void WaitMilliseconds(DWORD n);
