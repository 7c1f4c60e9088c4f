// The busy-wait the sensor's register settle times are made of.
#pragma once

#include "platform/types.h"

// Spins on the millisecond clock until the low 16 bits of n milliseconds have
// passed. The difference is taken unsigned, so a wrap of the clock is harmless.
void WaitMilliseconds(DWORD n);
