// zarncap against the real driver library and its virtual camera, run as a
// user runs it: the built executable with arguments, its exit status, its
// messages and the files it leaves. Skipped when the library cannot open a
// camera.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "tools/movie_probe.h"
#include "tools/tool_test_util.h"
#include "tools/zarncap/host/trace_settings.h"

namespace {

using tooltest::MovieInfo;
using tooltest::Probe;
using tooltest::ReadBytes;
using tooltest::ReadText;
using tooltest::ScratchFolder;

struct Result {
  int status = -1;
  std::string out, err;
};

class EndToEnd : public ::testing::Test {
 protected:
  // Runs the zarncap executable with the build's library and a private
  // settings folder; arguments must not need shell quoting.
  Result Zarncap(const std::string& args, const std::string& pipeTo = "") {
    const tooltest::CliRun run = tooltest::RunBuiltZarncap(folder_, args, pipeTo);
    return {run.status, run.out, run.err};
  }

  void SetUp() override {
    const Result probe = Zarncap("capture -o probe.png --frames 1 --size 160x120");
    if (probe.status != 0 && probe.err.find("no camera found") != std::string::npos) {
      GTEST_SKIP() << "the driver library opens no camera here: " << probe.err;
    }
    ASSERT_EQ(probe.status, 0) << probe.err;
  }

  ScratchFolder folder_;
};

struct PngInfo {
  bool ok = false;
  unsigned width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

PngInfo ReadPng(const std::string& path) {
  PngInfo info;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return info;
  image.format = PNG_FORMAT_RGB;
  info.rgb.resize(PNG_IMAGE_SIZE(image));
  info.ok = png_image_finish_read(&image, nullptr, info.rgb.data(), 0, nullptr) != 0;
  info.width = image.width;
  info.height = image.height;
  return info;
}

TEST_F(EndToEnd, DefaultCaptureIsA320x240PictureWithSomethingInIt) {
  const Result run = Zarncap("capture -o frame.png");
  ASSERT_EQ(run.status, 0) << run.err;
  const PngInfo png = ReadPng(folder_ / "frame.png");
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.width, 320u);
  EXPECT_EQ(png.height, 240u);
  const auto [low, high] = std::minmax_element(png.rgb.begin(), png.rgb.end());
  EXPECT_GT(*high - *low, 64) << "a flat picture";
}

TEST_F(EndToEnd, EveryFormatOfCaptureWritesItsFile) {
  for (const std::string format : {"rgb24", "rgb16", "pal8", "i420", "iyuv", "yv12", "yuy2", "yvu9"}) {
    const Result run = Zarncap("capture -o " + format + ".png --format " + format + " --size 160x120 --frames 3");
    ASSERT_EQ(run.status, 0) << format << ": " << run.err;
    const PngInfo png = ReadPng(folder_ / (format + ".png"));
    EXPECT_TRUE(png.ok && png.width == 160 && png.height == 120) << format;
  }
  for (const std::string format : {"rgb24", "rgb16", "pal8"}) {
    ASSERT_EQ(Zarncap("capture -o " + format + ".bmp --format " + format + " --size 160x120 --frames 2").status, 0);
    const auto bmp = ReadBytes(folder_ / (format + ".bmp"));
    const size_t bits = format == "rgb24" ? 24 : format == "rgb16" ? 16 : 8;
    EXPECT_EQ(bmp.size(), 54 + (bits == 8 ? 1024u : 0u) + 160 * 120 * bits / 8) << format;
  }
  const std::pair<const char*, size_t> yuv[] = {{"i420", 28800}, {"yv12", 28800}, {"yuy2", 38400}, {"yvu9", 21600}};
  for (const auto& [format, bytes] : yuv) {
    ASSERT_EQ(Zarncap(std::string("capture -o f.yuv --format ") + format + " --size 160x120 --frames 2").status, 0);
    EXPECT_EQ(ReadBytes(folder_ / "f.yuv").size(), bytes) << format;
  }
}

// A time-lapse keeps its schedule from the first shot: the first shot's
// settling frames (10 here, about 0.7 s) do not eat into the interval, so
// the later shots are not taken at once after it.
TEST_F(EndToEnd, ATimeLapseKeepsItsIntervalFromTheFirstShot) {
  const Result run = Zarncap("capture --size 160x120 --frames 10 --count 3 --interval 0.4 -o s-%n.png");
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<long> captured;
  for (size_t at = run.out.find("captured at "); at != std::string::npos; at = run.out.find("captured at ", at + 1)) {
    captured.push_back(std::stol(run.out.substr(at + 12)));
  }
  ASSERT_EQ(captured.size(), 3u) << run.out;
  EXPECT_GE(captured[1] - captured[0], 350) << run.out;
  EXPECT_GE(captured[2] - captured[0], 750) << run.out;
}

TEST_F(EndToEnd, StreamsToAviMatroskaAndStandardOutput) {
  Result run = Zarncap("stream -o clip.avi --frames 50");
  ASSERT_EQ(run.status, 0) << run.err;
  MovieInfo movie = Probe(folder_ / "clip.avi");
  EXPECT_EQ(movie.frames, 50);
  EXPECT_EQ(movie.width, 320);
  EXPECT_EQ(movie.height, 240);
  EXPECT_EQ(movie.pixelFormat, AV_PIX_FMT_BGR24);
  EXPECT_NE(run.out.find("50 frames written"), std::string::npos) << run.out;

  run = Zarncap("stream -o clip.mkv --frames 10 --format i420 --size 160x120");
  ASSERT_EQ(run.status, 0) << run.err;
  movie = Probe(folder_ / "clip.mkv");
  EXPECT_EQ(movie.frames, 10);
  EXPECT_EQ(movie.pixelFormat, AV_PIX_FMT_YUV420P);

  run = Zarncap("stream -o - --frames 20", "cat");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("YUV4MPEG2 W320 H240 ", 0), 0u);
  size_t frames = 0;
  for (size_t at = run.out.find("FRAME\n"); at != std::string::npos; at = run.out.find("FRAME\n", at + 6 + 115200)) ++frames;
  EXPECT_EQ(frames, 20u);
  EXPECT_NE(run.err.find("20 frames written to standard output"), std::string::npos) << run.err;
}

