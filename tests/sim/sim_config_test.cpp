// ZARNCAP_CAMERA=sim option parsing: every key, the defaults, and the errors
// for bad values, unknown and repeated keys.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "port/port_records.h"
#include "sim/sim_config.h"

namespace {

using sim::ParseSimConfig;
using sim::PortCapability;
using sim::SceneKind;
using sim::SimConfig;

SimConfig Parse(const std::string& options) {
  SimConfig config;
  std::string error;
  EXPECT_TRUE(ParseSimConfig(options, &config, &error)) << options << ": " << error;
  return config;
}

std::string Error(const std::string& options) {
  SimConfig config;
  config.port = 2;
  std::string error;
  EXPECT_FALSE(ParseSimConfig(options, &config, &error)) << options;
  EXPECT_EQ(config.port, 2) << "a failed parse leaves the config alone: " << options;
  return error;
}

TEST(SimConfig, EmptyOptionsGiveTheDefaults) {
  SimConfig config = Parse("");
  EXPECT_EQ(config.port, 1);
  EXPECT_EQ(config.mode, PortCapability::Ecp);
  EXPECT_EQ(config.id, sim::kDefaultDeviceId);
  EXPECT_TRUE(config.fail.empty());
  EXPECT_EQ(config.sensor, 0);
  EXPECT_EQ(config.eepromBits, 1024);
  EXPECT_EQ(config.defects, 8);
  EXPECT_EQ(config.periodMs, 66);
  EXPECT_EQ(config.scene, SceneKind::Chart);
  EXPECT_EQ(config.dark, 16);
  EXPECT_EQ(config.transferLimit, 0x20000u);
  EXPECT_FALSE(config.nackSensor || config.nackEeprom || config.badsum || config.notready);
  EXPECT_EQ(config.unplugAfterFrames, sim::kNeverUnplug);
  EXPECT_TRUE(config.dumpDir.empty());
}

TEST(SimConfig, EveryKeyIsRead) {
  SimConfig config = Parse(
      "port=3,mode=byte-unreliable,id=MFG:X;MDL:Y;,fail=poll@3,fail=frame_begin,sensor=1,eeprom=4096,"
      "defects=160,period=100,scene=flat:10,20,30,noise=2.5,dark=0,transfer=32k,nack=sensor,nack=eeprom,"
      "badsum,notready,unplug=5,dump=/tmp/frames");
  EXPECT_EQ(config.port, 3);
  EXPECT_EQ(config.mode, PortCapability::ByteUnreliable);
  EXPECT_EQ(config.id, "MFG:X;MDL:Y;");
  ASSERT_EQ(config.fail.size(), 2u);
  EXPECT_EQ(config.fail[0].code, IOCTL_PORT_POLL);
  EXPECT_EQ(config.fail[0].nth, 3u);
  EXPECT_EQ(config.fail[1].code, IOCTL_PORT_FRAME_BEGIN);
  EXPECT_EQ(config.fail[1].nth, 0u);
  EXPECT_EQ(config.sensor, 1);
  EXPECT_EQ(config.eepromBits, 4096);
  EXPECT_EQ(config.defects, 160);
  EXPECT_EQ(config.periodMs, 100);
  EXPECT_EQ(config.scene, SceneKind::Flat);
  EXPECT_EQ(config.flatRgb[0], 10);
  EXPECT_EQ(config.flatRgb[1], 20);
  EXPECT_EQ(config.flatRgb[2], 30);
  EXPECT_DOUBLE_EQ(config.noise, 2.5);
  EXPECT_EQ(config.dark, 0);
  EXPECT_EQ(config.transferLimit, 0x8000u);
  EXPECT_TRUE(config.nackSensor);
  EXPECT_TRUE(config.nackEeprom);
  EXPECT_TRUE(config.badsum);
  EXPECT_TRUE(config.notready);
  EXPECT_EQ(config.unplugAfterFrames, 5);
  EXPECT_EQ(config.dumpDir, "/tmp/frames");
}

TEST(SimConfig, ValueForms) {
  EXPECT_EQ(Parse("port=none").port, sim::kNoPort);
  EXPECT_EQ(Parse("mode=nibble").mode, PortCapability::Nibble);
  EXPECT_EQ(Parse("mode=byte").mode, PortCapability::Byte);
  EXPECT_EQ(Parse("id=").id, "");
  EXPECT_EQ(Parse("defects=none").defects, sim::kNoDefectMap);
  EXPECT_EQ(Parse("eeprom=0").eepromBits, 0);
  EXPECT_EQ(Parse("scene=ramp").scene, SceneKind::Ramp);
  EXPECT_EQ(Parse("scene=moving").scene, SceneKind::Moving);
  SimConfig file = Parse("scene=file:pictures/chart.png, port=2");
  EXPECT_EQ(file.scene, SceneKind::File);
  EXPECT_EQ(file.sceneFile, "pictures/chart.png");
  EXPECT_EQ(file.port, 2);
  EXPECT_EQ(Parse("fail=nibble-read-frame-var").fail.at(0).code, IOCTL_PORT_NIBBLE_READ_FRAME_VAR);
  EXPECT_EQ(Parse("transfer=128k").transferLimit, 0x20000u);
}

TEST(SimConfig, EveryRequestHasItsFailName) {
  for (const PortRequest& request : kPortRequests) {
    const char* name = sim::RequestShortName(request.code);
    ASSERT_NE(name, nullptr);
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ("IOCTL_PORT_" + upper, request.name);
    EXPECT_EQ(Parse("fail=" + std::string(name) + "@2").fail.at(0).code, request.code);
  }
  EXPECT_STREQ(sim::RequestShortName(IOCTL_PORT_OUT_A), "out_a");
  EXPECT_STREQ(sim::RequestShortName(IOCTL_PORT_ECP_READ_FRAME_VAR), "ecp_read_frame_var");
  EXPECT_EQ(sim::RequestShortName(0x001D20A4), nullptr);
}

TEST(SimConfig, BadInputIsAnErrorNamingTheKey) {
  struct Case {
    const char* options;
    const char* mentions;
  } cases[] = {
      {"colour=red", "\"colour\""},
      {"port=4", "\"port\""},
      {"port=0", "\"port\""},
      {"port=", "\"port\""},
      {"port", "\"port\""},
      {"port=1,port=2", "more than once"},
      {"mode=ppp", "\"mode\""},
      {"fail=explode", "\"fail\""},
      {"fail=poll@0", "\"fail\""},
      {"fail=poll@x", "\"fail\""},
      {"sensor=2", "\"sensor\""},
      {"eeprom=2048", "\"eeprom\""},
      {"defects=161", "\"defects\""},
      {"defects=-1", "\"defects\""},
      {"period=0", "\"period\""},
      {"period=66ms", "\"period\""},
      {"scene=flat:1,2", "\"scene\""},
      {"scene=flat:1,2,256", "\"scene\""},
      {"scene=flat:1,2,3,4", "\"scene\""},
      {"scene=file:", "\"scene\""},
      {"scene=stripes", "\"scene\""},
      {"noise=-1", "\"noise\""},
      {"noise=nan", "\"noise\""},
      {"dark=300", "\"dark\""},
      {"transfer=64k", "\"transfer\""},
      {"nack=camera", "\"nack\""},
      {"badsum=1", "\"badsum\""},
      {"unplug=-2", "\"unplug\""},
      {"dump=", "\"dump\""},
      {"port=1,bogus", "\"port\""},
  };
  for (const Case& c : cases) {
    std::string error = Error(c.options);
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.options << " -> " << error;
  }
  EXPECT_NE(Error("colour=red").find("known keys"), std::string::npos);
}

}  // namespace
