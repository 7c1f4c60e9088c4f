#include "ui/dialog_controls.h"

namespace {
constexpr SliderRange kSliderStart = {0, 100, 50, 1, 10};
}

void DialogControlsState::Reset() {
  brightness = contrast = colour = quality = kSliderStart;
  transferControl = temporalDifference = autoThreshold = 0;
  gainLevel = 0;
}

DialogControlsState& DialogControls() { return Context().Module<DialogControlsState>(); }

void ResetSliderRanges() { DialogControls().Reset(); }
