// zarncap check against the real driver, in process, on the virtual camera:
// every step OK on a sound camera; each fault of the virtual camera fails the
// step it should, with its reason and a fix, and the run ends (a stalled
// camera included); the JSON shape and the exit statuses.
#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include "support/environment.h"
#include "tools/recording_driver.h"
#include "tools/tool_test_util.h"

namespace {

using tooltest::CliRun;
using tooltest::ScratchFolder;

class CheckCommand : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", config_.Path().c_str()); }

  CliRun Check(const std::string& faults, std::vector<std::string> args = {}) {
    drivertest::ResetDriver("sim:period=2,noise=0" + (faults.empty() ? "" : "," + faults));
    zarncap::Host host;
    host.proc = drivertest::RecordingDriverProc;
    host.stallTimeout = std::chrono::milliseconds(500);
    args.insert(args.begin(), "check");
    return tooltest::RunCli(args, host);
  }
  // The line of one step: "check: <name>[ subject] ... <STATUS>...".
  static std::string StepLine(const std::string& out, const std::string& name) {
    const size_t at = out.find("check: " + name + " ");
    return at == std::string::npos ? "" : out.substr(at, out.find('\n', at) - at);
  }

  ScratchFolder config_;
};

TEST_F(CheckCommand, ASoundCameraPassesEveryStep) {
  const CliRun run = Check("");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* step : {"ports", "port", "identity", "mode ECP", "mode bidirectional", "mode 4-bit", "still rgb24",
                           "still i420", "stream", "controls"}) {
    EXPECT_THAT(StepLine(run.out, step), ::testing::ContainsRegex(" \\.\\.\\. OK \\(.+\\)$")) << step;
  }
  EXPECT_EQ(StepLine(run.out, "port").rfind("check: port LPT1 ... OK (ECP port, opened in ", 0), 0u) << run.out;
  EXPECT_NE(StepLine(run.out, "controls").find("your settings file is as it was"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("check: 10 OK, 0 FAIL, 0 SKIP\n"), std::string::npos) << run.out;
}

TEST_F(CheckCommand, EachFaultFailsItsStepWithTheReasonAndAFix) {
  struct Case {
    const char* fault;
    const char* step;
    const char* status;
    const char* reason;
  };
  const Case cases[] = {
      {"port=none", "port", "FAIL", "no camera answered on LPT1, LPT2 or LPT3"},
      {"port=none", "stream", "SKIP", "no camera"},
      {"badsum", "identity", "FAIL", "the defect map in the EEPROM fails its checksum"},
      {"eeprom=0", "identity", "FAIL", "the EEPROM does not answer (OpenEEPROM(): Error reading EEPROM, first page)"},
      {"mode=nibble", "mode bidirectional", "FAIL", "the camera could not be set up in Bidirectional mode"},
      {"mode=nibble", "mode ECP", "SKIP", "offers no ECP"},
      {"mode=nibble", "mode 4-bit", "OK", "5 stills of 160x120"},
      {"stall=2", "mode 4-bit", "FAIL", "the driver delivered no frame 1"},
      {"stall=2", "stream", "FAIL", "the stream stopped after 0 frames"},
  };
  std::string lastFault;
  CliRun run;
  for (const Case& c : cases) {
    if (c.fault != lastFault) run = Check(c.fault);
    lastFault = c.fault;
    EXPECT_EQ(run.status, 1) << c.fault;
    const std::string line = StepLine(run.out, c.step);
    EXPECT_NE(line.find(std::string(" ... ") + c.status), std::string::npos) << c.fault << ": " << line;
    EXPECT_NE(line.find(c.reason), std::string::npos) << c.fault << ": " << line;
    if (std::string(c.status) == "FAIL") {
      EXPECT_NE(line.find("; fix: "), std::string::npos) << line;
    }
  }
}

TEST_F(CheckCommand, JsonHasOneObjectPerStepAndTheCounts) {
  const CliRun run = Check("mode=nibble", {"--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.rfind("{\"camera\": \"sim:period=2,noise=0,mode=nibble\", \"steps\": [", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("{\"name\": \"port\", \"subject\": \"LPT1\", \"status\": \"ok\", \"reason\": \"4 bit port, "),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"status\": \"fail\", \"reason\": \"the camera could not be set up in Bidirectional mode; "
                         "the driver fell back to 4 bit mode\", \"fix\": \"the port cannot read byte-wide"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"ok\": 8, \"fail\": 1, \"skip\": 1, \"report\": null}\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("check: "), std::string::npos) << "no step lines with --json";
}

TEST_F(CheckCommand, ReportArchivesTheReportRecordingTraceSettingsAndStills) {
  ScratchFolder reports;
  const CliRun run = Check("", {"--report", reports.Path().string()});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  ASSERT_EQ(reports.Names().size(), 1u);
  const std::string archive = reports / reports.Names()[0];
  EXPECT_NE(run.out.find("check: report written to " + archive + "\n"), std::string::npos) << run.out;
  const std::string list = reports / "list";
  ASSERT_EQ(std::system(("tar tzf " + archive + " >" + list).c_str()), 0);
  const std::string names = tooltest::ReadText(list);
  for (const char* name : {"report.txt", "report.json", "driver-output.txt", "zarncap.ini", "port-traffic.pcapng",
                           "still-rgb24.png", "still-i420.png"}) {
    EXPECT_NE(names.find(std::string(name) + "\n"), std::string::npos) << name << " in " << names;
  }
}

TEST_F(CheckCommand, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Check("", {"--bogus"}).status, 2);
  EXPECT_EQ(Check("", {"--report"}).status, 2);
  const CliRun badCamera = Check("", {"--camera", "sim:port=9"});
  EXPECT_EQ(badCamera.status, 2);
  EXPECT_EQ(badCamera.out, "") << "no step runs";
}

}  // namespace
