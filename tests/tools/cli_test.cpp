// The command line and the command flow against the real driver on the
// virtual camera: argument handling, errors as one line with a non-zero
// status, format refusal with the driver's list, frames saved as delivered,
// streams that re-queue their buffers and count the frames the driver could
// not fill.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdlib>

#include "support/environment.h"
#include "tools/recording_driver.h"
#include "tools/zarncap/host/format_map.h"
#include "tools/tool_test_util.h"
#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/host/trace_settings.h"

namespace {

using drivertest::Record;
using tooltest::CliRun;
using tooltest::ReadBytes;
using tooltest::ReadText;
using tooltest::RunCli;
using tooltest::ScratchFolder;

zarncap::Host DriverHost() {
  zarncap::Host host;
  host.proc = drivertest::RecordingDriverProc;
  host.stallTimeout = std::chrono::milliseconds(300);
  return host;
}

// Runs zarncap against the driver on a virtual camera with these keys.
CliRun Zarncap(std::initializer_list<std::string> args, const std::string& camera = "sim:period=2,noise=0") {
  drivertest::ResetDriver(camera);
  return RunCli(args, DriverHost());
}

// One line on stderr, starting "zarncap: error: ".
void ExpectOneErrorLine(const CliRun& run, const std::string& part) {
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.err.rfind("zarncap: error: ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
}


// The frame rate a Y4M header states (its "F<num>:<den>" field).
double Y4mRate(const std::string& text) {
  const size_t at = text.find(" F");
  if (at == std::string::npos) return 0;
  const size_t colon = text.find(':', at);
  return std::stod(text.substr(at + 2, colon - at - 2)) / std::stod(text.substr(colon + 1));
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", config_.Path().c_str()); }
  ScratchFolder folder_, config_;
};

TEST_F(CliTest, HelpOnEveryCommand) {
  for (const auto& command : {"", "capture", "stream", "formats", "defects", "controls", "info"}) {
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
  ExpectOneErrorLine(Zarncap({"capture", "-o", folder_ / "a.gif"}), ".png, .jpg, .bmp or .yuv");
  ExpectOneErrorLine(Zarncap({"capture", "-o", folder_ / "a.bmp", "--format", "i420", "--size", "160x120"}), ".bmp");
  ExpectOneErrorLine(Zarncap({"stream", "-o", folder_ / "a.mov"}), ".avi, .mkv, .mp4 or .y4m");
  ExpectOneErrorLine(Zarncap({"stream", "-o", folder_ / "a.mkv", "--format", "pal8"}), "palette");
  EXPECT_EQ(Zarncap({"capture", "-o", png, "--size", "0x240"}).status, 2);
  EXPECT_TRUE(Record().messages.empty());  // refused before the driver was asked anything
  EXPECT_TRUE(folder_.Names().empty());
}

// White balance the driver keeps far from neutral is named after the run,
// with the way back; near neutral it is said only with -v.
TEST_F(CliTest, GainsFarFromNeutralAreNamedWithTheFix) {
  const std::string ini = folder_ / "tinted.ini";
  tooltest::WriteText(ini, "[COLSPACE]\nRedGain=10\nGreenGain=10\nBlueGain=34\n");
  CliRun run = Zarncap({"capture", "-o", folder_ / "t.png", "--frames", "2", "--ini", ini});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("far from neutral (red 1.0, green 1.0, blue 3."), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("--reset-colour"), std::string::npos) << run.out;
  run = Zarncap({"capture", "-o", folder_ / "n.png", "--frames", "2", "--ini", ini, "--reset-colour"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find("far from neutral"), std::string::npos) << run.out;
}

// A .yuv named without --format is I420 at the largest size it takes; a
// --quality a PNG cannot use is a warning, not silence.
TEST_F(CliTest, TheNameChoosesWhatItCan) {
  CliRun run = Zarncap({"capture", "-o", folder_ / "a.yuv", "--frames", "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("(176x144 i420"), std::string::npos) << run.out;
  EXPECT_EQ(tooltest::ReadBytes(folder_ / "a.yuv").size(), 176u * 144u * 3u / 2u);
  run = Zarncap({"capture", "-o", folder_ / "q.png", "--frames", "1", "--quality", "50"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("warning: --quality is for JPEG pictures"), std::string::npos) << run.err;
}

// capture --json, as stream --json: one object with each shot's file, frame
// and capture time.
TEST_F(CliTest, CaptureJsonSummarisesEveryShot) {
  const CliRun run = Zarncap({"capture", "--json", "--frames", "2", "--count", "2", "-o", folder_ / "j-%n.png"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("{\"width\": 320, \"height\": 240, \"format\": \"rgb24\", \"shots\": [{\"file\": ", 0), 0u)
      << run.out;
  EXPECT_NE(run.out.find("j-2.png\", \"frame\": 1, \"captured_ms\": "), std::string::npos) << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
}

// Errors that say what is wrong: an unknown command with the nearest one, a
// size out of range, a settings file name the driver cannot take (a usage
// error, 2), and the help of the command at hand.
TEST_F(CliTest, ErrorsSayWhatIsWrong) {
  const std::string png = folder_ / "a.png";
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"captur", "-o", png}, "unknown command 'captur' (did you mean 'capture'?)"},
      {{"capture", "-o", png, "--size", "99999x1"}, "out of range"},
      {{"capture", "-o", png, "--ini", "foo.txt"}, ".ini"},
      {{"capture", "-o", png, "--frames", "x"}, "(see zarncap capture --help)"},
  };
  for (const Case& c : cases) {
    drivertest::ResetDriver();
    const CliRun run = RunCli(c.args, DriverHost());
    ExpectOneErrorLine(run, c.says);
    EXPECT_EQ(run.status, 2) << run.err;
  }
}

TEST_F(CliTest, GlobalOptionsReachTheOpenStringAndMayFollowTheCommand) {
  const std::string ini = folder_ / "my.ini";
  const CliRun run = Zarncap({"capture", "-o", folder_ / "a.png", "--frames", "1", "--port", "lpt2", "--ini", ini, "--camera",
                          "sim:port=2,period=2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Record().openString, "vcap LPT2 " + ini);
  EXPECT_EQ(Record().openFlags, VIDEO_IN);
  EXPECT_STREQ(std::getenv("ZARNCAP_CAMERA"), "sim:port=2,period=2");
  ExpectOneErrorLine(Zarncap({"formats", "--ini", folder_ / "my settings.ini"}), "space");
  ExpectOneErrorLine(Zarncap({"formats", "--ini", folder_ / "my.cfg"}), ".ini");
}

TEST_F(CliTest, NoCameraIsAClearErrorThatMentionsCamera) {
  // No camera on any port: the open fails with DV_ERR_NOTDETECTED.
  const CliRun run = Zarncap({"capture", "-o", folder_ / "a.png", "--camera", "sim:port=none"}, "sim:port=none");
  ExpectOneErrorLine(run, "no camera found");
  EXPECT_NE(run.err.find("--camera"), std::string::npos);
  EXPECT_NE(run.err.find("sim:port=none"), std::string::npos);
  EXPECT_TRUE(folder_.Names().empty());  // no partial file

  // No port device at all: DV_ERR_NONSPECIFIC.
  ExpectOneErrorLine(Zarncap({"formats", "--camera", "none"}, "none"), "could not open its port device");

  zarncap::Host host;
  host.library = folder_ / "missing.so";
  drivertest::ResetDriver();
  ExpectOneErrorLine(RunCli({"formats"}, host), "cannot load the capture driver");
}

TEST_F(CliTest, RefusedFormatListsWhatTheDriverAccepts) {
  const CliRun run = Zarncap({"capture", "-o", folder_ / "a.png", "--format", "yuy2", "--size", "640x480"});
  ExpectOneErrorLine(run, "the driver refused yuy2 640x480");
  // The sizes of the format asked for, and only those.
  EXPECT_NE(run.err.find("it takes (widths x heights, first..last/step): yuy2 80..160/8 x 60..120/4; 176 x 144"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("rgb24"), std::string::npos) << run.err;
  EXPECT_TRUE(folder_.Names().empty());
}

// Every size, found by asking: the sizes a sample of candidates missed are in.
TEST_F(CliTest, FormatsAsksTheDriverAtEverySize) {
  const CliRun run = Zarncap({"formats"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("  rgb24  168..320/8 x 56; 80..320/8 x 60..240/4; 328..640/8 x 244..480/4\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("  i420   80..160/8 x 60..120/4; 176 x 144\n"), std::string::npos) << run.out;
  const auto messages = Record().messages;
  EXPECT_GE(std::count(messages.begin(), messages.end(), DVM_FORMAT), 8 * 640 * 480);

  const CliRun json = Zarncap({"formats", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("{\"format\": \"yvu9\", \"sizes\": [{\"widths\": [[80, 160, 8]], \"heights\": [[60, 120, 4]]}, "
                          "{\"widths\": [[176, 176, 1]], \"heights\": [[144, 144, 1]]}]}"),
            std::string::npos)
      << json.out;
}

// The summing up: heights with the same widths, evenly stepped, make a block.
TEST(FormatMap, SumsAcceptedSizesUpAsBlocks) {
  std::vector<std::vector<bool>> accepted(21, std::vector<bool>(33, false));
  for (int h = 4; h <= 12; h += 4) {
    for (int w = 8; w <= 24; w += 8) accepted[static_cast<size_t>(h)][static_cast<size_t>(w)] = true;
  }
  accepted[20][32] = true;  // a size of its own
  accepted[16][8] = accepted[16][32] = true;  // widths that are not one run
  const auto blocks = zarncap::SumUp(accepted);
  EXPECT_EQ(zarncap::DescribeBlocks(blocks), "8..24/8 x 4..12/4; 8..32/24 x 16; 32 x 20");
  EXPECT_EQ(zarncap::DescribeBlocks({}), "no size");
}

TEST_F(CliTest, CaptureKeepsTheLastOfTheSettleFrames) {
  const std::string yuv = folder_ / "a.yuv";
  // Frames that take a while (a slow sensor): the tool still keeps the last.
  const CliRun run =
      Zarncap({"capture", "-o", yuv, "--format", "i420", "--size", "160x120", "--frames", "4"}, "sim:period=30,noise=0");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto record = Record();
  ASSERT_EQ(record.framesDelivered, 4);
  ASSERT_EQ(record.frames.back().size(), 160u * 120 * 3 / 2);
  EXPECT_EQ(ReadBytes(yuv), record.frames.back());
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
  const std::vector<BYTE> delivered = Record().frames.back();
  const size_t lastRow = 119 * 160 * 3;
  EXPECT_EQ(rgb[0], delivered[lastRow + 2]);
  EXPECT_EQ(rgb[2], delivered[lastRow]);

  const CliRun run = Zarncap({"capture", "-o", bmp, "--frames", "1", "--size", "80x60", "--format", "pal8"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto bytes = ReadBytes(bmp);
  ASSERT_EQ(bytes.size(), 14u + 40u + 1024u + 80u * 60u);
  EXPECT_EQ(bytes[28], 8);
  // The palette is the one the driver handed out, the pixels the frame it delivered.
  const auto record = Record();
  ASSERT_EQ(record.palette.size(), 256u);
  const RGBQUAD entry = record.palette[3];
  EXPECT_EQ(bytes[54 + 12], entry.rgbBlue);
  EXPECT_EQ(bytes[54 + 13], entry.rgbGreen);
  EXPECT_EQ(bytes[54 + 14], entry.rgbRed);
  EXPECT_EQ((std::vector<uint8_t>(bytes.begin() + 1078, bytes.end())), record.frames.back());
}

TEST_F(CliTest, FramesNotDeliveredLeaveNoFile) {
  // Every frame transfer fails.
  const std::string failing = "sim:period=2,fail=ecp_read_frame,fail=ecp_read_frame_var";  // the ECP port's reads
  ExpectOneErrorLine(Zarncap({"capture", "-o", folder_ / "a.png", "--size", "160x120"}, failing),
                     "the driver delivered no frame 1");
  EXPECT_TRUE(folder_.Names().empty());

  ExpectOneErrorLine(Zarncap({"stream", "-o", folder_ / "a.avi", "--frames", "5", "--size", "160x120"}, failing),
                     "delivered no frame for 0.3 s");
  EXPECT_TRUE(folder_.Names().empty());
  EXPECT_TRUE(Record().closed);
}

TEST_F(CliTest, UnwritableOutputFailsBeforeTheCameraStarts) {
  ExpectOneErrorLine(Zarncap({"capture", "-o", folder_ / "no/such/folder/a.png"}), "cannot write");
  EXPECT_TRUE(Record().messages.empty());
}

TEST_F(CliTest, StreamRequeuesBuffersAndCountsTicksWithoutABuffer) {
  const std::string y4m = folder_ / "a.y4m";
  // Seven frame transfers fail along the way: the driver counts each as a
  // frame it could not fill.
  std::string camera = "sim:period=66,noise=0";
  for (int n = 3; n < 10; ++n) camera += ",fail=ecp_read_frame_var@" + std::to_string(n);
  const CliRun run =
      Zarncap({"stream", "-o", y4m, "--frames", "20", "--size", "160x120", "--format", "i420", "--fps", "25"}, camera);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto record = Record();
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
  // The interval the driver's time stamps show: the sensor's 66 ms period (and
  // the seven frames lost), not the 40 ms asked for.
  const size_t interval = run.out.find("average interval ");
  ASSERT_NE(interval, std::string::npos) << run.out;
  const double ms = std::stod(run.out.substr(interval + 17));
  EXPECT_GT(ms, 60.0) << run.out;
  EXPECT_LT(ms, 200.0) << run.out;

  // Y4M: the header with the rate the driver delivered (about 14 fps, not the
  // 25 asked for, which a warning says), then 20 frames in delivery order.
  const std::string text = ReadText(y4m);
  const std::string header = text.substr(0, text.find('\n') + 1);
  ASSERT_EQ(header.rfind("YUV4MPEG2 W160 H120 F", 0), 0u) << header;
  EXPECT_NE(header.find(" Ip A1:1 C420jpeg\n"), std::string::npos) << header;
  EXPECT_NEAR(Y4mRate(header), 1000.0 / ms, 1000.0 / ms * 0.2) << header;
  EXPECT_NE(run.err.find("warning: the camera delivers"), std::string::npos) << run.err;
  const size_t frameBytes = 6 + 160 * 120 * 3 / 2;
  ASSERT_EQ(text.size(), header.size() + 20 * frameBytes);
  const auto frames = Record().frames;
  ASSERT_GE(frames.size(), 20u);
  for (int n : {1, 20}) {
    const size_t at = header.size() + static_cast<size_t>(n - 1) * frameBytes;
    EXPECT_EQ(text.substr(at, 6), "FRAME\n");
    EXPECT_EQ(static_cast<uint8_t>(text[at + 6 + 100]), frames[static_cast<size_t>(n - 1)][100]);
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
  EXPECT_EQ(run.out.rfind("YUV4MPEG2 W80 H60 F", 0), 0u);
  const size_t headerSize = run.out.find('\n') + 1;
  EXPECT_GT(Y4mRate(run.out.substr(0, headerSize)), 5.0);
  EXPECT_EQ(run.out.size(), headerSize + 3 * (6 + 80 * 60 * 3 / 2));
  EXPECT_NE(run.err.find("3 frames written to standard output"), std::string::npos);
}

TEST_F(CliTest, StreamBySeconds) {
  const CliRun run = Zarncap({"stream", "-o", folder_ / "a.mkv", "--seconds", "0.2", "--size", "160x120", "--format", "yvu9"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("frames written"), std::string::npos);
}

TEST_F(CliTest, DefectsSendsExactly480Bytes) {
  const std::string map = folder_ / "map.bin", wrong = folder_ / "wrong.bin";
  // Three stuck pixels (kind 1, position low byte first), then the end of the map.
  std::string bytes(480, '\0');
  for (int k = 0; k < 3; ++k) {
    const int position = 388 * 20 + 101 + 4 * k;
    bytes[static_cast<size_t>(3 * k)] = 1;
    bytes[static_cast<size_t>(3 * k + 1)] = static_cast<char>(position & 0xFF);
    bytes[static_cast<size_t>(3 * k + 2)] = static_cast<char>(position >> 8);
  }
  tooltest::WriteText(map, bytes);
  tooltest::WriteText(wrong, bytes + "x");

  CliRun run = Zarncap({"defects", "--store", map});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("answer 0"), std::string::npos);
  EXPECT_EQ(Record().defectMap, std::vector<BYTE>(bytes.begin(), bytes.end()));

  // A camera whose EEPROM never answers cannot take the map.
  ExpectOneErrorLine(Zarncap({"defects", "--store", map}, "sim:period=2,nack=eeprom"), "answer 1003");

  run = Zarncap({"defects", "--store", wrong});
  ExpectOneErrorLine(run, "481 bytes; a defect map is exactly 480 bytes");
  EXPECT_TRUE(Record().messages.empty());
  ExpectOneErrorLine(Zarncap({"defects", "--store", folder_ / "none.bin"}), "cannot read");
}

TEST_F(CliTest, TraceOpensTheDriverOnACopyAndLeavesTheUsersFile) {
  const std::string ini = folder_ / "user.ini";
  tooltest::WriteText(ini, "[ZARNCAP]\nDebugLevel=4\n");
  const CliRun run = Zarncap({"capture", "-o", folder_ / "a.png", "--frames", "1", "--size", "160x120", "--trace", "--ini", ini});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string open = Record().openString;
  ASSERT_EQ(open.rfind("vcap /", 0), 0u) << open;
  EXPECT_EQ(open.find(ini), std::string::npos);  // the copy, not the user's file
  EXPECT_FALSE(std::filesystem::exists(open.substr(5)));  // and the copy is gone
  // The user's DebugLevel stays as it was; what the driver saved on the copy
  // (port, capture and colour settings) reaches the user's file.
  const std::string text = ReadText(ini);
  EXPECT_EQ(text.rfind("[ZARNCAP]\nDebugLevel=4\n", 0), 0u) << text;
  EXPECT_NE(text.find("[NUBO]"), std::string::npos) << text;
  EXPECT_NE(text.find("[COLSPACE]"), std::string::npos) << text;
}

// A stream that ends early keeps what it wrote: a camera unplugged
// mid-stream fails the run (status 1) with a playable file of the frames
// written, and an interrupted run keeps its file with status 130.
TEST_F(CliTest, StreamsThatEndEarlyKeepTheirFrames) {
  const std::string y4m = folder_ / "a.y4m";
  const size_t frameBytes = 6 + 160 * 120 * 3 / 2;
  const CliRun run = Zarncap({"stream", "-o", y4m, "--frames", "200", "--size", "160x120", "--format", "i420"},
                             "sim:period=2,unplug=20");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("frames written are in " + y4m), std::string::npos) << run.err;
  const std::string text = ReadText(y4m);
  ASSERT_EQ(text.rfind("YUV4MPEG2 W160 H120", 0), 0u);
  const size_t body = text.size() - (text.find('\n') + 1);
  EXPECT_EQ(body % frameBytes, 0u);
  EXPECT_GE(body / frameBytes, 1u);
  EXPECT_LE(body / frameBytes, 20u);

  std::atomic<bool> interrupted{false};
  zarncap::Host host = DriverHost();
  host.interrupted = &interrupted;
  drivertest::ResetDriver();
  std::thread stopper([&interrupted] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    interrupted = true;
  });
  const std::string avi = folder_ / "b.avi";
  const CliRun stopped = RunCli({"stream", "-o", avi, "--seconds", "30", "--size", "160x120"}, host);
  stopper.join();
  EXPECT_EQ(stopped.status, 130) << stopped.err;
  EXPECT_TRUE(std::filesystem::exists(avi));
  EXPECT_GT(std::filesystem::file_size(avi), 160u * 120u * 3u);
}

// Without --size the default 320x240 gives way to the largest size the
// driver takes in the format asked for; a size the user gives is never changed.
TEST_F(CliTest, WithoutASizeTheFormatsLargestIsTaken) {
  const std::string yuv = folder_ / "a.yuv";
  const CliRun run = Zarncap({"capture", "-o", yuv, "--format", "i420", "--frames", "2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("176x144 i420"), std::string::npos) << run.out;
  EXPECT_EQ(ReadBytes(yuv).size(), 176u * 144 * 3 / 2);
  ExpectOneErrorLine(Zarncap({"capture", "-o", yuv, "--format", "i420", "--size", "320x240"}),
                     "the driver refused i420 320x240");
  ASSERT_EQ(Zarncap({"capture", "-o", folder_ / "b.png", "--frames", "1"}).status, 0);
  EXPECT_EQ(Record().frames.back().size(), 320u * 240 * 3);  // rgb24 keeps the default
}

// A settings file the driver could not keep its settings in is an error
// naming it, before the camera is touched.
TEST_F(CliTest, UnusableSettingsFilesAreErrors) {
  const std::string png = folder_ / "a.png";
  ExpectOneErrorLine(Zarncap({"capture", "-o", png, "--ini", "/nonexistent/dir/x.ini"}),
                     "cannot keep settings in /nonexistent/dir/x.ini: the folder /nonexistent/dir does not exist");
  std::filesystem::create_directory(folder_ / "folder.ini");
  ExpectOneErrorLine(Zarncap({"formats", "--ini", folder_ / "folder.ini"}), "it is a folder");
  EXPECT_TRUE(Record().messages.empty());
}

// Messages that say what is wrong in words the user gave.
TEST_F(CliTest, MessagesNameWhatIsWrong) {
  const std::string png = folder_ / "a.png";
  ExpectOneErrorLine(Zarncap({"capture", "-o", png, "--frames", "1.5"}), "must be a whole number (got '1.5')");
  EXPECT_EQ(Zarncap({"capture", "-o", png, "--frames", "1.5"}).status, 2);
  std::filesystem::create_directory(folder_ / "maps");
  ExpectOneErrorLine(Zarncap({"defects", "--store", folder_ / "maps"}), "cannot read " + (folder_ / "maps") + ": it is a folder");
  const CliRun one = Zarncap({"stream", "-o", folder_ / "one.y4m", "--frames", "1", "--size", "160x120", "--format", "i420"});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_NE(one.out.find("1 frame written"), std::string::npos) << one.out;
}

// An output that is a symbolic link is written through, the link kept.
TEST_F(CliTest, OutputThroughASymbolicLink) {
  const std::string real = folder_ / "real.png", link = folder_ / "link.png";
  tooltest::WriteText(real, "old");
  std::filesystem::create_symlink(real, link);
  ASSERT_EQ(Zarncap({"capture", "-o", link, "--frames", "1", "--size", "160x120"}).status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_GT(std::filesystem::file_size(real), 1000u);
}

// --version names the tool and its version; --reset-colour puts the kept
// white-balance gains back to 1.0 before the run.
TEST_F(CliTest, VersionAndResetColour) {
  const CliRun version = Zarncap({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("zarncap ", 0), 0u) << version.out;
  // The source revision it was built from, for a bug report.
  EXPECT_NE(version.out.find(" (source "), std::string::npos) << version.out;
  EXPECT_EQ(version.out.find("(source unknown)"), std::string::npos) << version.out;
  EXPECT_TRUE(version.err.empty());

  const std::string ini = folder_ / "tinted.ini";
  tooltest::WriteText(ini, "[COLSPACE]\nRedGain=13\nGreenGain=19\nBlueGain=25\n");
  ASSERT_EQ(Zarncap({"--ini", ini, "--reset-colour", "formats"}).status, 0);
  const std::string text = ReadText(ini);
  for (const char* key : {"RedGain=10", "GreenGain=10", "BlueGain=10"}) EXPECT_NE(text.find(key), std::string::npos) << text;
}

}  // namespace

namespace {

// The luma plane's mean of an I420 still of 160x120.
double LumaMean(const std::string& path) {
  const auto bytes = ReadBytes(path);
  if (bytes.size() < 160 * 120) return 0;
  double sum = 0;
  for (size_t i = 0; i < 160 * 120; ++i) sum += bytes[i];
  return sum / (160 * 120);
}

TEST_F(CliTest, ControlsAreSetThroughTheDriversDialogAndShowInTheNextPicture) {
  const std::string before = folder_ / "before.yuv", after = folder_ / "after.yuv";
  auto capture = [&](const std::string& path) {
    return Zarncap({"capture", "-o", path, "--format", "i420", "--size", "160x120", "--frames", "2"}).status;
  };
  ASSERT_EQ(capture(before), 0);
  CliRun run = Zarncap({"controls"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("brightness   50"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("compression  manual"), std::string::npos) << run.out;

  // Each refusal is one usage line and changes nothing.
  const std::pair<const char*, const char*> refused[] = {{"brightness=101", "from 0 to 100"},
                                                         {"brightness=ten", "whole number"},
                                                         {"lighting=dim", "one of normal, low"},
                                                         {"sharpness=3", "no control named"},
                                                         {"brightness", "name=value"}};
  for (auto [set, part] : refused) {
    run = Zarncap({"controls", "--set", "contrast=10", "--set", set});
    ExpectOneErrorLine(run, part);
    EXPECT_EQ(run.status, 2) << set;
  }
  // Names and values that need no driver are refused before it opens.
  const std::pair<const char*, const char*> early[] = {{"brigthness=50", "no control named 'brigthness'"},
                                                       {"brightness=+70", "whole number"},
                                                       {"brightness=-0", "whole number"},
                                                       {"compression=sometimes", "one of off, automatic, manual"}};
  for (auto [set, part] : early) {
    drivertest::ResetDriver();
    run = RunCli({"controls", "--set", set}, DriverHost());
    ExpectOneErrorLine(run, part);
    EXPECT_EQ(run.status, 2) << set;
    EXPECT_TRUE(Record().openString.empty()) << set << ": the driver was opened";
  }
  // Any letter case, and "color" for colour; --get prints the one value.
  run = Zarncap({"controls", "--set", "Color=40", "--set", "LIGHTING=Low"});
  ASSERT_EQ(run.status, 0) << run.err;
  run = Zarncap({"controls", "--get", "colour"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "40\n");
  EXPECT_EQ(Zarncap({"controls", "--get", "lighting"}).out, "low\n");
  run = Zarncap({"controls", "--set", "brightness=80", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("{\"name\": \"brightness\", \"value\": 80"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("{\"name\": \"contrast\", \"value\": 50"), std::string::npos) << run.out;
  ASSERT_EQ(capture(after), 0);
  EXPECT_GT(LumaMean(after), LumaMean(before) + 10);
}

}  // namespace

namespace {

TEST_F(CliTest, InfoReadsTheCameraDetailsDialog) {
  struct Case {
    const char* camera;
    std::vector<std::string> args;
    int status;
    const char* expected;
  };
  const Case cases[] = {
      {"sim:period=2", {"info"}, 0, "Port:           LPT1 (ECP port)\nCamera:         Model A\n"},
      {"sim:period=2,port=3,sensor=1", {"info", "--json"}, 0,
       "{\"found\": true, \"port\": \"LPT3\", \"mode\": \"ECP\", \"mode_forced\": false, \"camera\": \"Model B\", "
       "\"version\": \"1.0.0\""},
      {"sim:period=2,port=none", {"info"}, 1, "Port:           Camera not found\n"},
  };
  for (const Case& c : cases) {
    drivertest::ResetDriver(c.camera);
    const CliRun run = RunCli(c.args, DriverHost());
    EXPECT_EQ(run.status, c.status) << c.camera << run.err;
    EXPECT_NE(run.out.find(c.expected), std::string::npos) << c.camera << "\n" << run.out;
    if (c.status != 0) ExpectOneErrorLine(run, "no camera found");
  }
  // The dialog's texts are code page 1252; the JSON is UTF-8.
  tooltest::WriteText((config_.Path() / "zarncap.ini").string(), "[ZARNCAP]\nLanguage=Fran\xE7" "ais\n");
  const CliRun run = Zarncap({"info", "--json"}, "sim:period=2");
  EXPECT_NE(run.out.find("\"language\": \"Fran\xC3\xA7" "ais\""), std::string::npos) << run.out;
}

}  // namespace

namespace {

// A mistyped camera is a usage error in one line, before the driver is loaded.
TEST_F(CliTest, CameraSpecTyposAreOneLineUsageErrors) {
  const std::pair<const char*, const char*> cases[] = {{"sim:bogus=1", "unknown key \"bogus\""},
                                                       {"sim:port=9", "key \"port\""},
                                                       {"simm", "unknown camera 'simm'"},
                                                       {"none:port=1", "takes no options"}};
  for (auto [camera, part] : cases) {
    const CliRun run = Zarncap({"--camera", camera, "capture", "-o", folder_ / "x.png"});
    ExpectOneErrorLine(run, part);
    EXPECT_EQ(run.status, 2) << camera;
  }
}

}  // namespace
