// Per-format defect repair: the correction list is worked out once per format
// (sensor positions to frame coordinates, usable neighbours), then applied to
// every raw frame.
#include <algorithm>

#include "camera/camera_state.h"
#include "camera/capture_device.h"
#include "camera/defect_map.h"

namespace {

int ColourClass(DWORD row, DWORD column) {
  if (row % 2 == 0) return column % 2 == 1 ? 1 : 2;
  return column % 2 == 1 ? 3 : 4;
}

// Unpacks the table's used entries, moving even positions two on.
void UnpackDefects(const DefectTable& table, DefectList& list) {
  list.count = 0;
  for (const DefectEntry& entry : table.entries) {
    if (entry.Kind() == 0) continue;
    DWORD position = entry.Position();
    if (position % 2 == 0) position += 2;
    list.items[list.count++] = {entry.Kind(), static_cast<std::int32_t>(position), 0};
  }
}

// Ascending by position. Equal positions keep their table order, which makes
// the result repeatable without a sort that needs scratch memory.
void SortDefects(DefectList& list) {
  std::int32_t order[kDefectMapEntries];
  for (std::int32_t i = 0; i < list.count; ++i) order[i] = i;
  std::sort(order, order + list.count, [&list](std::int32_t a, std::int32_t b) {
    const auto pa = static_cast<DWORD>(list.items[a].position);
    const auto pb = static_cast<DWORD>(list.items[b].position);
    return pa != pb ? pa < pb : a < b;
  });
  DefectItem sorted[kDefectMapEntries];
  for (std::int32_t i = 0; i < list.count; ++i) sorted[i] = list.items[order[i]];
  std::copy(sorted, sorted + list.count, list.items);
}

// A defect next to another defect of the same colour cannot be repaired from it.
void FlagDefectNeighbours(DefectList& list) {
  for (std::int32_t i = 0; i < list.count; ++i) {
    const auto a = static_cast<DWORD>(list.items[i].position);
    const DWORD up = a >= kSameColourColumnStep ? a - kSameColourColumnStep : 0;
    const DWORD left = a >= kSameColourRowStep ? a - kSameColourRowStep : 0;
    const DWORD right = a + kSameColourRowStep;
    const DWORD down = a + kSameColourColumnStep;
    int flags = 0;
    for (std::int32_t j = i - 1; j >= 0; --j) {
      const auto p = static_cast<DWORD>(list.items[j].position);
      if (p == left) flags |= DEFECT_NO_LEFT;
      if (p == up) flags |= DEFECT_NO_ABOVE;
      if (p <= up) break;
    }
    for (std::int32_t j = i + 1; j < list.count; ++j) {
      const auto p = static_cast<DWORD>(list.items[j].position);
      if (p == right) flags |= DEFECT_NO_RIGHT;
      if (p == down) flags |= DEFECT_NO_BELOW;
      if (p >= down) break;
    }
    list.items[i].flags = flags;
  }
}

// Frame coordinates and border flags of one defect; false when it is not in the frame.
bool MapToFrame(DWORD mode, const CorrectionWindow& window, DWORD position, int* x, int* y, int* borderFlags) {
  const int w = window.x1 - window.x0;
  const int h = window.y1 - window.y0;
  const auto row = static_cast<int>(position / kSensorRowLength);
  const auto column = static_cast<int>(position % kSensorRowLength);
  int flags = 0;
  if (mode == CAPTURE_MODE_RAW) {
    // A raw row arrives split by column parity: odd sensor columns first, then even.
    const int col = column % 2 == 1 ? column / 2 : column / 2 + 194;
    *x = col >= 194 ? col - 195 + w / 2 - window.x0 : col - window.x0;
    *y = row - window.y0 + 4;
    if (*x < 2) flags |= DEFECT_NO_LEFT;
    else if (*x > w - 2) flags |= DEFECT_NO_RIGHT;
    if (*y < 2) flags |= DEFECT_NO_ABOVE;
    else if (*y > h - 3) flags |= DEFECT_NO_BELOW;
    if (*x < 0 || *y < 0 || *x >= w || *y >= h) return false;
  } else if (mode == CAPTURE_MODE_YUV) {
    // The window spans two sensor rows per frame row, so the frame has h / 2 rows;
    // a defect on or past that is not in the frame, and the last row has no row below.
    const int rows = h / 2;
    *x = column / 2 - window.x0;
    *y = (row + 1) / 2 - window.y0 / 2 + 1;
    if (*x == 0) flags |= DEFECT_NO_LEFT;
    else if (*x == w - 1) flags |= DEFECT_NO_RIGHT;
    if (*y == 0) flags |= DEFECT_NO_ABOVE;
    else if (*y == rows - 1) flags |= DEFECT_NO_BELOW;
    if (*x < 0 || *y < 0 || *x >= w || *y >= rows) return false;
  } else {
    return false;
  }
  *borderFlags = flags;
  return true;
}

DWORD FrameBytesOf(DWORD mode, const CorrectionWindow& window) {
  const int w = window.x1 - window.x0;
  const int h = window.y1 - window.y0;
  if (w <= 0 || h <= 0) return 0;
  if (mode == CAPTURE_MODE_RAW) return static_cast<DWORD>(w) * static_cast<DWORD>(h);
  if (mode == CAPTURE_MODE_YUV) return static_cast<DWORD>(w) * static_cast<DWORD>(h / 2) * 3 / 2;
  return 0;
}

// One repair: the first usable choice in order - both sides averaged, above and
// below averaged, then a single neighbour left, right, above, below. A choice
// whose bytes lie outside the frame is not usable.
void RepairByte(BYTE* frame, long limit, long at, long left, long right, long above, long below, int flags) {
  auto in = [limit](long o) { return o >= 0 && o < limit; };
  if (!in(at)) return;
  const bool useLeft = !(flags & DEFECT_NO_LEFT) && in(left);
  const bool useRight = !(flags & DEFECT_NO_RIGHT) && in(right);
  const bool useAbove = !(flags & DEFECT_NO_ABOVE) && in(above);
  const bool useBelow = !(flags & DEFECT_NO_BELOW) && in(below);
  if (useLeft && useRight) {
    frame[at] = static_cast<BYTE>((frame[left] + frame[right]) / 2);
  } else if (useAbove && useBelow) {
    frame[at] = static_cast<BYTE>((frame[above] + frame[below]) / 2);
  } else if (useLeft) {
    frame[at] = frame[left];
  } else if (useRight) {
    frame[at] = frame[right];
  } else if (useAbove) {
    frame[at] = frame[above];
  } else if (useBelow) {
    frame[at] = frame[below];
  }
}

}  // namespace

