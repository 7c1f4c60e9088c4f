#include "v4l2/preload/request_lock.h"

#include <linux/futex.h>
#include <sys/syscall.h>

#include <climits>

#include "v4l2/preload/real_calls.h"

namespace v4l2face {

void RequestLock::Lock() {
  const int self = static_cast<int>(RawSyscall(SYS_getpid));
  for (;;) {
    int holder = 0;
    if (holder_.compare_exchange_strong(holder, self, std::memory_order_acquire)) return;
    if (holder != self) {
      // Copied into this process by fork while another process's thread had it.
      if (holder_.compare_exchange_strong(holder, self, std::memory_order_acquire)) return;
      continue;
    }
    RawSyscall(SYS_futex, reinterpret_cast<long>(&holder_), FUTEX_WAIT_PRIVATE, self, 0);
  }
}

void RequestLock::Unlock() {
  holder_.store(0, std::memory_order_release);
  RawSyscall(SYS_futex, reinterpret_cast<long>(&holder_), FUTEX_WAKE_PRIVATE, INT_MAX);
}

}  // namespace v4l2face
