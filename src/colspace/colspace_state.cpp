#include "colspace/colspace_state.h"

#include "colspace/format_header.h"

ColourState& Colour() { return Context().Module<ColourState>(); }

void ColourState::Reset() {
  *this = ColourState{};  // the green plane goes with it
}

ColSpace* CurrentColSpace() { return Colour().current; }

bool IsYUVOutput(DWORD compression) {
  return compression == FOURCC_YVU9 || compression == FOURCC_I420 || compression == FOURCC_YUY2 ||
         compression == FOURCC_YV12;
}

BOOL SelectColSpace(HCOLSPACE handle) {
  if (handle != nullptr && handle == Colour().current) return TRUE;
  if (Colour().current != nullptr) Colour().current->lookupTable = nullptr;
  Colour().current = nullptr;
  if (handle == nullptr || !handle->lookupBlock) return FALSE;
  handle->lookupTable = reinterpret_cast<BYTE*>(handle->lookupBlock.get());
  Colour().current = handle;
  return TRUE;
}

void ForgetColSpace() {
  if (Colour().current != nullptr) Colour().current->lookupTable = nullptr;
  Colour().current = nullptr;
}
