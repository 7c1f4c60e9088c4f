// The device's buffers this process has mapped, so QUERYBUF, QBUF and DQBUF
// say V4L2_BUF_FLAG_MAPPED exactly while a mapping of the buffer lasts (libv4l2
// refuses REQBUFS(0) and S_FMT while it sees the flag). munmap is called
// everywhere (free() of large blocks among them): the table is a fixed array
// with atomic slots, and an empty one costs one load.
#pragma once

#include <cstddef>
#include <cstdint>

namespace v4l2face {

void NoteMapped(void* address, std::size_t length, std::uint64_t offset);
// The range [address, address + length) is no longer mapped: mappings inside
// it are forgotten, mappings it cuts from one end are shortened.
void NoteUnmapped(void* address, std::size_t length);
bool IsMapped(std::uint64_t offset);
// The buffers were freed (REQBUFS): mappings still left are of memory no
// buffer owns any more.
void ForgetBuffers();

}  // namespace v4l2face
