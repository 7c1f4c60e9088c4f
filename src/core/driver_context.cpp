#include "core/driver_context.h"

namespace {
thread_local int t_driverLockDepth = 0;
}

DriverLockHold::DriverLockHold() {
  Context().driverLock.lock();
  ++t_driverLockDepth;
}

DriverLockHold::~DriverLockHold() {
  --t_driverLockDepth;
  Context().driverLock.unlock();
}

DriverLockRelease::DriverLockRelease() : depth_(t_driverLockDepth) {
  for (int i = 0; i < depth_; ++i) Context().driverLock.unlock();
  t_driverLockDepth = 0;
}

DriverLockRelease::~DriverLockRelease() {
  for (int i = 0; i < depth_; ++i) Context().driverLock.lock();
  t_driverLockDepth = depth_;
}

DriverContext& Context() {
  static DriverContext context;
  return context;
}

void* DriverContext::Make(Slot& slot, void* (*make)(), void (*reset)(void*), void (*destroy)(void*)) {
  std::lock_guard lock(makeMutex_);
  void* state = slot.state.load(std::memory_order_acquire);
  if (state == nullptr) {
    state = make();
    slot.reset = reset;
    slot.destroy = destroy;
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

DriverContext::~DriverContext() {
  for (Slot& slot : slots_) {
    void* state = slot.state.exchange(nullptr);
    if (state != nullptr) slot.destroy(state);
  }
}
