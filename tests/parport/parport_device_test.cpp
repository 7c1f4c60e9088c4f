// The parallel-port device request by request on the model, its options, the
// survey behind `zarncap ports`, and the real libieee1284 on a machine with
// no parallel port.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <glob.h>

#include "parport/model_device.h"
#include "parport/port_search.h"
#include "parport/port_survey.h"

namespace {

using port_model::PortModel;

using ParportDeviceTest = port_model::ModelDeviceTest;

// One request after a set-up sequence, and the reply it must get.
struct RequestCase {
  const char* name;
  std::vector<std::pair<DWORD, BYTE>> before;  // requests sent first (code, value)
  DWORD code;
  BYTE value;
  BYTE option;
  DWORD reply;
};

TEST_F(ParportDeviceTest, RequestsGetTheContractsReplies) {
  const RequestCase cases[] = {
      {"claim before attach", {}, IOCTL_PORT_CLAIM, 0, 0, 0},
      {"attach LPT0", {}, IOCTL_PORT_ATTACH, 0, 0, 0},
      {"attach LPT3 (no third ppdev port)", {}, IOCTL_PORT_ATTACH, 3, 0, 0},
      {"attach LPT2", {}, IOCTL_PORT_ATTACH, 2, 0, 1},
      {"negotiate before claim", {{IOCTL_PORT_ATTACH, 1}}, IOCTL_PORT_NEGOTIATE, 5, 0, 0},
      {"negotiate mode 2", {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}}, IOCTL_PORT_NEGOTIATE, 2, 0, 0},
      {"negotiate nibble ID", {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}}, IOCTL_PORT_NEGOTIATE, 5, 0, 1},
      {"negotiate on a port without camera", {{IOCTL_PORT_ATTACH, 2}, {IOCTL_PORT_CLAIM, 0}}, IOCTL_PORT_NEGOTIATE, 5,
       0, 0},
      {"terminate with no phase", {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}}, IOCTL_PORT_TERMINATE, 0, 0, 0},
      {"terminate after negotiate",
       {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}, {IOCTL_PORT_NEGOTIATE, 1}},
       IOCTL_PORT_TERMINATE, 0, 0, 1},
      {"frame end with no frame",
       {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}, {IOCTL_PORT_NEGOTIATE, 1}},
       IOCTL_PORT_FRAME_END, 0, 0, 0},
      {"frame begin option 1", {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}}, IOCTL_PORT_FRAME_BEGIN, 9, 1, 0},
      {"frame begin mode 12", {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}}, IOCTL_PORT_FRAME_BEGIN, 12, 0, 0},
      {"frame begin with no frame asked", {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}}, IOCTL_PORT_FRAME_BEGIN, 9, 0,
       0},
      {"reverse after nibble negotiation",
       {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}, {IOCTL_PORT_NEGOTIATE, 1}},
       IOCTL_PORT_REVERSE, 0, 0, 0},
      {"reverse after forward negotiation",
       {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}, {IOCTL_PORT_NEGOTIATE, 3}},
       IOCTL_PORT_REVERSE, 0, 0, 1},
      {"compat command in an ECP phase",
       {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}, {IOCTL_PORT_NEGOTIATE, 3}},
       IOCTL_PORT_COMPAT_WRITE_CMD, 8, 0, 0},
      {"ECP command", {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}, {IOCTL_PORT_NEGOTIATE, 3}},
       IOCTL_PORT_ECP_WRITE_CMD, 8, 0, 1},
      {"poll with no frame asked", {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}}, IOCTL_PORT_POLL, 0, 0, 0},
      {"out A", {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}}, IOCTL_PORT_OUT_A, 12, 0, TRUE},
      {"release unclaimed", {}, IOCTL_PORT_RELEASE, 0, 0, FALSE},
      {"release", {{IOCTL_PORT_ATTACH, 1}, {IOCTL_PORT_CLAIM, 0}}, IOCTL_PORT_RELEASE, 0, 0, TRUE},
  };
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(c.name);
    Make("");
    entry_ = {};
    for (const auto& [code, value] : c.before) Send(code, value);
    EXPECT_EQ(Send(c.code, c.value, c.option), c.reply);
    Send(IOCTL_PORT_RELEASE);
    EXPECT_EQ(model_->ProtocolErrors(), 0);
    EXPECT_FALSE(model_->AnyOpenOrClaimed());
  }
}

