// EEPROM contents as a camera may hold them: the segment chain, the defect map
// in segments 3 and 4 with their checksums, and the repair of a raw frame with
// whatever map came out, for either capture mode and any sensor window.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <vector>

#include "camera/camera_state.h"
#include "camera/defect_map.h"
#include "camera/eeprom.h"
#include "camera/eeprom_segments.h"
#include "core/driver_context.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  ResetDriverContext();
  CameraState& camera = Camera();
  const DWORD sizes[] = {0, kEepromBits1024, kEepromBits4096};
  camera.eepromBits = sizes[in.ConsumeIntegralInRange<int>(0, 2)];
  const DWORD mode = in.ConsumeBool() ? CAPTURE_MODE_RAW : CAPTURE_MODE_YUV;
  const auto x0 = in.ConsumeIntegral<std::int16_t>();
  const auto y0 = in.ConsumeIntegral<std::int16_t>();
  const auto x1 = in.ConsumeIntegral<std::int16_t>();
  const auto y1 = in.ConsumeIntegral<std::int16_t>();
  const std::vector<uint8_t> image = in.ConsumeBytes<uint8_t>(kEepromImageSize);
  if (!image.empty()) std::memcpy(camera.eepromImage, image.data(), image.size());

  for (DWORD offset = 0; offset < kEepromImageSize; offset += 7) {
    BYTE id = 0, length = 0;
    ParseSegmentHeader(offset, &id, &length);
  }
  std::vector<BYTE> map(kDefectMapBytes);
  GetDefectSegment(SEGMENT_DEFECTS_FIRST, kDefectSegmentBytes, map.data());
  GetDefectSegment(SEGMENT_DEFECTS_SECOND, kDefectSegmentBytes, map.data() + kDefectSegmentBytes);
  SetDefectTable(map.data());
  PrepareDefectCorrection(mode, x0, y0, x1, y1);
  // The raw buffer is exactly its size: ASan reports any repair outside it.
  std::vector<BYTE> frame(79056, 0x80);
  CorrectDefects(frame.data(), static_cast<DWORD>(frame.size()));
  return 0;
}
