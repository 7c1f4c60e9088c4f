// Settings files in the open string, and --trace's copy: the user's file must
// end up exactly as the same run would leave it without --trace. The driver's
// writes are played by the platform's own settings writer.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/environment.h"
#include "platform/platform.h"
#include "platform/portable/ini_file.h"
#include "tools/tool_test_util.h"
#include "tools/zarncap/host/settings_path.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/trace_settings.h"

namespace zarncap {
namespace {

using tooltest::ReadText;
using tooltest::ScratchFolder;
using tooltest::WriteText;

TEST(OpenString, NamesThatTheDriverCanReadBack) {
  EXPECT_EQ(BuildOpenString("", ""), "vcap");
  EXPECT_EQ(BuildOpenString("lpt2", "/abs/path/my.ini"), "vcap LPT2 /abs/path/my.ini");
  EXPECT_EQ(BuildOpenString("", "my.INI"), "vcap my.INI");
  EXPECT_TRUE(OpenStringProblem("/a/b/zarncap.ini", false).empty());
  EXPECT_NE(OpenStringProblem("/my dir/zarncap.ini", false).find("space"), std::string::npos);
  EXPECT_NE(OpenStringProblem("/a/settings.txt", false).find("ends in .ini"), std::string::npos);
  EXPECT_NE(OpenStringProblem("/a/old.ini.d/x.ini", false).find("before its end"), std::string::npos);
  EXPECT_NE(OpenStringProblem("/home/lpt2/x.ini", false).find("port"), std::string::npos);
  EXPECT_TRUE(OpenStringProblem("/home/lpt2/x.ini", true).empty());  // --port comes first in the string
  EXPECT_TRUE(OpenStringProblem("/home/lpt4/x.ini", false).empty());
  EXPECT_THROW(BuildOpenString("", "/x y/a.ini"), ToolError);
  EXPECT_THROW(BuildOpenString("", "/" + std::string(300, 'a') + ".ini"), ToolError);
}

TEST(OpenString, WhereTheDriverLooksForTheFile) {
  ScratchFolder folder;
  testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", folder.Path().c_str());
  EXPECT_EQ(ResolveSettingsPath(""), folder / "zarncap.ini");
  EXPECT_EQ(ResolveSettingsPath("my.ini"), folder / "my.ini");
  EXPECT_EQ(ResolveSettingsPath("/etc/x.ini"), "/etc/x.ini");
  EXPECT_EQ(ResolveSettingsPath("./sub/x.ini"), (std::filesystem::current_path() / "sub/x.ini").string());
  EXPECT_EQ(OpenStringIniPath("my.ini"), "my.ini");  // the driver resolves a bare name itself
  EXPECT_EQ(OpenStringIniPath("sub/x.ini"), (std::filesystem::current_path() / "sub/x.ini").string());
  EXPECT_EQ(platform::ResolveProfilePath("my.ini"), ResolveSettingsPath("my.ini"));
}

TEST(TraceBit, SetsBit5AndKeepsTheOtherBits) {
  EXPECT_EQ(ReadDebugLevel("[ZARNCAP]\nDebugLevel=5\n"), 5u);
  EXPECT_EQ(ReadDebugLevel("[zarncap]\n debuglevel = \"9\" \n"), 9u);
  EXPECT_EQ(ReadDebugLevel("[NUBO]\nDebugLevel=5\n"), 0u);
  EXPECT_EQ(ReadDebugLevel(EnableTraceBit("[ZARNCAP]\nDebugLevel=5\n").text), 37u);
  EXPECT_EQ(ReadDebugLevel(EnableTraceBit("[ZARNCAP]\nDebugLevel=36\n").text), 36u);
  EXPECT_EQ(ReadDebugLevel(EnableTraceBit("[ZARNCAP]\nDebugLevel=65541\n").text), 37u);  // low 16 bits kept
  EXPECT_EQ(ReadDebugLevel(EnableTraceBit("").text), 32u);
  EXPECT_EQ(ReadDebugLevel(EnableTraceBit("[ZARNCAP]\nLanguage=Deutsch\n").text), 32u);
}

// Plays the driver's writes at the last close (port, capture and colour
// settings, plus a changed key) on a file through the platform writer.
void DriverWrites(const std::string& path) {
  platform::WritePrivateProfileString("ZARNCAP", "LPT_Port", "2", path.c_str());
  platform::WritePrivateProfileString("NUBO", "TemporalDifference", "1", path.c_str());
  platform::WritePrivateProfileString("NUBO", "ImageQuality", "75", path.c_str());
  platform::WritePrivateProfileString("COLSPACE", "Brightness", "50", path.c_str());
}

class TraceCarryBack : public ::testing::TestWithParam<std::string> {};

TEST_P(TraceCarryBack, LeavesTheFileAsARunWithoutTrace) {
  ScratchFolder folder;
  const std::string plain = folder / "plain.ini", traced = folder / "traced.ini";
  const bool exists = GetParam() != "<none>";
  if (exists) {
    WriteText(plain, GetParam());
    WriteText(traced, GetParam());
  }
  DriverWrites(plain);  // the run without --trace

  TraceSettings trace(traced);
  EXPECT_EQ(ReadDebugLevel(ReadText(trace.CopyPath())) & kTraceBit, kTraceBit);
  DriverWrites(trace.CopyPath());  // the same run with --trace
  trace.CarryBack();
  EXPECT_EQ(ReadText(traced), ReadText(plain));
}

INSTANTIATE_TEST_SUITE_P(
    UserFiles, TraceCarryBack,
    ::testing::Values("<none>", "", "[ZARNCAP]\nDebugLevel=4\nLPT_Port=1\n", "[zarncap]\r\ndebuglevel = 36 ; mine\r\n",
                      "; my settings\n[NUBO]\nImageQuality=60\n", "[ZARNCAP]\nLanguage=Deutsch", "[ZARNCAP]\n\n[NUBO]\n",
                      "[COLSPACE]\nGamma=0.6\n[ZARNCAP]\nForce4Bit=1\n\n; end\n"),
    [](const auto& info) { return "File" + std::to_string(info.index); });

TEST(TraceCarryBackFile, UntouchedWhenTheDriverWroteNothing) {
  ScratchFolder folder;
  const std::string user = folder / "user.ini";
  {
    TraceSettings trace(user);
    trace.CarryBack();
  }
  EXPECT_FALSE(std::filesystem::exists(user));  // no file appears from nothing
  WriteText(user, "[ZARNCAP]\nDebugLevel=1\n");
  std::string copyPath;
  {
    TraceSettings trace(user);
    copyPath = trace.CopyPath();
    EXPECT_TRUE(OpenStringProblem(copyPath, false).empty());
    trace.CarryBack();
  }
  EXPECT_EQ(ReadText(user), "[ZARNCAP]\nDebugLevel=1\n");
  EXPECT_FALSE(std::filesystem::exists(copyPath));  // the copy goes away
}

}  // namespace
}  // namespace zarncap
