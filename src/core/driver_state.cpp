#include "core/driver_state.h"

// A function-local record: the module entry may store the module handle from a
// library constructor, before namespace-scope objects of this unit exist.
DriverState& Driver() {
  static DriverState state;
  return state;
}

// The module handle belongs to the loaded library, not to a driver session, so
// it survives the reset (as it would a DRV_FREE / DRV_LOAD cycle).
void ResetDriverState() {
  HINSTANCE module = Driver().moduleInstance;
  Driver() = DriverState{};
  Driver().moduleInstance = module;
}
