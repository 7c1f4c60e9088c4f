// Room left for a file that grows: a movie stops while its container can
// still be finished, rather than at the write that finds the disk full (by
// then the muxer's buffered frames and its index have nowhere to go).
#pragma once

#include <cstdint>
#include <string>

namespace zarncap {

// Bytes an unprivileged writer may still add on the filesystem holding path
// (a file or the folder it goes in); UINT64_MAX when the system cannot tell.
uint64_t FreeBytes(const std::string& path);

// The size of the file at path so far; 0 when it cannot be read.
uint64_t FileBytes(const std::string& path);

// What finishing a movie may still need beyond its frames (index, trailer).
uint64_t FinishReserve(long framesWritten);

}  // namespace zarncap
