// Still pictures as users ask for them: the kind by name or --type, JPEG at a
// chosen quality, a picture on standard output, a series with one driver open,
// names with a number and time fields, and files that are never replaced when
// --no-clobber says so.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
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
  const CliRun run = Capture({"--frames", "3", "--count", "3", "--interval", "0.05", "-o", folder_ / "shot-%03n.png"});
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

// A time-only name coarser than the interval repeats within the series: the
// run stops at the first repeat, before it overwrites anything, and says why.
TEST_F(StillsTest, ANameThatRepeatsWithinASeriesStopsIt) {
  const CliRun run = Capture({"--frames", "1", "--count", "3", "--interval", "0.01", "-o", folder_ / "ts-%Y.png"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("overwriting an earlier shot"), std::string::npos) << run.err;
  EXPECT_EQ(drivertest::Record().framesDelivered, 2);  // the repeat is caught before it is written
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_TRUE(std::filesystem::exists(folder_ / ("ts-" + std::to_string(1900 + local.tm_year) + ".png")));
}

TEST(ShotNames, NumberAndTimeFields) {
  std::tm noon{};
  noon.tm_year = 126, noon.tm_mon = 11, noon.tm_mday = 8, noon.tm_hour = 12, noon.tm_min = 30, noon.tm_sec = 5;
  noon.tm_isdst = -1;
  const std::time_t when = std::mktime(&noon);
  const std::pair<const char*, const char*> cases[] = {
      {"shot-%04n.png", "shot-0007.png"},  {"%n.jpg", "7.jpg"},
      {"%Y%m%e-%H%M%S.png", "202612 8-123005.png"}, {"100%%-%3n.png", "100%-  7.png"},
      {"plain.png", "plain.png"}, {"img-%Y%m%d-%H%M%S.jpg", "img-20261208-123005.jpg"},  // %d is the day
      {"%Y%m%d-%02n.png", "20261208-07.png"},
  };
  for (auto [pattern, expected] : cases) EXPECT_EQ(zarncap::ShotName(pattern, 7, when), expected) << pattern;
  EXPECT_TRUE(zarncap::NamesEachShot("a-%02n.png"));
  EXPECT_TRUE(zarncap::NamesEachShot("a-%H.png"));
  EXPECT_FALSE(zarncap::NamesEachShot("100%%.png"));
}

}  // namespace
