#include "core/driver_state.h"

namespace {
DriverState g_driver;
}

DriverState& Driver() { return g_driver; }

void ResetDriverState() { g_driver = DriverState{}; }
