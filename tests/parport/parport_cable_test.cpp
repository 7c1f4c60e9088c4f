// What reaches the cable, on the port model that behaves as ppdev and
// libieee1284 do: command bytes and the ready poll while the camera holds each
// status line, busy ports, and a user without permission on the ports.
#include <gtest/gtest.h>

#include <algorithm>

#include "parport/model_device.h"
#include "parport/port_survey.h"
#include "parport/port_transfers.h"
#include "platform/portable/testing.h"

namespace {

using port_model::HeldLine;
using port_model::PortModel;
using ParportCableTest = port_model::ModelDeviceTest;

// The kernel's compatibility writer strobes a byte once Busy is low and
// nFault high, whatever PError and Select say, and gives up at once on a
// camera that is not ready and shows nFault low, PError high or Select low.
// Negotiation (and so the poll) needs nFault, Select and PError to come up.
struct HeldLineCase {
  const char* name;
  HeldLine held;
  bool commandTaken;
  bool pollSeesCamera;  // the poll answers with the camera's ready line (else 0)
};

TEST_F(ParportCableTest, CommandBytesAndThePollInEveryModeWhileTheCameraHoldsEachLine) {
  const HeldLineCase lines[] = {
      {"nothing held", HeldLine::None, true, true},
      {"nFault held low", HeldLine::FaultLow, false, false},
      {"Busy held high", HeldLine::BusyHigh, false, true},
      {"PError held high", HeldLine::PaperOutHigh, true, true},
      {"Select held low", HeldLine::SelectLow, true, false},
  };
  constexpr BYTE kStatusCommand = 24;  // the driver's 48, as it goes on the wire
  for (const char* mode : {"mode=ecp", "mode=byte", "mode=nibble"}) {
    for (const HeldLineCase& line : lines) {
      for (const bool ready : {false, true}) {
        SCOPED_TRACE(std::string(mode) + ", " + line.name + (ready ? ", frame ready" : ", no frame"));
        platform::VirtualClock clock(1000);
        platform::SetClockSource(&clock);
        Make(std::string(mode) + ",period=50");
        entry_ = {};
        ASSERT_TRUE(host_->Open(&entry_, 1));
        if (ready) clock.Advance(60);  // the sensor finishes a frame: the camera's ready line comes up
        model_->faults.held = line.held;
        const std::uint64_t start = model_->NowMs();

        EXPECT_EQ(Send(IOCTL_PORT_POLL), line.pollSeesCamera && ready ? 1u : 0u);
        const bool ecp = (entry_.PortFlags & PORT_FLAG_ECP) != 0;
        EXPECT_EQ(ecp, std::string(mode) == "mode=ecp");
        ASSERT_EQ(Send(IOCTL_PORT_NEGOTIATE, PORT_NEGOTIATE_FORWARD), 1u);
        const DWORD taken = Send(ecp ? IOCTL_PORT_ECP_WRITE_CMD : IOCTL_PORT_COMPAT_WRITE_CMD, kStatusCommand);
        EXPECT_EQ(taken != 0, line.commandTaken);
        if (taken != 0) {
          EXPECT_EQ(Send(IOCTL_PORT_TERMINATE), 1u);
        }
        // The byte reached the camera as a command exactly when the request said so.
        const std::vector<std::uint8_t> commands = model_->CommandBytes();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), kStatusCommand), line.commandTaken ? 1 : 0);
        // A refusal comes at once, or at the deadline for a camera that stays busy.
        EXPECT_LE(model_->NowMs() - start, parallel::kNoProgressMs + 200);

        Send(IOCTL_PORT_RELEASE);
        platform::SetClockSource(nullptr);
        EXPECT_EQ(model_->ProtocolErrors(), 0);
        EXPECT_EQ(model_->Hangs(), 0);
        EXPECT_FALSE(model_->AnyOpenOrClaimed());
      }
    }
  }
}

