#include "v4l2/preload/buffer_maps.h"

#include <unistd.h>

#include <atomic>

namespace v4l2face {
namespace {

constexpr int kSlots = 256;

struct Mapping {
  std::atomic<std::uintptr_t> start{0};  // 0: a free slot
  std::atomic<std::uintptr_t> end{0};
  std::atomic<std::uint64_t> offset{0};
  std::atomic<std::uint32_t> generation{0};
};

Mapping mappings[kSlots];
std::atomic<int> live{0};
std::atomic<std::uint32_t> generation{1};

std::uintptr_t PageEnd(std::uintptr_t start, std::size_t length) {
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  return (start + length + page - 1) & ~(page - 1);
}

void Free(Mapping& slot, std::uintptr_t start) {
  if (slot.start.compare_exchange_strong(start, 0, std::memory_order_acq_rel)) live.fetch_sub(1);
}

}  // namespace

void NoteMapped(void* address, std::size_t length, std::uint64_t offset) {
  const auto start = reinterpret_cast<std::uintptr_t>(address);
  for (Mapping& slot : mappings) {
    std::uintptr_t free = 0;
    if (!slot.start.compare_exchange_strong(free, start, std::memory_order_acq_rel)) continue;
    slot.offset.store(offset, std::memory_order_relaxed);
    slot.generation.store(generation.load(), std::memory_order_relaxed);
    slot.end.store(PageEnd(start, length), std::memory_order_release);
    live.fetch_add(1);
    return;
  }
}

void NoteUnmapped(void* address, std::size_t length) {
  if (live.load(std::memory_order_acquire) == 0) return;
  const auto from = reinterpret_cast<std::uintptr_t>(address);
  const std::uintptr_t to = PageEnd(from, length);
  for (Mapping& slot : mappings) {
    const std::uintptr_t start = slot.start.load(std::memory_order_acquire);
    const std::uintptr_t end = slot.end.load(std::memory_order_acquire);
    if (start == 0 || end <= start || to <= start || from >= end) continue;
    if (from <= start && to >= end) {
      Free(slot, start);
    } else if (from <= start) {
      slot.start.store(to, std::memory_order_release);
    } else if (to >= end) {
      slot.end.store(from, std::memory_order_release);
    }
    // A hole in the middle leaves both ends mapped: the buffer stays mapped.
  }
}

bool IsMapped(std::uint64_t offset) {
  if (live.load(std::memory_order_acquire) == 0) return false;
  const std::uint32_t now = generation.load();
  for (const Mapping& slot : mappings) {
    const std::uintptr_t start = slot.start.load(std::memory_order_acquire);
    if (start != 0 && slot.end.load(std::memory_order_acquire) > start &&
        slot.offset.load(std::memory_order_relaxed) == offset && slot.generation.load(std::memory_order_relaxed) == now) {
      return true;
    }
  }
  return false;
}

void ForgetBuffers() { generation.fetch_add(1); }

}  // namespace v4l2face
