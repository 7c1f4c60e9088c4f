// Still pictures as users ask for them: the kind by name or --type, JPEG at a
// chosen quality, a picture on standard output, a series with one driver open,
// names with a number and time fields, and files that are never replaced when
// --no-clobber says so.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "support/environment.h"
#include "tools/recording_driver.h"
#include "tools/tool_test_util.h"
#include "tools/zarncap/commands/shot_names.h"

namespace {

using tooltest::CliRun;
using tooltest::ReadBytes;
using tooltest::ScratchFolder;

// "zarncap capture <args>" against the driver on the virtual camera.
CliRun Capture(const std::vector<std::string>& args) {
  std::vector<std::string> words = {"capture"};
  words.insert(words.end(), args.begin(), args.end());
  drivertest::ResetDriver("sim:period=2,noise=0");
  zarncap::Host host;
  host.proc = drivertest::RecordingDriverProc;
  return tooltest::RunCli(words, host);
}

bool StartsWith(const std::string& bytes, const std::string& magic) { return bytes.rfind(magic, 0) == 0; }

const std::string kPng = "\x89PNG\r\n\x1a\n";
const std::string kJpeg = "\xFF\xD8\xFF";

class StillsTest : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", config_.Path().c_str()); }
  ScratchFolder folder_, config_;
};

TEST_F(StillsTest, KindByNameOrTypeAndStandardOutput) {
  struct Case {
    std::vector<std::string> args;  // after "capture --frames 2"
    std::string file;               // "" = standard output
    std::string magic;
  } cases[] = {
      {{"-o", folder_ / "a.jpg"}, "a.jpg", kJpeg},
      {{"-o", folder_ / "b.JPEG", "--quality", "40"}, "b.JPEG", kJpeg},
      {{"-o", folder_ / "c.img", "--type", "png"}, "c.img", kPng},
      {{"-o", "-"}, "", kPng},
      {{"-o", "-", "--type", "jpg"}, "", kJpeg},
      {{"-o", "-", "--type", "bmp"}, "", "BM"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--frames", "2"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = Capture(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = c.file.empty() ? run.out : tooltest::ReadText(folder_ / c.file);
    EXPECT_TRUE(StartsWith(bytes, c.magic)) << c.args[1];
    // The report never mixes into a picture on standard output.
    if (c.file.empty()) {
      EXPECT_NE(run.err.find("wrote standard output"), std::string::npos);
    }
  }
  // Lower quality, smaller file.
  EXPECT_LT(ReadBytes(folder_ / "b.JPEG").size(), ReadBytes(folder_ / "a.jpg").size());
}

TEST_F(StillsTest, ASeriesKeepsOneOpenAndNamesEachShot) {
  const CliRun run = Capture({"--frames", "3", "--count", "3", "--interval", "0.05", "-o", folder_ / "shot-%03d.png"});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* name : {"shot-001.png", "shot-002.png", "shot-003.png"}) {
    EXPECT_TRUE(StartsWith(tooltest::ReadText(folder_ / name), kPng)) << name;
  }
  // Three settling frames for the first shot, one for each later one: the
  // driver stayed open (a new open would settle again).
  EXPECT_EQ(drivertest::Record().framesDelivered, 5);
}

TEST_F(StillsTest, SeriesAndClobberingMistakesAreRefused) {
  tooltest::WriteText(folder_ / "kept.png", "mine");
  struct Case {
    std::vector<std::string> args;
    std::string says;
    int status;
  } cases[] = {
      {{"--count", "2", "-o", folder_ / "same.png"}, "needs a number or time field", 2},
      {{"--count", "2", "-o", "-"}, "needs a number or time field", 2},
      {{"--no-clobber", "-o", folder_ / "kept.png"}, "exists; --no-clobber keeps it", 1},
      {{"--type", "gif", "-o", folder_ / "x.gif"}, "--type", 2},
      {{"--quality", "0", "-o", folder_ / "x.jpg"}, "--quality", 2},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--frames", "1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = Capture(args);
    EXPECT_EQ(run.status, c.status) << c.says;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  EXPECT_EQ(tooltest::ReadText(folder_ / "kept.png"), "mine");
}

TEST(ShotNames, NumberAndTimeFields) {
  std::tm noon{};
  noon.tm_year = 126, noon.tm_mon = 11, noon.tm_mday = 8, noon.tm_hour = 12, noon.tm_min = 30, noon.tm_sec = 5;
  noon.tm_isdst = -1;
  const std::time_t when = std::mktime(&noon);
  const std::pair<const char*, const char*> cases[] = {
      {"shot-%04d.png", "shot-0007.png"},  {"%d.jpg", "7.jpg"},
      {"%Y%m%e-%H%M%S.png", "202612 8-123005.png"}, {"100%%-%3d.png", "100%-  7.png"},
      {"plain.png", "plain.png"},
  };
  for (auto [pattern, expected] : cases) EXPECT_EQ(zarncap::ShotName(pattern, 7, when), expected) << pattern;
  EXPECT_TRUE(zarncap::NamesEachShot("a-%02d.png"));
  EXPECT_TRUE(zarncap::NamesEachShot("a-%H.png"));
  EXPECT_FALSE(zarncap::NamesEachShot("100%%.png"));
}

}  // namespace
