// The driver-wide context: every piece of the driver's process-wide mutable
// state lives here. The driver record is a plain member; each module above the
// core keeps its own state struct in a slot of the context, made on first use,
// so the core never needs to know the modules or their types. One Reset puts
// the whole driver back to a freshly loaded module.
#pragma once

#include <atomic>
#include <mutex>

#include "core/driver_state.h"

class DriverContext {
 public:
  // The state of one module, made on first use. A state type has a
  // `void Reset()` and says when a reset takes it down with
  // `static constexpr int kResetRank`: higher ranks first, so the highest
  // layer goes first and a module's reset may still use the layers below it
  // (the capture engine frees its device through the camera and colour layers).
  template <class State>
  State& Module() {
    static const int index = NextSlotIndex();
    Slot& slot = slots_[index];
    void* state = slot.state.load(std::memory_order_acquire);
    if (state == nullptr) {
      state = Make(slot, State::kResetRank, [] { return static_cast<void*>(new State); }, ResetOf<State>,
                   DeleteOf<State>);
    }
    return *static_cast<State*>(state);
  }

  // Back to a freshly loaded module: each module resets its own state, by
  // rank, then the driver record (the module handle stays: it belongs to the
  // loaded library, not to a driver session).
  void Reset();

  DriverContext() = default;
  DriverContext(const DriverContext&) = delete;
  DriverContext& operator=(const DriverContext&) = delete;
  // At module unload: each module's state is freed as it stands (no teardown
  // runs; the host had its DRV_CLOSE and DRV_FREE to end things properly).
  ~DriverContext();

  DriverState driver;
  // Serialises the driver messages and channel open and close. Recursive: a
  // dialog shown during a message may send the driver messages of its own.
  std::recursive_mutex driverLock;
  // Around the current device: frame capture (the client's thread and the
  // stream timer's), format changes, stream-mode changes and the dialogs.
  // Recursive: a format change runs AcceptFormat while already holding it.
  std::recursive_mutex deviceLock;

 private:
  static constexpr int kMaxModules = 16;
  struct Slot {
    std::atomic<void*> state{nullptr};
    int resetRank = 0;
    void (*reset)(void*) = nullptr;
    void (*destroy)(void*) = nullptr;
  };
  template <class State>
  static void ResetOf(void* state) {
    static_cast<State*>(state)->Reset();
  }
  template <class State>
  static void DeleteOf(void* state) {
    delete static_cast<State*>(state);
  }
  // A slot index for each state type, handed out at its first use.
  static int NextSlotIndex();
  void* Make(Slot& slot, int resetRank, void* (*make)(), void (*reset)(void*), void (*destroy)(void*));

  std::mutex makeMutex_;
  Slot slots_[kMaxModules];
};

// The one context of this module, made on first use (the module entry may run
// before any other object of the library exists) and freed when the module is
// unloaded.
DriverContext& Context();

// The driver lock as DriverProc holds it for one message, counted per thread
// (a message sent from inside a message takes it again).
class DriverLockHold {
 public:
  DriverLockHold();
  ~DriverLockHold();
  DriverLockHold(const DriverLockHold&) = delete;
  DriverLockHold& operator=(const DriverLockHold&) = delete;
};

// Lets go of the driver lock this thread holds for as long as it lives: a
// modal dialog is up for as long as the user likes, and the host's other
// threads (a channel close among them) must not wait for the user.
class DriverLockRelease {
 public:
  DriverLockRelease();
  ~DriverLockRelease();
  DriverLockRelease(const DriverLockRelease&) = delete;
  DriverLockRelease& operator=(const DriverLockRelease&) = delete;

 private:
  int depth_;
};

// Puts the whole driver back to a freshly loaded module (tests, DRV_FREE of a
// module that is loaded again).
inline void ResetDriverContext() { Context().Reset(); }
