// Global memory blocks: a handle is the block itself; locking hands out its
// bytes. Blocks are always zeroed, as GMEM_ZEROINIT asks.
#include <cstdlib>

#include "platform/platform.h"

namespace platform {

HGLOBAL GlobalAlloc(UINT, SIZE_T bytes) { return std::calloc(bytes != 0 ? bytes : 1, 1); }
void* GlobalLock(HGLOBAL block) { return block; }
BOOL GlobalUnlock(HGLOBAL block) { return block != nullptr ? TRUE : FALSE; }
HGLOBAL GlobalFree(HGLOBAL block) {
  std::free(block);
  return nullptr;
}

}  // namespace platform
