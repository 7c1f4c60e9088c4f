// Recording the port traffic and answering it back, as a user does it: the
// built zarncap and driver library on the virtual camera. A replay run starts
// from fresh settings, as the recorded run did, and must deliver the recorded
// frames byte for byte; a run that asks something else stops at the first
// request that differs.
#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include "tools/tool_test_util.h"

namespace {

using tooltest::CliRun;
using tooltest::ReadBytes;
using tooltest::ReadText;
using tooltest::ScratchFolder;

class PortRecordingRun : public ::testing::Test {
 protected:
  // zarncap with its own fresh settings folder `settings`.
  CliRun Zarncap(const std::string& args, const std::string& settings) {
    return tooltest::RunBuiltZarncap(folder_, args, "", "ZARNCAP_CONFIG_DIR=" + (folder_ / settings));
  }
  // A y4m movie's frames without its header (which names the measured rate).
  std::string Frames(const std::string& name) {
    const std::string movie = ReadText(folder_ / name);
    return movie.substr(movie.find("FRAME"));
  }
  bool HaveTshark() { return std::system("command -v tshark >/dev/null 2>&1") == 0; }

  ScratchFolder folder_;
};

TEST_F(PortRecordingRun, AReplayDeliversTheRecordedFramesByteForByte) {
  struct Case {
    const char* command;
    const char* output;
  };
  const Case cases[] = {{"capture --size 160x120 --frames 3 -o {}.bmp", "bmp"},
                        {"stream --size 160x120 --frames 30 -o {}.y4m", "y4m"}};
  for (const Case& c : cases) {
    auto command = [&](const std::string& name) {
      std::string text = c.command;
      return text.replace(text.find("{}"), 2, name);
    };
    const std::string recorded = std::string("recorded.") + c.output, replayed = std::string("replayed.") + c.output;
    const CliRun record = Zarncap("--record run.pcapng " + command("recorded"), std::string("a-") + c.output);
    ASSERT_EQ(record.status, 0) << record.err;
    const CliRun replay = Zarncap("--camera replay:run.pcapng " + command("replayed"), std::string("b-") + c.output);
    ASSERT_EQ(replay.status, 0) << replay.err;
    if (std::string(c.output) == "y4m") {
      EXPECT_EQ(Frames(recorded), Frames(replayed)) << c.command;
    } else {
      EXPECT_EQ(ReadBytes(folder_ / recorded), ReadBytes(folder_ / replayed)) << c.command;
    }
    EXPECT_EQ(replay.err.find("replay:"), std::string::npos) << replay.err;
  }
}

TEST_F(PortRecordingRun, TsharkListsEveryRequestInWords) {
  if (!HaveTshark()) GTEST_SKIP() << "no tshark (Debian package tshark)";
  ASSERT_EQ(Zarncap("--record run.pcapng capture --size 80x60 --frames 1 -o x.bmp", "a").status, 0);
  const std::string list = folder_ / "list";
  ASSERT_EQ(std::system(("tshark -r " + (folder_ / "run.pcapng") + " -T fields -e frame.comment >" + list +
                         " 2>/dev/null").c_str()),
            0);
  const std::string words = ReadText(list);
  EXPECT_EQ(words.substr(0, words.find('\n')), "ATTACH 1 -> 1");
  EXPECT_NE(words.find("\nCLAIM -> 1\n"), std::string::npos);
  EXPECT_THAT(words, ::testing::ContainsRegex("\nECP_READ_FRAME(_VAR)? [0-9]+ -> 1"));
  EXPECT_NE(words.find("\nRELEASE -> 1\n"), std::string::npos);
}

TEST_F(PortRecordingRun, ADifferentRequestStopsTheReplayAndTheDriverFailsAsUsual) {
  ASSERT_EQ(Zarncap("--record run.pcapng capture --size 160x120 --frames 1 -o x.bmp", "a").status, 0);
  // Asking for LPT2 first makes the very first request differ.
  const CliRun replay = Zarncap("--camera replay:run.pcapng --port LPT2 capture --size 160x120 --frames 1 -o y.bmp", "b");
  EXPECT_EQ(replay.status, 1);
  EXPECT_NE(replay.err.find("replay: request 1 differs: recorded ATTACH 1; asked ATTACH 2\n"), std::string::npos)
      << replay.err;
  // Later: a different size changes a camera command block.
  const CliRun later = Zarncap("--camera replay:run.pcapng capture --size 176x144 --frames 1 -o z.bmp", "c");
  EXPECT_EQ(later.status, 1);
  EXPECT_THAT(later.err, ::testing::ContainsRegex("replay: request [0-9]+ differs: recorded [A-Z_]+ [0-9,]+; "
                                                 "asked [A-Z_]+ [0-9,]+"));
}

TEST_F(PortRecordingRun, AFileThatIsNoRecordingIsAUsageErrorBeforeTheDriverOpens) {
  ASSERT_EQ(Zarncap("--record run.pcapng capture --size 80x60 --frames 1 -o x.bmp", "a").status, 0);
  const std::string whole = ReadText(folder_ / "run.pcapng");
  tooltest::WriteText(folder_ / "cut.pcapng", whole.substr(0, whole.size() / 2));
  const std::pair<const char*, const char*> cases[] = {
      {"replay:cut.pcapng", "replay: cut.pcapng: truncated block at byte"},
      {"replay:x.bmp", "replay: x.bmp: not a pcapng file"},
      {"replay:missing.pcapng", "replay: missing.pcapng: cannot read it"},
      {"replay:", "name the recording"}};
  for (const auto& [camera, reason] : cases) {
    const CliRun run = Zarncap(std::string("--camera ") + camera + " capture -o y.bmp", "b");
    EXPECT_EQ(run.status, 2) << camera;
    EXPECT_NE(run.err.find(reason), std::string::npos) << camera << ": " << run.err;
  }
}

// A recording kept with the sources: the driver must go on asking what it
// asked when it was made, and make the same picture of the same bytes. After
// a deliberate change to the driver's port traffic, record it again:
//   zarncap --record capture-80x60.pcapng capture -o capture-80x60.bmp --size 80x60 --frames 1
// with a fresh settings folder, and gzip -9n the recording. After a
// deliberate change to the picture made of the same bytes (defect repair,
// colour), keep the recording and write the picture again by replaying it:
//   zarncap --camera replay:capture-80x60.pcapng capture -o capture-80x60.bmp --size 80x60 --frames 1
TEST_F(PortRecordingRun, TheKeptRecordingStillReplaysToItsPicture) {
  const std::string fixtures = std::string(ZARNCAP_TEST_FIXTURES);
  ASSERT_EQ(std::system(("gzip -dc " + fixtures + "/capture-80x60.pcapng.gz >" + (folder_ / "kept.pcapng")).c_str()), 0);
  const CliRun replay = Zarncap("--camera replay:kept.pcapng capture -o replayed.bmp --size 80x60 --frames 1", "a");
  ASSERT_EQ(replay.status, 0) << replay.err;
  EXPECT_EQ(ReadBytes(folder_ / "replayed.bmp"), ReadBytes(fixtures + "/capture-80x60.bmp"));
}

}  // namespace