// A port someone else holds: the search refuses when it is the port the
// library's first search would claim, CLAIM refuses on any other, and the
// survey says busy; none of it waits.
TEST(ParportBusyPort, IsRefusedOrListedBusyAndNeverWaitedFor) {
  platform::ClearRecordedMessageBoxes();
  {
    PortModel model("", port_model::TypicalPorts());
    model.faults.holder = "lp";
    model.faults.heldPort = "parport0";
    std::string error;
    EXPECT_EQ(port_model::MakeModelParport("", &error), nullptr);
    EXPECT_NE(error.find("parport0 is busy: lp has it"), std::string::npos) << error;
    const parallel::PortsSurvey survey = parallel::SurveyPorts(PortModel::Calls(), true);
    EXPECT_FALSE(survey.listed);
    EXPECT_NE(survey.listError.find("busy: lp has it"), std::string::npos) << survey.listError;
    EXPECT_EQ(model.Hangs(), 0);
  }
  {
    // The camera on parport1, which a second program holds.
    PortModel model("port=2", port_model::TypicalPorts());
    model.faults.holder = "ppdev1";
    model.faults.heldPort = "parport1";
    std::string error;
    auto device = port_model::MakeModelParport("", &error);
    ASSERT_NE(device, nullptr) << error;
    simtest::DeviceHost host(*device);
    PortEntry entry = {};
    EXPECT_EQ(host.Send(IOCTL_PORT_ATTACH, &entry, 2), 1u);  // opening claims nothing
    EXPECT_EQ(host.Send(IOCTL_PORT_CLAIM, &entry), 0u);
    const auto boxes = platform::RecordedMessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(boxes.back().text.find("parport1 (/dev/parport1) is busy: ppdev1 has it"), std::string::npos)
        << boxes.back().text;
    host.Send(IOCTL_PORT_RELEASE, &entry);
    device.reset();

    const parallel::PortsSurvey survey = parallel::SurveyPorts(PortModel::Calls(), true);
    ASSERT_TRUE(survey.listed);
    ASSERT_GE(survey.ports.size(), 2u);
    EXPECT_TRUE(survey.ports[0].usable);
    EXPECT_FALSE(survey.ports[1].usable);
    EXPECT_NE(survey.ports[1].problem.find("busy: ppdev1 has it"), std::string::npos) << survey.ports[1].problem;
    EXPECT_EQ(model.Hangs(), 0);
    EXPECT_FALSE(model.AnyOpenOrClaimed());
  }
}

// A user outside the 'lp' group: libieee1284's search lists the ports with no
// file name. The device search, a port named by the user and the survey all
// end with the fix.
TEST(ParportPermission, FromThePortSearchOnEveryPathEndsWithTheLpHint) {
  PortModel model("", port_model::TypicalPorts());
  model.faults.noNodeAccess = true;
  const char* const hint = "join the 'lp' group";

  std::string error;
  EXPECT_EQ(port_model::MakeModelParport("", &error), nullptr);
  EXPECT_NE(error.find(hint), std::string::npos) << error;

  platform::ClearRecordedMessageBoxes();
  auto device = port_model::MakeModelParport("/dev/parport0", &error);
  ASSERT_NE(device, nullptr) << error;
  simtest::DeviceHost host(*device);
  PortEntry entry = {};
  EXPECT_EQ(host.Send(IOCTL_PORT_ATTACH, &entry, 1), 0u);
  const auto boxes = platform::RecordedMessageBoxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_NE(boxes.back().text.find(hint), std::string::npos) << boxes.back().text;
  device.reset();

  const parallel::PortsSurvey survey = parallel::SurveyPorts(PortModel::Calls(), true);
  ASSERT_TRUE(survey.listed);
  ASSERT_FALSE(survey.ports.empty());
  EXPECT_EQ(survey.ports[0].access, "no access");
  EXPECT_FALSE(survey.ports[0].usable);
  EXPECT_NE(survey.ports[0].problem.find(hint), std::string::npos) << survey.ports[0].problem;
  EXPECT_EQ(model.Hangs(), 0);
  EXPECT_FALSE(model.AnyOpenOrClaimed());
}

