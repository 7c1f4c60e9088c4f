// The command line and the command flow against the fake driver: argument
// handling, errors as one line with a non-zero status, format refusal with the
// driver's list, frames saved as asked, streams that re-queue their buffers
// and count the ticks the driver could not fill.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>

#include "tools/fake_driver.h"
#include "tools/tool_test_util.h"
#include "tools/zarncap/format_table.h"
#include "tools/zarncap/trace_settings.h"

namespace {

using faketest::FakeConfig;
using faketest::PatternByte;
using tooltest::CliRun;
using tooltest::ReadBytes;
using tooltest::ReadText;
using tooltest::RunCli;
using tooltest::ScratchFolder;

zarncap::Host FakeHost() {
  zarncap::Host host;
  host.proc = faketest::FakeDriverProc;
  host.stallTimeout = std::chrono::milliseconds(300);
  return host;
}

CliRun Zarncap(std::initializer_list<std::string> args, const FakeConfig& config = {}) {
  faketest::ResetFake(config);
  return RunCli(args, FakeHost());
}

// One line on stderr, starting "zarncap: error: ".
void ExpectOneErrorLine(const CliRun& run, const std::string& part) {
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.err.rfind("zarncap: error: ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
}

std::vector<uint8_t> Pattern(int frame, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = PatternByte(frame, i);
  return bytes;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("ZARNCAP_CONFIG_DIR", config_.Path().c_str(), 1); }
  ScratchFolder folder_, config_;
};

TEST_F(CliTest, HelpOnEveryCommand) {
  for (const auto& command : {"", "capture", "stream", "formats", "defects"}) {
    const CliRun run = std::string(command).empty() ? Zarncap({"--help"}) : Zarncap({command, "--help"});
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_NE(run.out.find("Usage"), std::string::npos) << command;
    EXPECT_TRUE(run.err.empty());
  }
  EXPECT_NE(Zarncap({"capture", "--help"}).out.find("--frames"), std::string::npos);
  EXPECT_NE(Zarncap({"stream", "--help"}).out.find("--seconds"), std::string::npos);
  EXPECT_NE(Zarncap({"--help"}).out.find("--trace"), std::string::npos);
}

TEST_F(CliTest, BadArgumentsAreOneLineUsageErrors) {
  const std::string png = folder_ / "a.png";
  ExpectOneErrorLine(Zarncap({}), "subcommand");
  ExpectOneErrorLine(Zarncap({"capture"}), "--output");
  ExpectOneErrorLine(Zarncap({"capture", "-o", png, "--size", "320by240"}), "WIDTHxHEIGHT");
  ExpectOneErrorLine(Zarncap({"capture", "-o", png, "--size", "0x240"}), "WIDTHxHEIGHT");
  ExpectOneErrorLine(Zarncap({"capture", "-o", png, "--format", "nv12"}), "nv12");
  ExpectOneErrorLine(Zarncap({"capture", "-o", png, "--frames", "0"}), "--frames");
  ExpectOneErrorLine(Zarncap({"stream", "-o", folder_ / "a.avi", "--frames", "3", "--seconds", "2"}), "excludes");
  ExpectOneErrorLine(Zarncap({"capture", "-o", png, "--port", "LPT4"}), "--port");
  ExpectOneErrorLine(Zarncap({"capture", "-o", folder_ / "a.jpg"}), ".png, .bmp or .yuv");
  ExpectOneErrorLine(Zarncap({"capture", "-o", folder_ / "a.bmp", "--format", "i420", "--size", "160x120"}), ".bmp");
  ExpectOneErrorLine(Zarncap({"capture", "-o", folder_ / "a.yuv"}), ".yuv");
  ExpectOneErrorLine(Zarncap({"stream", "-o", folder_ / "a.mp4"}), ".avi, .mkv or .y4m");
  ExpectOneErrorLine(Zarncap({"stream", "-o", folder_ / "a.mkv", "--format", "pal8"}), "palette");
  EXPECT_EQ(Zarncap({"capture", "-o", png, "--size", "0x240"}).status, 2);
  EXPECT_TRUE(faketest::Record().messages.empty());  // refused before the driver was asked anything
  EXPECT_TRUE(folder_.Names().empty());
}

TEST_F(CliTest, GlobalOptionsReachTheOpenStringAndMayFollowTheCommand) {
  const std::string ini = folder_ / "my.ini";
  const CliRun run = Zarncap({"capture", "-o", folder_ / "a.png", "--frames", "1", "--port", "lpt2", "--ini", ini, "--camera",
                          "sim:seed=3"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(faketest::Record().openString, "vcap LPT2 " + ini);
  EXPECT_EQ(faketest::Record().openFlags, VIDEO_IN);
  EXPECT_STREQ(std::getenv("ZARNCAP_CAMERA"), "sim:seed=3");
  ExpectOneErrorLine(Zarncap({"formats", "--ini", folder_ / "my settings.ini"}), "space");
  ExpectOneErrorLine(Zarncap({"formats", "--ini", folder_ / "my.cfg"}), ".ini");
}

TEST_F(CliTest, NoCameraIsAClearErrorThatMentionsCamera) {
  FakeConfig config;
  config.openError = DV_ERR_NOTDETECTED;
  const CliRun run = Zarncap({"capture", "-o", folder_ / "a.png", "--camera", "sim:port=none"}, config);
  ExpectOneErrorLine(run, "no camera found");
  EXPECT_NE(run.err.find("--camera"), std::string::npos);
  EXPECT_NE(run.err.find("sim:port=none"), std::string::npos);
  EXPECT_TRUE(folder_.Names().empty());  // no partial file

  config.openError = DV_ERR_NONSPECIFIC;
  ExpectOneErrorLine(Zarncap({"formats", "--camera", "none"}, config), "could not open its port device");

  zarncap::Host host;
  host.library = folder_ / "missing.so";
  faketest::ResetFake();
  ExpectOneErrorLine(RunCli({"formats"}, host), "cannot load the capture driver");
}

TEST_F(CliTest, RefusedFormatListsWhatTheDriverAccepts) {
  const CliRun run = Zarncap({"capture", "-o", folder_ / "a.png", "--format", "yuy2", "--size", "640x480"});
  ExpectOneErrorLine(run, "the driver refused yuy2 640x480");
  EXPECT_NE(run.err.find("rgb24 80x60 128x96 160x120 176x144 240x180 256x192 320x240 352x288 384x288 480x360 640x480"),
            std::string::npos);
  EXPECT_NE(run.err.find("yuy2 80x60 128x96 160x120 176x144,"), std::string::npos);
  EXPECT_EQ(run.err.find("64x48"), std::string::npos);
  EXPECT_TRUE(folder_.Names().empty());
}

TEST_F(CliTest, FormatsAsksTheDriver) {
  const CliRun run = Zarncap({"formats"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("160x120    rgb24 rgb16 pal8 i420 iyuv yv12 yuy2 yvu9"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("320x240    rgb24 rgb16\n"), std::string::npos);
  EXPECT_NE(run.out.find("640x480    rgb24\n"), std::string::npos);
  EXPECT_EQ(run.out.find("800x600"), std::string::npos);
  const auto messages = faketest::Record().messages;
  EXPECT_GE(std::count(messages.begin(), messages.end(), DVM_FORMAT), 100);
}

TEST_F(CliTest, CaptureKeepsTheLastOfTheSettleFrames) {
  const std::string yuv = folder_ / "a.yuv";
  FakeConfig config;
  config.syncAnswers = 2;  // the camera is busy twice before each frame
  const CliRun run = Zarncap({"capture", "-o", yuv, "--format", "i420", "--size", "160x120", "--frames", "4"}, config);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadBytes(yuv), Pattern(4, 160 * 120 * 3 / 2));
  EXPECT_EQ(faketest::Record().framesDelivered, 4);
  EXPECT_NE(run.out.find("wrote " + yuv), std::string::npos);
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"a.yuv"}));
}

TEST_F(CliTest, CaptureWritesPngAndBmpFromTheDeliveredFrame) {
  const std::string png = folder_ / "a.png", bmp = folder_ / "a.bmp";
  ASSERT_EQ(Zarncap({"capture", "-o", png, "--frames", "2", "--size", "160x120", "--format", "rgb24"}).status, 0);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, png.c_str()));
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  EXPECT_EQ(image.width, 160u);
  EXPECT_EQ(image.height, 120u);
  // Top-left pixel of the picture = first pixel of the last buffer row, B G R.
  const size_t lastRow = 119 * 160 * 3;
  EXPECT_EQ(rgb[0], PatternByte(2, lastRow + 2));
  EXPECT_EQ(rgb[2], PatternByte(2, lastRow));

  const CliRun run = Zarncap({"capture", "-o", bmp, "--frames", "1", "--size", "80x60", "--format", "pal8"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto bytes = ReadBytes(bmp);
  ASSERT_EQ(bytes.size(), 14u + 40u + 1024u + 80u * 60u);
  EXPECT_EQ(bytes[28], 8);
  const RGBQUAD entry = faketest::FakePaletteEntry(3);
  EXPECT_EQ(bytes[54 + 12], entry.rgbBlue);
  EXPECT_EQ(bytes[54 + 13], entry.rgbGreen);
  EXPECT_EQ(bytes[54 + 14], entry.rgbRed);
  EXPECT_EQ((std::vector<uint8_t>(bytes.begin() + 1078, bytes.end())), Pattern(1, 80 * 60));
}

TEST_F(CliTest, FramesNotDeliveredLeaveNoFile) {
  FakeConfig config;
  config.framesFail = true;
  ExpectOneErrorLine(Zarncap({"capture", "-o", folder_ / "a.png", "--size", "160x120"}, config),
                     "the driver delivered no frame 1");
  EXPECT_TRUE(folder_.Names().empty());

  config = {};
  config.streamStalls = true;
  ExpectOneErrorLine(Zarncap({"stream", "-o", folder_ / "a.avi", "--frames", "5", "--size", "160x120"}, config),
                     "delivered no frame for 0.3 s");
  EXPECT_TRUE(folder_.Names().empty());
  EXPECT_TRUE(faketest::Record().closed);
}

TEST_F(CliTest, UnwritableOutputFailsBeforeTheCameraStarts) {
  ExpectOneErrorLine(Zarncap({"capture", "-o", folder_ / "no/such/folder/a.png"}), "cannot write");
  EXPECT_TRUE(faketest::Record().messages.empty());
}

TEST_F(CliTest, StreamRequeuesBuffersAndCountsTicksWithoutABuffer) {
  const std::string y4m = folder_ / "a.y4m";
  FakeConfig config;
  config.emptyTicksAtStart = 7;  // the driver reports 7 ticks it could not fill
  const CliRun run = Zarncap({"stream", "-o", y4m, "--frames", "20", "--size", "160x120", "--format", "i420", "--fps", "25"},
                         config);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto record = faketest::Record();
  EXPECT_GE(record.addBuffers, 20);  // six queued at the start, then each written buffer again
  EXPECT_EQ(record.addBufferRefusals, 0);
  EXPECT_FALSE(record.finiWithQueue);
  EXPECT_TRUE(record.closed);
  EXPECT_NE(run.out.find("20 frames written"), std::string::npos) << run.out;
  // The 7 ticks the driver reported, and any it could not fill while this
  // thread was busy writing.
  const size_t dropped = run.out.find(" dropped");
  ASSERT_NE(dropped, std::string::npos) << run.out;
  const size_t comma = run.out.rfind(", ", dropped);
  EXPECT_GE(std::stoi(run.out.substr(comma + 2, dropped - comma - 2)), 7) << run.out;
  EXPECT_NE(run.out.find("average interval 66.0 ms"), std::string::npos) << run.out;

  // Y4M: the header, then 20 frames in delivery order.
  const std::string text = ReadText(y4m);
  const std::string header = "YUV4MPEG2 W160 H120 F25:1 Ip A1:1 C420jpeg\n";
  ASSERT_EQ(text.rfind(header, 0), 0u);
  const size_t frameBytes = 6 + 160 * 120 * 3 / 2;
  ASSERT_EQ(text.size(), header.size() + 20 * frameBytes);
  for (int n : {1, 20}) {
    const size_t at = header.size() + static_cast<size_t>(n - 1) * frameBytes;
    EXPECT_EQ(text.substr(at, 6), "FRAME\n");
    EXPECT_EQ(static_cast<uint8_t>(text[at + 6 + 100]), PatternByte(n, 100));
  }
}

TEST_F(CliTest, StreamToAviAndStdoutWithMessagesOnStderr) {
  const std::string avi = folder_ / "a.avi";
  CliRun run = Zarncap({"stream", "-o", avi, "--frames", "10", "--size", "320x240"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::file_size(avi) > 10u * 320u * 240u * 3u);
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"a.avi"}));

  run = Zarncap({"stream", "-o", "-", "--frames", "3", "--size", "80x60", "--format", "yuy2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("YUV4MPEG2 W80 H60 F15:1", 0), 0u);
  EXPECT_EQ(run.out.size(), std::string("YUV4MPEG2 W80 H60 F15:1 Ip A1:1 C420jpeg\n").size() + 3 * (6 + 80 * 60 * 3 / 2));
  EXPECT_NE(run.err.find("3 frames written to standard output"), std::string::npos);
}

TEST_F(CliTest, StreamBySeconds) {
  const CliRun run = Zarncap({"stream", "-o", folder_ / "a.mkv", "--seconds", "0.2", "--size", "160x120", "--format", "yvu9"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("frames written"), std::string::npos);
}

TEST_F(CliTest, DefectsSendsExactly480Bytes) {
  const std::string map = folder_ / "map.bin", wrong = folder_ / "wrong.bin";
  std::string bytes(480, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i);
  tooltest::WriteText(map, bytes);
  tooltest::WriteText(wrong, bytes + "x");

  CliRun run = Zarncap({"defects", "--store", map});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("answer 0"), std::string::npos);
  EXPECT_EQ(faketest::Record().defectMap, std::vector<BYTE>(bytes.begin(), bytes.end()));

  FakeConfig config;
  config.defectAnswer = 1003;
  ExpectOneErrorLine(Zarncap({"defects", "--store", map}, config), "answer 1003");

  run = Zarncap({"defects", "--store", wrong});
  ExpectOneErrorLine(run, "481 bytes; a defect map is exactly 480 bytes");
  EXPECT_TRUE(faketest::Record().messages.empty());
  ExpectOneErrorLine(Zarncap({"defects", "--store", folder_ / "none.bin"}), "cannot read");
}

TEST_F(CliTest, TraceOpensTheDriverOnACopyAndLeavesTheUsersFile) {
  const std::string ini = folder_ / "user.ini";
  tooltest::WriteText(ini, "[ZARNCAP]\nDebugLevel=4\n");
  const CliRun run = Zarncap({"capture", "-o", folder_ / "a.png", "--frames", "1", "--size", "160x120", "--trace", "--ini", ini});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string open = faketest::Record().openString;
  ASSERT_EQ(open.rfind("vcap /", 0), 0u) << open;
  EXPECT_EQ(open.find(ini), std::string::npos);  // the copy, not the user's file
  EXPECT_FALSE(std::filesystem::exists(open.substr(5)));  // and the copy is gone
  EXPECT_EQ(ReadText(ini), "[ZARNCAP]\nDebugLevel=4\n");
}

}  // namespace
