#include "core/driver_state.h"

#include "core/driver_context.h"

DriverState& Driver() { return Context().driver; }
