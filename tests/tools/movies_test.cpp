// Movies as users ask for them, against the driver on the virtual camera:
// compressed video that FFmpeg decodes, codec mistakes told before the camera
// starts, a filling disk that still leaves a finished movie, the JSON summary,
// and -q / -v.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "support/environment.h"
#include "tools/movie_probe.h"
#include "tools/recording_driver.h"
#include "tools/tool_test_util.h"

namespace {

using tooltest::CliRun;
using tooltest::Probe;
using tooltest::ScratchFolder;

class MoviesTest : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", config_.Path().c_str()); }

  CliRun Stream(const std::vector<std::string>& args, zarncap::Host host = {}) {
    std::vector<std::string> words = {"stream", "--size", "160x120"};
    words.insert(words.end(), args.begin(), args.end());
    drivertest::ResetDriver("sim:period=2,noise=0");
    host.proc = drivertest::RecordingDriverProc;
    return tooltest::RunCli(words, host);
  }

  ScratchFolder folder_, config_;
};

TEST_F(MoviesTest, CompressedMoviesDecode) {
  struct Case {
    std::vector<std::string> args;
    std::string file;
    AVCodecID codec;
  } cases[] = {
      {{}, "a.mp4", AV_CODEC_ID_H264},
      {{"--crf", "35"}, "b.mp4", AV_CODEC_ID_H264},
      {{"--codec", "mjpeg", "--quality", "60"}, "c.avi", AV_CODEC_ID_MJPEG},
      {{"--codec", "mjpeg", "--format", "pal8"}, "d.mkv", AV_CODEC_ID_MJPEG},
      {{"--codec", "h264", "--format", "i420"}, "e.mkv", AV_CODEC_ID_H264},
      {{}, "f.avi", AV_CODEC_ID_RAWVIDEO},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--frames", "8", "-o", folder_ / c.file};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = Stream(args);
    ASSERT_EQ(run.status, 0) << c.file << ": " << run.err;
    const tooltest::MovieInfo movie = Probe(folder_ / c.file);
    EXPECT_EQ(movie.codec, c.codec) << c.file;
    EXPECT_EQ(movie.frames, 8) << c.file;
    EXPECT_EQ(movie.width, 160) << c.file;
    EXPECT_EQ(movie.height, 120) << c.file;
    EXPECT_NE(run.out.find("CPU "), std::string::npos) << run.out;
  }
}

TEST_F(MoviesTest, CodecMistakesAreUsageErrors) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-o", folder_ / "a.y4m", "--codec", "mjpeg"}, "Y4M holds raw"},
      {{"-o", folder_ / "a.mp4", "--codec", "raw"}, "holds H.264"},
      {{"-o", folder_ / "a.avi", "--codec", "h264"}, "use .mp4 or .mkv"},
      {{"-o", folder_ / "a.mkv", "--format", "pal8"}, "palette"},
      {{"-o", folder_ / "a.mp4", "--crf", "52"}, "--crf"},
  };
  for (const auto& [args, says] : cases) {
    const CliRun run = Stream(args);
    EXPECT_EQ(run.status, 2) << says;
    EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
    EXPECT_TRUE(drivertest::Record().messages.empty()) << says;  // the camera never started
  }
}

// The disk "fills" after four frames: every kind of file is finished with
// the frames written, and the run fails saying why.
TEST_F(MoviesTest, AFillingDiskStillLeavesAFinishedMovie) {
  for (const std::string file : {"a.avi", "b.mkv", "c.y4m", "d.mp4"}) {
    auto checks = std::make_shared<std::atomic<int>>(0);
    zarncap::Host host;
    host.freeBytes = [checks](const std::string&) -> uint64_t { return ++*checks <= 4 ? UINT64_MAX : 100000; };
    const CliRun run = Stream({"--frames", "50", "-o", folder_ / file}, host);
    EXPECT_EQ(run.status, 1) << file;
    EXPECT_NE(run.err.find("is nearly full (97 KiB left)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the 4 frames written are in"), std::string::npos) << run.err;
    EXPECT_EQ(Probe(folder_ / file).frames, 4) << file;
  }
}

TEST_F(MoviesTest, JsonSummaryQuietAndVerbose) {
  CliRun run = Stream({"--frames", "5", "--json", "-o", folder_ / "a.mkv"});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* field : {"\"frames\": 5,", "\"container\": \"matroska\"", "\"codec\": \"raw\"",
                            "\"cpu_ms_per_frame\": ", "\"stopped_because\": null"}) {
    EXPECT_NE(run.out.find(field), std::string::npos) << field << " in " << run.out;
  }
  run = Stream({"--frames", "3", "-q", "-o", folder_ / "b.avi"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  run = Stream({"--frames", "3", "-v", "-o", folder_ / "c.avi"});
  EXPECT_NE(run.err.find("zarncap: format 160x120 rgb24, raw in avi"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("the driver delivers"), std::string::npos) << run.err;
  EXPECT_EQ(Stream({"-q", "-v", "-o", folder_ / "d.avi"}).status, 2);
}

}  // namespace
