#include "core/driver_context.h"

#include <algorithm>
#include <cstdlib>

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

int DriverContext::NextSlotIndex() {
  static std::atomic<int> next{0};
  const int index = next.fetch_add(1);
  if (index >= kMaxModules) std::abort();  // a new module: raise kMaxModules
  return index;
}

void* DriverContext::Make(Slot& slot, int resetRank, void* (*make)(), void (*reset)(void*),
                          void (*destroy)(void*)) {
  std::lock_guard lock(makeMutex_);
  void* state = slot.state.load(std::memory_order_acquire);
  if (state == nullptr) {
    state = make();
    slot.resetRank = resetRank;
    slot.reset = reset;
    slot.destroy = destroy;
    slot.state.store(state, std::memory_order_release);
  }
  return state;
}

void DriverContext::Reset() {
  Slot* made[kMaxModules];
  int count = 0;
  {
    std::lock_guard lock(makeMutex_);
    for (Slot& slot : slots_) {
      if (slot.state.load(std::memory_order_acquire) != nullptr) made[count++] = &slot;
    }
  }
  std::stable_sort(made, made + count, [](const Slot* a, const Slot* b) { return a->resetRank > b->resetRank; });
  for (int i = 0; i < count; ++i) made[i]->reset(made[i]->state.load(std::memory_order_acquire));
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
