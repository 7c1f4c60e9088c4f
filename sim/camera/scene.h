// What the virtual camera looks at: colour bars, a colour chart, a grey ramp, a flat colour, a
// picture file (PPM, or PNG where libpng is present) or bars with a disc that
// moves from frame to frame. The scene is rendered once, in linear light, over
// the lens's field of view; only the moving disc changes per frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_config.h"

namespace sim {

// The lens images the scene onto sensor rows 4..247 and columns 14..337 (the
// largest capture window); sites outside see the nearest edge of the scene.
constexpr int kFovTop = 4;
constexpr int kFovLeft = 14;
constexpr int kFovWidth = 324;
constexpr int kFovHeight = 244;

struct LinearRgb {
  float r = 0, g = 0, b = 0;
};

// sRGB-encoded 0..255 to linear light 0..1.
float SrgbToLinear(uint8_t value);

// A decoded picture: 8-bit sRGB, 3 bytes per pixel, top row first.
struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};
// Reads a binary PPM (P6, maxval up to 65535) or a PNG. False with *error set
// when the file cannot be read or is not a picture this can decode.
bool LoadPicture(const std::string& path, RgbPicture* picture, std::string* error);
bool DecodePpm(const std::vector<uint8_t>& file, RgbPicture* picture, std::string* error);

class Scene {
 public:
  // The scene the configuration names. A picture file that cannot be read
  // leaves colour bars in its place and says why in *error.
  static Scene Make(const SimConfig& config, std::string* error);
  static Scene Bars();
  static Scene Chart();
  static Scene Ramp();
  static Scene Flat(uint8_t r, uint8_t g, uint8_t b);
  static Scene FromPicture(const RgbPicture& picture);
  static Scene Moving();

  // kFovWidth x kFovHeight linear colours, top row first.
  const std::vector<LinearRgb>& Picture() const { return picture_; }
  const LinearRgb& At(int x, int y) const { return picture_[static_cast<size_t>(y * kFovWidth + x)]; }

  // The moving disc, in field-of-view pixels, for a sensor frame number.
  struct Disc {
    float x = 0, y = 0, radius = 0;
    LinearRgb colour;
  };
  bool Moves() const { return moves_; }
  Disc DiscAt(uint32_t frame) const;

 private:
  Scene() : picture_(static_cast<size_t>(kFovWidth * kFovHeight)) {}
  std::vector<LinearRgb> picture_;
  bool moves_ = false;
};

}  // namespace sim