TEST_F(EndToEnd, NoCameraAndRefusedFormatsAreClearErrors) {
  for (const std::string camera : {"none", "sim:port=none"}) {
    const Result run = Zarncap("--camera " + camera + " capture -o x.png");
    EXPECT_EQ(run.status, 1) << camera;
    EXPECT_EQ(run.err.rfind("zarncap: error: no camera found", 0), 0u) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder_ / "x.png"));
  }
  // A size the format never comes in is a usage error, told before the open.
  const Result run = Zarncap("capture -o x.png --format yuy2 --size 640x480");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("the driver refused yuy2 640x480"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("yuy2 80..160/8 x 60..120/4; 176 x 144"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("rgb24"), std::string::npos) << run.err;  // the format asked for, not every one

  const Result formats = Zarncap("formats");
  ASSERT_EQ(formats.status, 0) << formats.err;
  EXPECT_NE(formats.out.find("  yvu9   80..160/8 x 60..120/4; 176 x 144\n"), std::string::npos) << formats.out;

  // A scene picture that cannot be read is an error naming it.
  const Result scene = Zarncap("--camera sim:scene=file:/no/such/picture.png capture -o y.png");
  EXPECT_EQ(scene.status, 1);
  EXPECT_NE(scene.err.find("/no/such/picture.png"), std::string::npos) << scene.err;
  EXPECT_FALSE(std::filesystem::exists(folder_ / "y.png"));
}

TEST_F(EndToEnd, TracePrintsTheDriversTraceAndKeepsTheUsersDebugLevel) {
  const std::string ini = folder_ / "mine.ini";
  tooltest::WriteText(ini, "[ZARNCAP]\nDebugLevel=2\n");
  const Result run = Zarncap("--trace --ini " + ini + " capture -o t.png --frames 2 --size 160x120");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("trace: "), std::string::npos) << run.err;
  const std::string after = ReadText(ini);
  EXPECT_EQ(zarncap::ReadDebugLevel(after), 2u);
  EXPECT_NE(after.find("LPT_Port="), std::string::npos) << after;
  EXPECT_NE(after.find("[NUBO]"), std::string::npos) << after;

  const Result quiet = Zarncap("--ini " + ini + " capture -o q.png --frames 1 --size 160x120");
  ASSERT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.err.find("trace: "), std::string::npos) << quiet.err;
}

TEST_F(EndToEnd, DefectMapGetsTheDriversAnswer) {
  tooltest::WriteText(folder_ / "map.bin", std::string(480, '\0'));
  const Result run = Zarncap("defects --store map.bin");
  if (run.status == 0) {
    EXPECT_NE(run.out.find("answer 0"), std::string::npos) << run.out;
  } else {
    EXPECT_NE(run.err.find("answer 1003"), std::string::npos) << run.err;
  }
  tooltest::WriteText(folder_ / "short.bin", std::string(479, '\0'));
  EXPECT_NE(Zarncap("defects --store short.bin").err.find("exactly 480 bytes"), std::string::npos);
}

