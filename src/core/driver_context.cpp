#include "core/driver_context.h"

DriverContext& Context() {
  // Made on first use and kept until the process ends: the module entry may
  // store the module handle from a library constructor, before namespace-scope
  // objects of this unit exist.
  static DriverContext* context = new DriverContext;
  return *context;
}

void* DriverContext::Make(Slot& slot, void* (*make)(), void (*reset)(void*)) {
  std::lock_guard lock(makeMutex_);
  void* state = slot.state.load(std::memory_order_acquire);
  if (state == nullptr) {
    state = make();
    slot.reset = reset;
    slot.state.store(state, std::memory_order_release);
  }
  return state;
}

void DriverContext::Reset() {
  for (Slot& slot : slots_) {
    void* state = slot.state.load(std::memory_order_acquire);
    if (state != nullptr) slot.reset(state);
  }
  const HINSTANCE module = driver.moduleInstance;
  driver = DriverState{};
  driver.moduleInstance = module;
}
