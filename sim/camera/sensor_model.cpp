// The sensor model.
#include "sim/camera/sensor_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstring>

namespace sim {
namespace {

// The driver corrects the sensor's colours with this table (rows: corrected
// R, G, B; columns: sensor R, G, B). The sensor's crosstalk is its inverse, so
// that corrected colours come out true.
constexpr double kCorrection[3][3] = {{3.0, -1.0, -0.25}, {-0.75, 3.0, -0.4}, {-1.08, -1.5, 6.0}};

std::array<std::array<double, 3>, 3> Invert(const double m[3][3]) {
  double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  std::array<std::array<double, 3>, 3> inverse{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      inverse[static_cast<size_t>(i)][static_cast<size_t>(j)] = (m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]) / det;
    }
  }
  return inverse;
}

}  // namespace

const std::array<std::array<double, 3>, 3>& SensorModel::Crosstalk() {
  static const std::array<std::array<double, 3>, 3> crosstalk = Invert(kCorrection);
  return crosstalk;
}

SensorModel::SensorModel(const Scene& scene, std::vector<FactoryDefect> defects, double sigma, int dark,
                         uint64_t seed)
    : scene_(scene),
      defects_(std::move(defects)),
      dark_(std::clamp(dark, 0, 255)),
      noisy_(sigma > 0),
      seed_(seed),
      background_(static_cast<size_t>(kSensorRows * kSensorColumns)),
      plane_(background_.size()),
      noise_(kNoiseTable, 0) {
  for (int row = 0; row < kSensorRows; ++row) {
    int fy = std::clamp(row - kFovTop, 0, kFovHeight - 1);
    for (int column = 0; column < kSensorColumns; ++column) {
      int fx = std::clamp(column - kFovLeft, 0, kFovWidth - 1);
      background_[static_cast<size_t>(row * kSensorColumns + column)] =
          static_cast<int16_t>(SiteSignal(ColourAt(row, column), scene_.At(fx, fy)));
    }
  }
  if (noisy_) {
    // Gaussian samples (Box-Muller), rounded to sixteenths and kept within
    // six sigma, drawn from the table by a per-frame generator.
    Random random(seed ^ 0xC0FFEEull);
    for (size_t i = 0; i < kNoiseTable; i += 2) {
      double radius = std::sqrt(-2.0 * std::log(random.Unit())) * sigma * 16.0;
      double angle = 2.0 * std::numbers::pi * random.Unit();
      double limit = 6.0 * sigma * 16.0;
      noise_[i] = static_cast<int16_t>(std::lround(std::clamp(radius * std::cos(angle), -limit, limit)));
      noise_[i + 1] = static_cast<int16_t>(std::lround(std::clamp(radius * std::sin(angle), -limit, limit)));
    }
  }
  plane_ = background_;
  ApplyDefects();
}

int SensorModel::SiteSignal(SiteColour colour, const LinearRgb& light) const {
  const auto& row = Crosstalk()[static_cast<size_t>(colour)];
  double value = kWhiteLevel * 16.0 * (row[0] * light.r + row[1] * light.g + row[2] * light.b);
  return static_cast<int>(std::lround(std::clamp(value, 0.0, 255.0 * 16.0)));
}

void SensorModel::ApplyDefects() {
  for (const FactoryDefect& defect : defects_) {
    if (defect.row < 0 || defect.row >= kSensorRows || defect.column < 0 || defect.column >= kSensorColumns) continue;
    int16_t& site = plane_[static_cast<size_t>(defect.row * kSensorColumns + defect.column)];
    switch (defect.kind) {
      case kDefectStuckHigh:
        site = 255 * 16;
        break;
      case kDefectDead:
        site = 0;
        break;
      default:
        site = static_cast<int16_t>(std::min(255 * 16, site + kHotExcess * 16));
        break;
    }
  }
}

void SensorModel::Expose(uint32_t frame) {
  if (!scene_.Moves()) return;  // the still scene and its defects are in place already
  std::memcpy(plane_.data(), background_.data(), background_.size() * sizeof(int16_t));
  Scene::Disc disc = scene_.DiscAt(frame);
  int signal[3] = {SiteSignal(kRed, disc.colour), SiteSignal(kGreen, disc.colour), SiteSignal(kBlue, disc.colour)};
  int top = std::max(0, static_cast<int>(std::floor(disc.y - disc.radius)) + kFovTop);
  int bottom = std::min(kSensorRows - 1, static_cast<int>(std::ceil(disc.y + disc.radius)) + kFovTop);
  int left = std::max(0, static_cast<int>(std::floor(disc.x - disc.radius)) + kFovLeft);
  int right = std::min(kSensorColumns - 1, static_cast<int>(std::ceil(disc.x + disc.radius)) + kFovLeft);
  float r2 = disc.radius * disc.radius;
  for (int row = top; row <= bottom; ++row) {
    float dy = static_cast<float>(row - kFovTop) - disc.y;
    for (int column = left; column <= right; ++column) {
      float dx = static_cast<float>(column - kFovLeft) - disc.x;
      if (dx * dx + dy * dy <= r2) {
        plane_[static_cast<size_t>(row * kSensorColumns + column)] =
            static_cast<int16_t>(signal[ColourAt(row, column)]);
      }
    }
  }
  ApplyDefects();
}

}  // namespace sim
