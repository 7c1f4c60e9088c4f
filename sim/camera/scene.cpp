// The scenes the virtual camera can look at.
#include "sim/camera/scene.h"

#include <algorithm>
#include <cmath>

namespace sim {

float SrgbToLinear(uint8_t value) {
  double v = value / 255.0;
  return static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
}

Scene Scene::Bars() {
  // White, yellow, cyan, green, magenta, red, blue, black, at 75 % as test
  // charts print them: full-scale primaries would drive the sensor into the
  // driver's highlight limit and come out desaturated.
  static constexpr int kBars[8][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                                      {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
  const float on = SrgbToLinear(191);
  Scene scene;
  for (int y = 0; y < kFovHeight; ++y) {
    for (int x = 0; x < kFovWidth; ++x) {
      const int* bar = kBars[x * 8 / kFovWidth];
      scene.picture_[static_cast<size_t>(y * kFovWidth + x)] = {bar[0] * on, bar[1] * on, bar[2] * on};
    }
  }
  return scene;
}

Scene Scene::Chart() {
  // A photographer's colour chart: its 24 patches (the published sRGB levels,
  // so a capture can be judged against known colours) in four rows of six on
  // a light-grey surround, laid out so that white balance has nothing to chase
  // at any size. The driver balances on the mean colour of the bright parts of
  // what the camera reads, and its small sizes read a centred window of the
  // view: so the bright greys sit in the middle, the dark greys and dark
  // colours around them, and the bright colours (yellows, greens, skin, cyan)
  // in the outer columns, which only the widest windows see and where the
  // light surround outweighs them.
  static constexpr uint8_t kLayout[4][6][3] = {
      {{194, 150, 130}, {115, 82, 68}, {98, 122, 157}, {87, 108, 67}, {80, 91, 166}, {103, 189, 170}},
      {{157, 188, 64}, {56, 61, 150}, {243, 243, 242}, {200, 200, 200}, {85, 85, 85}, {224, 163, 46}},
      {{231, 199, 31}, {52, 52, 52}, {160, 160, 160}, {122, 122, 121}, {175, 54, 60}, {70, 148, 73}},
      {{8, 133, 161}, {193, 90, 99}, {94, 60, 108}, {187, 86, 149}, {133, 128, 177}, {214, 126, 44}}};
  constexpr int kColumns = 6, kRows = 4, kMargin = 12, kGap = 14;
  constexpr uint8_t kSurround = 170;
  const int cellW = (kFovWidth - 2 * kMargin) / kColumns;
  const int cellH = (kFovHeight - 2 * kMargin) / kRows;
  const LinearRgb surround{SrgbToLinear(kSurround), SrgbToLinear(kSurround), SrgbToLinear(kSurround)};
  Scene scene;
  for (int y = 0; y < kFovHeight; ++y) {
    for (int x = 0; x < kFovWidth; ++x) {
      LinearRgb colour = surround;
      int col = (x - kMargin) / cellW, row = (y - kMargin) / cellH;
      int inX = (x - kMargin) % cellW, inY = (y - kMargin) % cellH;
      if (x >= kMargin && y >= kMargin && col < kColumns && row < kRows && inX >= kGap / 2 &&
          inX < cellW - kGap / 2 && inY >= kGap / 2 && inY < cellH - kGap / 2) {
        const uint8_t* patch = kLayout[row][col];
        colour = {SrgbToLinear(patch[0]), SrgbToLinear(patch[1]), SrgbToLinear(patch[2])};
      }
      scene.picture_[static_cast<size_t>(y * kFovWidth + x)] = colour;
    }
  }
  return scene;
}

Scene Scene::Ramp() {
  Scene scene;
  for (int x = 0; x < kFovWidth; ++x) {
    float v = SrgbToLinear(static_cast<uint8_t>(x * 255 / (kFovWidth - 1)));
    for (int y = 0; y < kFovHeight; ++y) scene.picture_[static_cast<size_t>(y * kFovWidth + x)] = {v, v, v};
  }
  return scene;
}

Scene Scene::Flat(uint8_t r, uint8_t g, uint8_t b) {
  Scene scene;
  std::fill(scene.picture_.begin(), scene.picture_.end(), LinearRgb{SrgbToLinear(r), SrgbToLinear(g), SrgbToLinear(b)});
  return scene;
}

Scene Scene::FromPicture(const RgbPicture& picture) {
  Scene scene;
  if (picture.width <= 0 || picture.height <= 0) return scene;
  float table[256];
  for (int i = 0; i < 256; ++i) table[i] = SrgbToLinear(static_cast<uint8_t>(i));
  // Each field-of-view pixel averages the picture pixels it covers (at least
  // one), in linear light; the picture is stretched to fill the view.
  for (int y = 0; y < kFovHeight; ++y) {
    int y0 = static_cast<int>(static_cast<int64_t>(y) * picture.height / kFovHeight);
    int y1 = std::max(y0 + 1, static_cast<int>(static_cast<int64_t>(y + 1) * picture.height / kFovHeight));
    for (int x = 0; x < kFovWidth; ++x) {
      int x0 = static_cast<int>(static_cast<int64_t>(x) * picture.width / kFovWidth);
      int x1 = std::max(x0 + 1, static_cast<int>(static_cast<int64_t>(x + 1) * picture.width / kFovWidth));
      double sum[3] = {0, 0, 0};
      for (int sy = y0; sy < y1; ++sy) {
        const uint8_t* p = picture.rgb.data() + (static_cast<size_t>(sy) * static_cast<size_t>(picture.width) +
                                                 static_cast<size_t>(x0)) * 3;
        for (int sx = x0; sx < x1; ++sx, p += 3) {
          sum[0] += table[p[0]];
          sum[1] += table[p[1]];
          sum[2] += table[p[2]];
        }
      }
      double n = static_cast<double>((y1 - y0) * (x1 - x0));
      scene.picture_[static_cast<size_t>(y * kFovWidth + x)] = {
          static_cast<float>(sum[0] / n), static_cast<float>(sum[1] / n), static_cast<float>(sum[2] / n)};
    }
  }
  return scene;
}

Scene Scene::Moving() {
  Scene scene = Bars();
  scene.moves_ = true;
  return scene;
}

Scene::Disc Scene::DiscAt(uint32_t frame) const {
  // A warm disc drifting over the bars on a slow Lissajous path: about ten
  // pixels from one frame to the next.
  double t = static_cast<double>(frame);
  Disc disc;
  disc.radius = 28;
  disc.x = static_cast<float>(kFovWidth / 2.0 + (kFovWidth / 2.0 - 40) * std::sin(t * 0.09));
  disc.y = static_cast<float>(kFovHeight / 2.0 + (kFovHeight / 2.0 - 36) * std::sin(t * 0.063 + 0.7));
  disc.colour = {1.0f, 0.75f, 0.25f};
  return disc;
}

Scene Scene::Make(const SimConfig& config, std::string* error) {
  switch (config.scene) {
    case SceneKind::Bars:
      return Bars();
    case SceneKind::Chart:
      return Chart();
    case SceneKind::Ramp:
      return Ramp();
    case SceneKind::Flat:
      return Flat(config.flatRgb[0], config.flatRgb[1], config.flatRgb[2]);
    case SceneKind::Moving:
      return Moving();
    case SceneKind::File: {
      RgbPicture picture;
      std::string why;
      if (LoadPicture(config.sceneFile, &picture, &why)) return FromPicture(picture);
      if (error) *error = why;
      return Bars();
    }
  }
  return Bars();
}

}  // namespace sim
