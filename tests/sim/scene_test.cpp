// The virtual camera's scenes: picture files (PPM, and PNG where libpng is
// installed), the built-in scenes, and a picture seen through the camera.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "sim/camera/scene.h"
#include "tests/sim/camera_host.h"

namespace camtest {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::filesystem::path WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST(CameraScene, PpmWithCommentsAndWideSamples) {
  sim::RgbPicture picture;
  std::string error;
  std::vector<uint8_t> ppm = Bytes("P6\n# a comment\n2 1\n255\n");
  for (uint8_t v : {10, 20, 30, 40, 50, 60}) ppm.push_back(v);
  ASSERT_TRUE(sim::DecodePpm(ppm, &picture, &error)) << error;
  EXPECT_EQ(picture.width, 2);
  EXPECT_EQ(picture.height, 1);
  EXPECT_EQ(picture.rgb, (std::vector<uint8_t>{10, 20, 30, 40, 50, 60}));
  // 16-bit samples are scaled to 8 bits.
  std::vector<uint8_t> wide = Bytes("P6 1 1 65535 ");
  for (uint8_t v : {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}) wide.push_back(v);
  ASSERT_TRUE(sim::DecodePpm(wide, &picture, &error)) << error;
  EXPECT_EQ(picture.rgb, (std::vector<uint8_t>{255, 128, 0}));
}

TEST(CameraScene, BrokenPpmIsRefused) {
  sim::RgbPicture picture;
  std::string error;
  EXPECT_FALSE(sim::DecodePpm(Bytes("P3 1 1 255 1 2 3"), &picture, &error));
  EXPECT_FALSE(sim::DecodePpm(Bytes("P6 2 2 255 abc"), &picture, &error));  // short
  EXPECT_FALSE(sim::DecodePpm(Bytes("P6 0 2 255 "), &picture, &error));
  EXPECT_FALSE(sim::DecodePpm(Bytes("P6 99999 2 255 "), &picture, &error));
  EXPECT_FALSE(sim::DecodePpm(Bytes("P6 2"), &picture, &error));
  EXPECT_FALSE(error.empty());
}

TEST(CameraScene, PngThroughLibpng) {
  static const std::vector<uint8_t> kPng = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
      0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xF0, 0xCA, 0xEA, 0x34, 0x00,
      0x00, 0x00, 0x19, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xC0, 0x00, 0xC6, 0x40,
      0x00, 0xA4, 0x18, 0x1A, 0x1A, 0x1A, 0x40, 0x8C, 0xFF, 0xFF, 0x01, 0x85, 0xA0, 0x0B, 0x77, 0x38, 0x4D,
      0x4B, 0x91, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  std::filesystem::path path = WriteFile("zarncap-scene.png", kPng);
  sim::RgbPicture picture;
  std::string error;
  bool loaded = sim::LoadPicture(path.string(), &picture, &error);
  std::filesystem::remove(path);
  if (!loaded && (error.find("libpng") != std::string::npos || error.find("no PNG support") != std::string::npos)) {
    GTEST_SKIP() << error;
  }
  ASSERT_TRUE(loaded) << error;
  ASSERT_EQ(picture.width, 4);
  ASSERT_EQ(picture.height, 2);
  EXPECT_EQ(std::vector<uint8_t>(picture.rgb.begin(), picture.rgb.begin() + 6), (std::vector<uint8_t>{255, 0, 0, 0, 255, 0}));
  EXPECT_EQ(std::vector<uint8_t>(picture.rgb.end() - 3, picture.rgb.end()), (std::vector<uint8_t>{0, 255, 255}));
}

TEST(CameraScene, UnreadableFileFallsBackToBarsAndSaysWhy) {
  sim::SimConfig config;
  config.scene = sim::SceneKind::File;
  config.sceneFile = "/nonexistent/zarncap-scene.ppm";
  std::string error;
  sim::Scene scene = sim::Scene::Make(config, &error);
  EXPECT_NE(error.find("/nonexistent/zarncap-scene.ppm"), std::string::npos);
  EXPECT_FLOAT_EQ(scene.At(0, 0).r, sim::SrgbToLinear(191));  // the 75 % white bar
}

TEST(CameraScene, PictureIsStretchedOverTheFieldOfView) {
  // Left half black, right half mid grey (sRGB 188 is about linear 0.5).
  sim::RgbPicture picture;
  picture.width = 2;
  picture.height = 2;
  picture.rgb = {0, 0, 0, 188, 188, 188, 0, 0, 0, 188, 188, 188};
  sim::Scene scene = sim::Scene::FromPicture(picture);
  EXPECT_FLOAT_EQ(scene.At(0, 0).g, 0.0f);
  EXPECT_FLOAT_EQ(scene.At(sim::kFovWidth / 2 - 1, sim::kFovHeight - 1).g, 0.0f);
  EXPECT_NEAR(scene.At(sim::kFovWidth / 2, 0).g, 0.5f, 0.01f);
  EXPECT_NEAR(scene.At(sim::kFovWidth - 1, sim::kFovHeight - 1).b, 0.5f, 0.01f);
}

TEST(CameraScene, BuiltInScenes) {
  sim::Scene ramp = sim::Scene::Ramp();
  EXPECT_FLOAT_EQ(ramp.At(0, 10).g, 0.0f);
  EXPECT_FLOAT_EQ(ramp.At(sim::kFovWidth - 1, 10).g, 1.0f);
  EXPECT_LT(ramp.At(100, 0).g, ramp.At(101, 0).g + 1e-6f);
  sim::Scene flat = sim::Scene::Flat(255, 0, 128);
  EXPECT_FLOAT_EQ(flat.At(17, 33).r, 1.0f);
  EXPECT_FLOAT_EQ(flat.At(17, 33).g, 0.0f);
  EXPECT_NEAR(flat.At(17, 33).b, sim::SrgbToLinear(128), 1e-6f);
  EXPECT_FALSE(flat.Moves());
  sim::Scene moving = sim::Scene::Moving();
  ASSERT_TRUE(moving.Moves());
  sim::Scene::Disc a = moving.DiscAt(10), b = moving.DiscAt(11);
  EXPECT_GT(std::hypot(a.x - b.x, a.y - b.y), 2.0f);
}

TEST_F(CameraTest, PictureFileSeenThroughTheCamera) {
  // A picture whose top half is red and bottom half blue.
  std::vector<uint8_t> ppm = Bytes("P6 2 2 255\n");
  for (uint8_t v : {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255}) ppm.push_back(v);
  std::filesystem::path path = WriteFile("zarncap-scene.ppm", ppm);
  sim::SimConfig config = Quiet();
  config.scene = sim::SceneKind::File;
  config.sceneFile = path.string();
  Make(config);
  std::filesystem::remove(path);
  EXPECT_TRUE(camera->SceneError().empty()) << camera->SceneError();
  ASSERT_TRUE(host->Arm());
  std::vector<uint8_t> frame(28800);
  ASSERT_TRUE(host->RequestYuv(9, 249, 8, 168));
  ASSERT_EQ(host->Transfer(frame.data(), 28800), 28800u);
  // Chroma line of the top group: red (V high); of the bottom group: blue (U high).
  EXPECT_GT(frame[320 + 81], 200);
  EXPECT_GT(frame[59 * 480 + 320 + 80], 160);
}

}  // namespace
}  // namespace camtest