BOOL PrepareDefectCorrection(DWORD mode, std::int16_t x0, std::int16_t y0, std::int16_t x1, std::int16_t y1) {
  CameraState& camera = Camera();
  camera.correctionWindow = {mode, x0, y0, x1, y1};
  camera.correctionFrameBytes = FrameBytesOf(mode, camera.correctionWindow);

  DefectList& defects = camera.defectList;
  UnpackDefects(camera.defectTable, defects);
  SortDefects(defects);
  FlagDefectNeighbours(defects);

  CorrectionList& list = camera.correctionList;
  list.count = 0;
  for (std::int32_t i = 0; i < defects.count; ++i) {
    const DefectItem& item = defects.items[i];
    const auto position = static_cast<DWORD>(item.position);
    int x = 0, y = 0, border = 0;
    if (!MapToFrame(mode, camera.correctionWindow, position, &x, &y, &border)) continue;
    const int colourClass = ColourClass(position / kSensorRowLength, position % kSensorRowLength);
    if (mode == CAPTURE_MODE_YUV && colourClass == 2) continue;
    const int flags = border | item.flags;
    if (flags == DEFECT_NO_NEIGHBOUR) {
      // One defect that cannot be repaired switches repair off for the whole format.
      list.count = 0;
      return TRUE;
    }
    list.items[list.count++] = {item.kind, colourClass, x, y, flags};
  }
  return TRUE;
}

void CorrectDefects(BYTE* frame, DWORD bufferSize) {
  const CameraState& camera = Camera();
  if (frame == nullptr) return;
  const CorrectionWindow& window = camera.correctionWindow;
  const long w = window.x1 - window.x0;
  const long limit = static_cast<long>(std::min(bufferSize, camera.correctionFrameBytes));
  const CorrectionList& list = camera.correctionList;

  if (window.mode == CAPTURE_MODE_RAW) {
    for (std::int32_t i = 0; i < list.count; ++i) {
      const CorrectionItem& item = list.items[i];
      const long off = w * item.y + item.x;
      RepairByte(frame, limit, off, off - 1, off + 1, off - 2 * w, off + 2 * w, item.flags);
    }
  } else if (window.mode == CAPTURE_MODE_YUV) {
    // Row pairs of 3w bytes: luminance of the even row, of the odd row, then
    // the colour-difference pairs shared by both.
    for (std::int32_t i = 0; i < list.count; ++i) {
      const CorrectionItem& item = list.items[i];
      const long group = (item.y / 2) * 3 * w;
      const bool odd = item.y % 2 == 1;
      // The camera forms a pixel's luminance from its block's green, red and
      // blue sites (the matrix's luminance row weighs all three), so a defect
      // of any of them spoils the luminance byte of its block: repaired from
      // the neighbouring blocks, whose same-colour sites are the defect's
      // neighbours. (The even-row green takes no part and is not listed.)
      const long off = group + item.x + (odd ? w : 0);
      const long above = odd ? off - w : off - 2 * w;
      const long below = odd ? off + 2 * w : off + w;
      RepairByte(frame, limit, off, off - 1, off + 1, above, below, item.flags);
      // The colour-difference pair of the defect's column pair is smoothed from
      // the pair of the row pair above and the pair on its left.
      const long q = group + 2 * w + 2 * (item.x / 2);
      if (q >= 2 && q >= 3 * w && q + 1 < limit) {
        frame[q] = static_cast<BYTE>((frame[q - 3 * w] + frame[q - 2]) / 2);
        frame[q + 1] = static_cast<BYTE>((frame[q + 1 - 3 * w] + frame[q - 1]) / 2);
      }
    }
  }
}