TEST_F(ParportDeviceTest, MalformedRecordsFailTheCallAndChangeNothing) {
  Make("");
  BYTE record[kPortRecordMaxLength] = {};
  PortRecord fields;
  fields.entry = PortAddressOf(&entry_);
  fields.value = 1;
  const std::size_t length = EncodePortRecord(PortRecordLayout::EB, kPortAddressWidth, fields, record);
  DWORD reply = 7, bytes = 9;
  // One byte short, one too many, no reply buffer, a code outside the set.
  EXPECT_FALSE(device_->Control(IOCTL_PORT_ATTACH, record, static_cast<DWORD>(length - 1), &reply, 4, &bytes));
  EXPECT_FALSE(device_->Control(IOCTL_PORT_ATTACH, record, static_cast<DWORD>(length + 1), &reply, 4, &bytes));
  EXPECT_FALSE(device_->Control(IOCTL_PORT_ATTACH, record, static_cast<DWORD>(length), nullptr, 0, &bytes));
  EXPECT_FALSE(device_->Control(0x001D20A4, record, static_cast<DWORD>(length), &reply, 4, &bytes));
  EXPECT_EQ(reply, 7u);
  EXPECT_EQ(bytes, 0u);
  EXPECT_FALSE(model_->AnyOpenOrClaimed());
}

TEST_F(ParportDeviceTest, ClaimSetsEcpOnlyWhenPortAndCameraBothDoIt) {
  for (const auto& [options, ecp] : {std::pair{"mode=ecp", true}, {"mode=byte", false}, {"mode=nibble", false}}) {
    SCOPED_TRACE(options);
    Make(options);
    entry_ = {};
    entry_.PortFlags = ecp ? 0 : PORT_FLAG_ECP;  // a stale bit is cleared
    ASSERT_TRUE(host_->Open(&entry_, 1));
    EXPECT_EQ((entry_.PortFlags & PORT_FLAG_ECP) != 0, ecp);
    Send(IOCTL_PORT_RELEASE);
  }
}

TEST_F(ParportDeviceTest, OnePortOneClaimant) {
  Make("");
  PortEntry other = {};
  ASSERT_TRUE(host_->Open(&entry_, 1));
  EXPECT_EQ(host_->Send(IOCTL_PORT_ATTACH, &other, 1), 1u);
  EXPECT_EQ(host_->Send(IOCTL_PORT_CLAIM, &other), 0u);
  EXPECT_EQ(host_->Send(IOCTL_PORT_ATTACH, &entry_, 2), 0u);  // bound until released
  Send(IOCTL_PORT_RELEASE);
  EXPECT_EQ(host_->Send(IOCTL_PORT_CLAIM, &other), 1u);
  host_->Send(IOCTL_PORT_RELEASE, &other);
  EXPECT_FALSE(model_->AnyOpenOrClaimed());
}

TEST_F(ParportDeviceTest, TheDeviceGivesEveryPortBackWhenItGoes) {
  Make("");
  ASSERT_TRUE(host_->Open(&entry_, 1));
  Send(IOCTL_PORT_NEGOTIATE, 3);
  device_.reset();
  EXPECT_FALSE(model_->AnyOpenOrClaimed());
  EXPECT_EQ(model_->ProtocolErrors(), 0);
}