// SIGTERM ends a long command as Ctrl-C does, keeping what it wrote, with the
// status a shell expects of each: 143 and 130.
TEST_F(EndToEnd, SignalsEndALongCommandWithTheirStatus) {
  for (const auto& [signal, expected] : {std::pair<std::string, int>{"TERM", 143}, {"INT", 130}}) {
    const std::string clip = "clip-" + signal + ".avi", status = folder_ / ("status-" + signal);
    const std::string command = "cd " + folder_.Path().string() + " && (ZARNCAP_DRIVER=" + ZARNCAP_TEST_DRIVER +
                                " ZARNCAP_CONFIG_DIR=" + (folder_ / "config") + " " + ZARNCAP_TEST_CLI +
                                " stream -o " + clip + " --seconds 60 >/dev/null 2>&1 & pid=$!; sleep 6; kill -" +
                                signal + " $pid; wait $pid; echo $? >" + status + ")";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadText(status), std::to_string(expected) + "\n") << signal;
    EXPECT_GT(ReadBytes(folder_ / clip).size(), 1000u) << signal << ": the frames written are kept";
  }
}

// A reader that closes the pipe early ends the stream quietly: status 0 and
// nothing on the error stream.
TEST_F(EndToEnd, AReaderThatLeavesEndsTheStreamQuietly) {
  const std::string status = folder_ / "status", err = folder_ / "stderr";
  const std::string command = "cd " + folder_.Path().string() + " && (ZARNCAP_DRIVER=" + ZARNCAP_TEST_DRIVER +
                              " ZARNCAP_CONFIG_DIR=" + (folder_ / "config") + " " + ZARNCAP_TEST_CLI +
                              " stream -o - --seconds 20 --format i420 2>" + err + "; echo $? >" + status +
                              ") | head -c 1000 >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadText(status), "0\n");
  // Nothing about the pipe; on a loaded machine the camera may fall short of
  // its rate, which is worth its own warning.
  std::string said = ReadText(err);
  const std::string rateWarning = "zarncap: warning: the camera delivers ";
  if (said.rfind(rateWarning, 0) == 0) said.erase(0, said.find('\n') + 1);
  EXPECT_EQ(said, "");
}

// Every zarncap line of the README's usage block runs as written (with a
// defect map of one stuck pixel in map.bin, which the example stores).
TEST_F(EndToEnd, EveryReadmeExampleRuns) {
  std::string map(480, '\0');
  map[0] = 1;
  map[1] = static_cast<char>((388 * 20 + 101) & 0xFF);
  map[2] = static_cast<char>((388 * 20 + 101) >> 8);
  tooltest::WriteText(folder_ / "map.bin", map);
  std::istringstream readme(ReadText(ZARNCAP_README));
  int examples = 0;
  bool inUsage = false, inBlock = false;
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("## ", 0) == 0) inUsage = line.find("Using `zarncap`") != std::string::npos;
    if (inUsage && line.rfind("```", 0) == 0) {
      inBlock = !inBlock;
      continue;
    }
    if (!inUsage || !inBlock || line.rfind("zarncap ", 0) != 0) continue;
    std::string command = line.substr(std::string("zarncap ").size());
    // A preview serves until Ctrl-C: the browser test runs it.
    if (command.rfind("preview", 0) == 0) continue;
    const size_t comment = command.find("  #");
    if (comment != std::string::npos) command = command.substr(0, comment);
    while (!command.empty() && command.back() == ' ') command.pop_back();
    // A pipe's second half runs as the shell would run it; ffmpeg quietly.
    std::string pipeTo;
    if (const size_t bar = command.find(" | "); bar != std::string::npos) {
      pipeTo = command.substr(bar + 3);
      command = command.substr(0, bar);
      if (pipeTo.rfind("ffmpeg ", 0) == 0) pipeTo = "ffmpeg -y -loglevel error " + pipeTo.substr(7);
    }
    const Result run = Zarncap(command, pipeTo);
    EXPECT_EQ(run.status, 0) << line << "\n" << run.err;
    ++examples;
  }
  EXPECT_GE(examples, 8);
  for (const char* file : {"still.png", "still.bmp", "frame.yuv", "still.jpg", "piped.jpg", "shot-0005.jpg", "clip.avi",
                           "clip.mp4", "clip.mkv", "out.mp4", "bars.png"}) {
    EXPECT_TRUE(std::filesystem::exists(folder_ / file)) << file;
  }
}

}  // namespace
