// What a run tells its user when something is off: a mistyped option with the
// nearest right one, a preview port another listener holds, settings that
// could not be kept, white balance a run moved; and what -q leaves out.
// Against the real driver on the virtual camera.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/environment.h"
#include "tools/recording_driver.h"
#include "tools/tool_test_util.h"

namespace {

using drivertest::Record;
using tooltest::CliRun;
using tooltest::ScratchFolder;

CliRun Zarncap(const std::vector<std::string>& args, const std::string& camera = "sim:period=2,noise=0") {
  drivertest::ResetDriver(camera);
  zarncap::Host host;
  host.proc = drivertest::RecordingDriverProc;
  return tooltest::RunCli(args, host);
}

// An environment variable set (or unset) for one test, put back after.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) testsupport::SetEnvironment(name, value);
    else testsupport::UnsetEnvironment(name);
  }
  ~ScopedEnvironment() {
    if (old_) testsupport::SetEnvironment(name_, old_->c_str());
    else testsupport::UnsetEnvironment(name_);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class RunOutcomesTest : public ::testing::Test {
 protected:
  ScratchFolder folder_, config_;
  ScopedEnvironment configDir_{"ZARNCAP_CONFIG_DIR", config_.Path().c_str()};
};

// A mistyped option is a usage error naming the nearest option, found
// before the driver is asked anything.
TEST_F(RunOutcomesTest, OptionTyposNameTheNearestOption) {
  const std::string png = folder_ / "t.png";
  const struct {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"capture", "--szie", "160x120", "-o", png}, "unknown option '--szie' (did you mean '--size'?)"},
      {{"stream", "-o", folder_ / "t.avi", "--frams", "5"}, "unknown option '--frams' (did you mean '--frames'?)"},
      {{"--cammera", "sim", "info"}, "unknown option '--cammera' (did you mean '--camera'?)"},
      {{"capture", "-o", png, "--size=160x120", "--qualty=80"}, "(did you mean '--quality'?)"},
  };
  for (const auto& c : cases) {
    const CliRun run = Zarncap(c.args);
    EXPECT_EQ(run.status, 2) << c.said;
    EXPECT_EQ(run.err.rfind("zarncap: error: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_TRUE(Record().messages.empty()) << c.said;
  }
  EXPECT_TRUE(folder_.Names().empty());
}

// A second preview on a port another program listens on is an error naming
// the port, even when that listener allows port sharing (as cpp-httplib's
// default socket options do, and so an older zarncap preview), and it is
// told before the driver opens.
TEST_F(RunOutcomesTest, APreviewPortInUseIsAnError) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  int yes = 1;
  ASSERT_EQ(::setsockopt(listener, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes), 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string port = std::to_string(ntohs(address.sin_port));

  const CliRun run = Zarncap({"preview", "--listen", "127.0.0.1:" + port});
  ::close(listener);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("cannot listen on 127.0.0.1:" + port), std::string::npos) << run.err;
  EXPECT_TRUE(Record().messages.empty());
}

