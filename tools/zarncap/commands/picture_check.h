// Whether a still shows a picture at all: a camera whose data lines are not
// read right delivers frames of one value (or of a handful), and one whose
// bytes arrive out of step delivers noise. Neighbouring pixels of a real scene
// are alike far more often than the picture's spread would have them be.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zarncap {

struct PictureVerdict {
  bool picture = false;  // false: flat or noise, and why says which
  std::string why;       // "flat: every byte is 0x03", "all noise: ..."
  double mean = 0;       // over every byte
};

// Judges top-down RGB bytes of width x height.
PictureVerdict JudgePicture(std::span<const uint8_t> rgb, int width, int height);

}  // namespace zarncap
