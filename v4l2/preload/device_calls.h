// The calls on a connection: an ioctl (its argument checked and carried up
// and back, EFAULT for memory the application cannot give), a buffer mapped
// for mmap, a frame for read(). fd is the call's own descriptor (a
// CallDescriptor). A blocking DQBUF or read waits here and ends with EINTR
// when a signal handler that does not ask for restarts runs, as the kernel's
// wait does.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace v4l2face {

int DeviceIoctl(int fd, unsigned long request, void* argument);
void* DeviceMap(int fd, void* address, size_t length, int protection, int flags, off_t offset);
ssize_t DeviceRead(int fd, void* buffer, size_t count);

}  // namespace v4l2face