// A control set whose settings file cannot be written is an error naming the
// file (the driver would lose the value silently), and a missing home folder
// is never made to hold one.
TEST_F(RunOutcomesTest, ASetThatCannotBeSavedIsAnError) {
  tooltest::WriteText(folder_ / "plain-file", "not a folder\n");
  const std::string home = folder_ / "no-such-home";
  const struct {
    std::string configDir;  // "": unset, so the home folder's .config is used
    std::string settingsFile;
  } cases[] = {
      {folder_ / "plain-file/zarncap", folder_ / "plain-file/zarncap/zarncap.ini"},
      {"", home + "/.config/zarncap/zarncap.ini"},
  };
  for (const auto& c : cases) {
    ScopedEnvironment dir("ZARNCAP_CONFIG_DIR", c.configDir.empty() ? nullptr : c.configDir.c_str());
    ScopedEnvironment xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnvironment homeVariable("HOME", home.c_str());
    const CliRun run = Zarncap({"controls", "--set", "brightness=60"});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.err.find("cannot save the settings in " + c.settingsFile), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  EXPECT_FALSE(std::filesystem::exists(home));
}

// -q leaves out the controls a set shows again; the value is set all the same.
TEST_F(RunOutcomesTest, QuietSetsSayNothing) {
  CliRun run = Zarncap({"-q", "controls", "--set", "brightness=61"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_TRUE(run.err.empty()) << run.err;
  run = Zarncap({"-q", "controls", "--get", "brightness"});
  EXPECT_EQ(run.out, "61\n");
}

// A run that moves the white balance the driver keeps by more than 0.2 says
// so with the way back; a run on a neutral scene says nothing.
TEST_F(RunOutcomesTest, ARunThatMovesTheGainsSaysSo) {
  const std::string yellow = "sim:period=2,noise=0,scene=flat:220,200,90";
  CliRun run = Zarncap({"capture", "-o", folder_ / "y.png", "--frames", "30"}, yellow);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("moved"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("blue 1.0 -> "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("--reset-colour puts the gains back to 1.0"), std::string::npos) << run.out;
  run = Zarncap({"--reset-colour", "capture", "-o", folder_ / "g.png", "--frames", "30"},
                "sim:period=2,noise=0,scene=flat:180,180,180");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find("note:"), std::string::npos) << run.out;
}

// The virtual camera's default scene gives the driver's white balance
// nothing to chase at any size it reads: stills and streams of every window
// leave the gains it saves at 1.0 (within the file's tenth).
TEST_F(RunOutcomesTest, TheDefaultSceneKeepsTheGainsNeutralAtEverySize) {
  const std::vector<std::vector<std::string>> runs = {
      {"capture", "--size", "80x60"},   {"capture", "--size", "240x180"},
      {"capture", "--size", "352x288"}, {"capture", "--size", "320x240"},
      {"stream", "--format", "i420"},   {"stream", "--format", "i420", "--size", "80x60"},
  };
  for (const auto& words : runs) {
    std::vector<std::string> args = {"--reset-colour"};
    args.insert(args.end(), words.begin(), words.end());
    for (const std::string& more : {std::string("--frames"), std::string("60"), std::string("-o")}) args.push_back(more);
    args.push_back(folder_ / (words.front() == "capture" ? "scene.png" : "scene.y4m"));
    const CliRun run = Zarncap(args, "sim:period=2");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string settings = tooltest::ReadText(config_ / "zarncap.ini");
    for (const char* key : {"RedGain=10\n", "GreenGain=10\n", "BlueGain=10\n"}) {
      const std::string eleven = std::string(key).replace(std::string(key).find("10"), 2, "11");
      EXPECT_TRUE(settings.find(key) != std::string::npos || settings.find(eleven) != std::string::npos)
          << words[0] << " " << words.back() << ": " << settings;
    }
  }
}

// A size the format never comes in is a usage error before the driver opens,
// naming the sizes to use in that format; --help gives each format's default.
TEST_F(RunOutcomesTest, SizesTheFormatNeverTakesAreUsageErrors) {
  const struct {
    std::vector<std::string> args;
    std::string sizes;
  } cases[] = {
      {{"capture", "-o", folder_ / "a.png", "--size", "123x45"},
       "sizes to use: 80x60, 128x96, 160x120, 176x144, 200x152, 240x180, 288x216, 320x240, 352x288, 640x480;"},
      {{"stream", "-o", folder_ / "a.y4m", "--format", "i420", "--size", "320x240"},
       "sizes to use: 80x60, 128x96, 160x120, 176x144;"},
      {{"preview", "--format", "rgb16", "--size", "352x288"}, "sizes to use: 80x60, 128x96, 160x120, 176x144, "},
  };
  for (const auto& c : cases) {
    const CliRun run = Zarncap(c.args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find(c.sizes), std::string::npos) << run.err;
    EXPECT_TRUE(Record().messages.empty()) << run.err;
  }
  EXPECT_TRUE(folder_.Names().empty());
  const CliRun help = Zarncap({"capture", "--help"});
  EXPECT_NE(help.out.find("320x240 for rgb24, rgb16; 176x144 for pal8, i420"), std::string::npos) << help.out;
  EXPECT_EQ(help.out.find("WxH=320x240"), std::string::npos) << help.out;
}

// The program `zarncap v4l2` launches reads exactly the standard input its
// caller gave: every byte of a file, the file itself as its descriptor 0, and
// nothing at all from /dev/null (no keystrokes from anywhere else).
TEST_F(RunOutcomesTest, TheLaunchedProgramReadsItsCallersInputAlone) {
  std::string sent = "typed bytes\n";
  for (int byte = 0; byte < 256; ++byte) sent += static_cast<char>(byte);
  tooltest::WriteText(folder_ / "sent.bin", sent);
  const struct {
    std::string input, program, file, expected;
  } cases[] = {
      {"sent.bin", "cat > got.bin", "got.bin", sent},
      {"/dev/null", "cat > none.bin", "none.bin", ""},
      {"sent.bin", "readlink /proc/$$/fd/0 > where.txt", "where.txt", folder_ / "sent.bin\n"},
  };
  for (const auto& c : cases) {
    const CliRun run = tooltest::RunBuiltZarncap(folder_, "-q v4l2 -- sh -c '" + c.program + "' < " + c.input);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(tooltest::ReadText(folder_ / c.file), c.expected) << c.program;
  }
}

}  // namespace
