// The sensor model: the scene as the sensor's sites see it. Each site sits
// under one colour of the mosaic (even rows G R G R ..., odd rows B G B G ...),
// collects light with the crosstalk of its neighbours' filters (exactly what the
// driver's sensor-correction table takes out again), and reads out with noise;
// the factory's defect sites are stuck, dead or hot. Signals are kept in
// sixteenths of a grey level, without the dark level, which the readout adds.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/camera/factory_defects.h"
#include "sim/camera/scene.h"
#include "sim/camera/sim_random.h"

namespace sim {

enum SiteColour { kRed = 0, kGreen = 1, kBlue = 2 };

inline SiteColour ColourAt(int row, int column) {
  if (((row ^ column) & 1) == 0) return kGreen;
  return (row & 1) ? kBlue : kRed;
}

class SensorModel {
 public:
  // The linear signal of a white scene on the green sites is about 200 grey
  // levels, the top of the driver's luminance curve.
  static constexpr double kWhiteLevel = 384.0;
  static constexpr int kHotExcess = 96;  // grey levels a hot site adds
  static constexpr size_t kNoiseTable = 65536;

  // sigma: noise in grey levels; dark: the level the readout adds (0..255).
  SensorModel(const Scene& scene, std::vector<FactoryDefect> defects, double sigma, int dark, uint64_t seed);

  // Makes the site signals those of sensor frame `frame` (only a moving scene
  // changes from frame to frame).
  void Expose(uint32_t frame);

  // Sixteenths of a grey level, noise-free, 0 outside the sensor.
  int Signal(int row, int column) const {
    if (row < 0 || row >= kSensorRows || column < 0 || column >= kSensorColumns) return 0;
    return plane_[static_cast<size_t>(row * kSensorColumns + column)];
  }
  // The sites of one row; nullptr outside the sensor.
  const int16_t* Row(int row) const {
    return (row < 0 || row >= kSensorRows) ? nullptr : plane_.data() + static_cast<size_t>(row) * kSensorColumns;
  }

  // The sensor's analog gain over its start-up gain, in 256ths (256: as at
  // start-up). Raises the signal before the readout adds the dark level and
  // noise, as a longer exposure does.
  void SetExposure(int exposure256) { exposure256_ = exposure256; }
  int Exposure() const { return exposure256_; }
  // A site's signal at the exposure in force.
  int Exposed(int signal) const { return exposure256_ == 256 ? signal : (signal * exposure256_) >> 8; }

  int Dark() const { return dark_; }
  // The largest signal the converter can hold above the dark level.
  int Saturation() const { return (255 - dark_) * 16; }
  bool Noisy() const { return noisy_; }
  // One noise sample in sixteenths of a grey level.
  int Noise(Random& random) const { return noise_[random.Next() >> 16]; }
  // The seed of a frame's noise.
  uint64_t NoiseSeed(uint32_t frame) const { return seed_ * 0x100000001B3ull + frame; }

  const std::vector<FactoryDefect>& Defects() const { return defects_; }
  // The crosstalk: signal of colour i = sum over j of m[i][j] * light of colour j.
  static const std::array<std::array<double, 3>, 3>& Crosstalk();

 private:
  int SiteSignal(SiteColour colour, const LinearRgb& light) const;
  void ApplyDefects();

  const Scene& scene_;
  std::vector<FactoryDefect> defects_;
  int dark_;
  int exposure256_ = 256;
  bool noisy_;
  uint64_t seed_;
  std::vector<int16_t> background_;  // the still scene, without defects
  std::vector<int16_t> plane_;       // what the sites hold for the current frame
  std::vector<int16_t> noise_;
};

}  // namespace sim
