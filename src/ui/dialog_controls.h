// What the video source settings dialog keeps between openings: the four
// slider records and the working compression and lighting values. Device
// set-up puts them back to their start (ResetSliderRanges).
#pragma once

#include "core/driver_context.h"
#include "platform/types.h"

struct SliderRange {
  LONG min, max, pos, line, page;
};

struct DialogControlsState {
  static constexpr int kResetRank = 70;  // by layer, highest first (see core/README.md)
  void Reset();

  SliderRange brightness, contrast, colour, quality;
  // The transfer-control triple and the gain level as the dialog last set them.
  DWORD transferControl = 0;
  DWORD temporalDifference = 0;
  DWORD autoThreshold = 0;
  int gainLevel = 0;
};

DialogControlsState& DialogControls();
// At device set-up: every slider to 0..100 at 50, steps 1 and 10; the working
// compression values to 0.
void ResetSliderRanges();
