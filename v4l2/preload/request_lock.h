// Keeps one process's requests whole on a shared connection stream. A
// process made by fork while another thread held it finds it held by a
// process that is not itself and takes it over (that holder will never
// release this copy), so a fork in the middle of a request cannot leave the
// child waiting forever. Waiting is a futex wait; nothing here allocates or
// uses thread-local storage.
#pragma once

#include <atomic>

namespace v4l2face {

class RequestLock {
 public:
  void Lock();
  void Unlock();

 private:
  std::atomic<int> holder_{0};  // the holding process's id; 0: free
};

class RequestLockHeld {
 public:
  explicit RequestLockHeld(RequestLock& lock) : lock_(lock) { lock_.Lock(); }
  RequestLockHeld(const RequestLockHeld&) = delete;
  RequestLockHeld& operator=(const RequestLockHeld&) = delete;
  ~RequestLockHeld() { lock_.Unlock(); }

 private:
  RequestLock& lock_;
};

}  // namespace v4l2face