TEST_F(ParportDeviceTest, OptionsNameOnePortOrTrace) {
  const struct {
    const char* text;
    bool good;
    const char* port;
    bool trace;
  } cases[] = {
      {"", true, "", false},
      {"parport1", true, "parport1", false},
      {"/dev/parport0", true, "/dev/parport0", false},
      {"0x378", true, "0x378", false},
      {"trace", true, "", true},
      {"parport0,trace", true, "parport0", true},
      {"bogus!", false, "", false},
      {"0x", false, "", false},
      {"parport0,parport1", false, "", false},
      {"trace,", false, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    parallel::ParportOptions parsed;
    std::string error;
    ASSERT_EQ(parallel::ParseParportOptions(c.text, &parsed, &error), c.good) << error;
    if (!c.good) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(parsed.port, c.port);
    EXPECT_EQ(parsed.trace, c.trace);
  }
}

TEST_F(ParportDeviceTest, TheDefaultSearchTakesPpdevPortsOnlyAndANamedPortIsLpt1) {
  model_ = std::make_unique<PortModel>("", port_model::TypicalPorts());
  PortEntry second = {};
  // By name: parport1 answers as LPT1; the camera (on parport0) is not there.
  std::string error;
  device_ = parallel::MakeParportDevice("parport1", &error, PortModel::Calls());
  ASSERT_NE(device_, nullptr) << error;
  simtest::DeviceHost byName(*device_);
  EXPECT_EQ(byName.Send(IOCTL_PORT_ATTACH, &second, 2), 0u);
  ASSERT_TRUE(byName.Open(&second, 1));
  EXPECT_EQ(byName.Send(IOCTL_PORT_NEGOTIATE, &second, 5), 0u);
  byName.Send(IOCTL_PORT_RELEASE, &second);
  // A legacy address only by its address; a name nobody has is an error.
  EXPECT_NE(parallel::MakeParportDevice("0x3bc", &error, PortModel::Calls()), nullptr);
  EXPECT_EQ(parallel::MakeParportDevice("parport7", &error, PortModel::Calls()), nullptr);
  EXPECT_NE(error.find("no parallel port 'parport7'"), std::string::npos) << error;
  model_ = std::make_unique<PortModel>("", std::vector<port_model::ModelPort>{{"0x378", "/dev/port", 0x378}});
  EXPECT_EQ(parallel::MakeParportDevice("", &error, PortModel::Calls()), nullptr);
  EXPECT_NE(error.find("modprobe ppdev"), std::string::npos) << error;
}

TEST_F(ParportDeviceTest, SurveyShowsEachPortWithWhatIsAttached) {
  model_ = std::make_unique<PortModel>("", port_model::TypicalPorts());
  parallel::PortsSurvey survey = parallel::SurveyPorts(PortModel::Calls(), true);
  ASSERT_TRUE(survey.listed);
  ASSERT_EQ(survey.ports.size(), 3u);
  EXPECT_EQ(survey.ports[0].access, "ppdev");
  EXPECT_TRUE(survey.ports[0].usable);
  EXPECT_EQ(survey.ports[0].deviceId.rfind("MFG:Zarn;MDL:ZarnCam PC;", 0), 0u) << survey.ports[0].deviceId;
  EXPECT_TRUE(survey.ports[1].usable);
  EXPECT_TRUE(survey.ports[1].deviceId.empty());
  EXPECT_EQ(survey.ports[2].access, "direct I/O");
  EXPECT_FALSE(survey.ports[2].probed);  // /dev/port is there: the registers are left alone
  EXPECT_FALSE(survey.ports[2].usable);
  EXPECT_FALSE(model_->AnyOpenOrClaimed());

  model_->faults.holder = "lp";
  survey = parallel::SurveyPorts(PortModel::Calls(), true);
  EXPECT_FALSE(survey.ports[0].usable);
  EXPECT_NE(survey.ports[0].problem.find("busy: lp has it"), std::string::npos) << survey.ports[0].problem;
  model_->faults = {};
  model_->faults.openErrno = EACCES;
  survey = parallel::SurveyPorts(PortModel::Calls(), true);
  EXPECT_NE(survey.ports[0].problem.find("'lp' group"), std::string::npos) << survey.ports[0].problem;
}

bool MachineHasPpdevPorts() {
  glob_t found = {};
  const bool any = glob("/dev/parport*", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
  globfree(&found);
  return any;
}

TEST(ParportOnThisMachine, WithoutAParallelPortTheSearchEndsAtOnceAndTheSurveySaysWhy) {
  if (MachineHasPpdevPorts()) GTEST_SKIP() << "this machine has a parallel port";
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  EXPECT_EQ(parallel::MakeParportDevice("", &error, parallel::SystemIeee1284()), nullptr);
  EXPECT_NE(error.find("modprobe ppdev"), std::string::npos) << error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  const parallel::PortsSurvey survey = parallel::SurveyPorts();
  ASSERT_TRUE(survey.listed);
  for (const parallel::PortSurvey& port : survey.ports) {
    SCOPED_TRACE(port.name);
    EXPECT_EQ(port.access, "direct I/O");
    EXPECT_FALSE(port.usable);
    EXPECT_FALSE(port.problem.empty());
  }
}

}  // namespace