// The survey names what a port lacks: the camera's port without ECP (or
// without byte mode) says why.
TEST(ParportSurvey, SaysWhyAModeGoesUnused) {
  const struct {
    const char* options;
    bool ecpNote;
    bool byteNote;
  } cases[] = {{"mode=ecp", false, false}, {"mode=byte", true, false}, {"mode=nibble", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    PortModel model(c.options, port_model::TypicalPorts());
    const parallel::PortsSurvey survey = parallel::SurveyPorts(PortModel::Calls(), true);
    ASSERT_FALSE(survey.ports.empty());
    const auto& unused = survey.ports[0].unusedModes;
    const auto mentions = [&](const char* text) {
      return std::any_of(unused.begin(), unused.end(),
                         [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    EXPECT_EQ(mentions("FIFO and an interrupt"), c.ecpNote);
    EXPECT_EQ(mentions("PS/2"), c.byteNote);
    EXPECT_EQ(survey.ports[0].deviceId.rfind("MFG:Zarn;", 0), 0u) << survey.ports[0].deviceId;
  }
}

}  // namespace

// The model stands in for libieee1284 over ppdev; these are the behaviours of
// the real pair that the device's design rests on (sources in port_model.cpp).
TEST(ParportModel, BehavesAsTheLibraryOverPpdevDoes) {
  PortModel model("period=10000", port_model::TypicalPorts());
  const parallel::Ieee1284Calls& calls = PortModel::Calls();
  parport_list list = {};
  ASSERT_EQ(calls.findPorts(&list, 0), E1284_OK);
  parport* port = list.portv[0];
  char buffer[2048] = {};

  // ieee1284_get_deviceid(F1284_FRESH) opens the port itself: it reads the ID
  // of a closed port and fails on one already open.
  EXPECT_GT(calls.getDeviceId(port, -1, F1284_FRESH, buffer, sizeof buffer), 2);
  EXPECT_EQ(std::string(buffer + 2).rfind("MFG:Zarn;", 0), 0u);
  ASSERT_EQ(calls.open(port, 0, nullptr), E1284_OK);
  EXPECT_EQ(calls.getDeviceId(port, -1, F1284_FRESH, buffer, sizeof buffer), E1284_INVALIDPORT);
  ASSERT_EQ(calls.claim(port), E1284_OK);

  // A nibble read moves what the camera sends, at most ppdev's 1024 bytes a
  // call; with nothing to send, a non-blocking read gives up and a blocking
  // one would wait for ever.
  ASSERT_EQ(calls.negotiate(port, M1284_NIBBLE | M1284_FLAG_DEVICEID), E1284_OK);
  EXPECT_GT(calls.nibbleRead(port, F1284_NONBLOCK, buffer, sizeof buffer), 0);
  EXPECT_EQ(calls.nibbleRead(port, F1284_NONBLOCK, buffer, sizeof buffer), E1284_TIMEDOUT);
  calls.terminate(port);
  EXPECT_EQ(model.Hangs(), 0);
  calls.release(port);
  calls.close(port);
  ASSERT_EQ(calls.open(port, 0, nullptr), E1284_OK);  // a fresh file: blocking again
  ASSERT_EQ(calls.claim(port), E1284_OK);
  ASSERT_EQ(calls.negotiate(port, M1284_NIBBLE), E1284_OK);
  calls.nibbleRead(port, 0, buffer, 18);
  EXPECT_EQ(model.Hangs(), 1);
  calls.terminate(port);

  // The compatibility writer strobes only for a camera that is ready, and
  // stops at once for one that shows an error on nFault.
  model.faults.held = port_model::HeldLine::FaultLow;
  EXPECT_EQ(calls.compatWrite(port, F1284_NONBLOCK, "\x18", 1), 0);
  model.faults.held = port_model::HeldLine::None;
  EXPECT_EQ(calls.compatWrite(port, F1284_NONBLOCK, "\x18", 1), 1);

  // A claim waits for another holder of the port (here: counted as a hang).
  calls.release(port);
  model.faults.holder = "lp";
  calls.claim(port);
  EXPECT_EQ(model.Hangs(), 2);
  calls.close(port);
  calls.freePorts(&list);
  EXPECT_EQ(model.ProtocolErrors(), 0);
}
