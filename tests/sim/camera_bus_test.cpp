// The virtual camera's serial bus: the sensor (identification per kind,
// register words), the EEPROM (sizes, block addressing, current-address reads,
// write cycles) and the factory defect map it ships with.
#include <gtest/gtest.h>

#include "sim/camera/factory_defects.h"
#include "tests/sim/camera_host.h"

namespace camtest {
namespace {

using sim::SimConfig;

// The identification as the camera layer's probe reads it.
std::array<uint8_t, 4> Identify(CameraHost& host) {
  std::array<uint8_t, 4> b{};
  EXPECT_TRUE(host.BusStart());
  EXPECT_NE(host.BusWrite(0x21), 0);
  for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(host.BusRead(&b[i], i < 3));
  EXPECT_TRUE(host.BusStop());
  return b;
}

TEST_F(CameraTest, SensorIdentificationTellsTheKinds) {
  SimConfig config;
  config.sensor = 0;
  Make(config);
  std::array<uint8_t, 4> kind0 = Identify(*host);
  EXPECT_EQ(kind0[2], 0x10);
  EXPECT_EQ(kind0[2] & 0x0F, 0);
  EXPECT_EQ(Identify(*host), kind0);  // the second pass reads the same

  config.sensor = 1;
  Make(config);
  std::array<uint8_t, 4> kind1 = Identify(*host);
  EXPECT_EQ(kind1[2], 0x13);
  EXPECT_NE(kind1[2] & 0x0F, 0);
}

TEST_F(CameraTest, SensorKeepsRegisterWordsForInspection) {
  Make(SimConfig{});
  ASSERT_TRUE(host->WriteRegister(0x17F2));
  ASSERT_TRUE(host->WriteRegister(0x17F2));
  ASSERT_TRUE(host->WriteRegister(0x5080));
  ASSERT_TRUE(host->WriteRegister(0x802D));
  EXPECT_EQ(camera->Sensor().Register(1), 0x17F2);
  EXPECT_EQ(camera->Sensor().Register(5), 0x5080);
  EXPECT_EQ(camera->Sensor().Register(8), 0x802D);
  EXPECT_EQ(camera->Sensor().WriteLog(), (std::vector<uint16_t>{0x17F2, 0x17F2, 0x5080, 0x802D}));
  // A transaction cut after the high byte leaves nothing behind.
  ASSERT_TRUE(host->BusStart());
  ASSERT_NE(host->BusWrite(0x20), 0);
  ASSERT_NE(host->BusWrite(0x90), 0);
  ASSERT_TRUE(host->BusStop());
  EXPECT_EQ(camera->Sensor().Register(9), 0);
  EXPECT_EQ(camera->Sensor().WriteLog().size(), 4u);
}

TEST_F(CameraTest, BusAcknowledgesOnlyAddressedDevices) {
  Make(SimConfig{});
  // Data before any start, and an address nobody has, are not acknowledged.
  EXPECT_EQ(host->BusWrite(0x20), 0);
  ASSERT_TRUE(host->BusStart());
  EXPECT_EQ(host->BusWrite(0x40), 0);
  EXPECT_EQ(host->BusWrite(0x12), 0);
  uint8_t byte = 0;
  ASSERT_TRUE(host->BusRead(&byte, false));
  EXPECT_EQ(byte, 0xFF);  // nobody drives the line
  ASSERT_TRUE(host->BusStop());
  // Writing in a read transaction is not acknowledged either.
  ASSERT_TRUE(host->BusStart());
  ASSERT_NE(host->BusWrite(0x21), 0);
  EXPECT_EQ(host->BusWrite(0x55), 0);
  ASSERT_TRUE(host->BusStop());
}

TEST_F(CameraTest, SilentSensorAcknowledgesNothingAndReadsOnes) {
  SimConfig config;
  config.nackSensor = true;
  Make(config);
  ASSERT_TRUE(host->BusStart());
  EXPECT_EQ(host->BusWrite(0x21), 0);
  uint8_t byte = 0;
  ASSERT_TRUE(host->BusRead(&byte, true));
  EXPECT_EQ(byte, 0xFF);
  ASSERT_TRUE(host->BusStop());
  EXPECT_FALSE(host->WriteRegister(0x5080));
  // The EEPROM is still there.
  uint8_t first = 0;
  EXPECT_TRUE(host->EepromRead(0, 0, &first));
}

// ---- EEPROM

TEST_F(CameraTest, EepromSizeProbeAnswersPerSize) {
  // The camera layer's probe: block 0 address 42, then block 2 address 150.
  SimConfig config;
  uint8_t byte = 0;
  config.eepromBits = 4096;
  Make(config);
  EXPECT_TRUE(host->EepromRead(0, 42, &byte));
  EXPECT_TRUE(host->EepromRead(2, 150, &byte));
  config.eepromBits = 1024;
  Make(config);
  EXPECT_TRUE(host->EepromRead(0, 42, &byte));
  EXPECT_FALSE(host->EepromRead(2, 150, &byte));
  config.eepromBits = 0;
  Make(config);
  EXPECT_FALSE(host->EepromRead(0, 42, &byte));
  config.eepromBits = 4096;
  config.nackEeprom = true;
  Make(config);
  EXPECT_FALSE(host->EepromRead(0, 42, &byte));
}

TEST_F(CameraTest, EepromReadsFollowTheCurrentAddress) {
  SimConfig config;
  config.eepromBits = 4096;
  Make(config);
  const std::vector<uint8_t>& memory = camera->Eeprom().Contents();
  ASSERT_EQ(memory.size(), 512u);
  // Set the address once, then read on from it, one transaction per byte.
  ASSERT_TRUE(host->BusStart() && host->BusWrite(0xA0) && host->BusWrite(240) && host->BusStop());
  for (size_t i = 0; i < 20; ++i) {
    uint8_t byte = 0;
    ASSERT_TRUE(host->BusStart() && host->BusWrite(0xA1) && host->BusRead(&byte, false) && host->BusStop());
    EXPECT_EQ(byte, memory[240 + i]) << i;  // runs on from block 0 into block 2
  }
  // Block 2 is the second 256 bytes.
  uint8_t byte = 0;
  ASSERT_TRUE(host->EepromRead(2, 5, &byte));
  EXPECT_EQ(byte, memory[261]);
}

TEST_F(CameraTest, EepromWriteCycleIgnoresPollsUntilDone) {
  SimConfig config;
  config.eepromBits = 1024;
  Make(config);
  int polls = -1;
  ASSERT_TRUE(host->EepromWrite(0, 100, 0x5A, &polls));
  EXPECT_EQ(polls, sim::EepromChip::kWriteCyclePolls);
  EXPECT_EQ(camera->Eeprom().Contents()[100], 0x5A);
  EXPECT_EQ(camera->Eeprom().WriteCycles(), 1u);
  uint8_t byte = 0;
  ASSERT_TRUE(host->EepromRead(0, 100, &byte));
  EXPECT_EQ(byte, 0x5A);
  // Setting the address alone starts no write cycle.
  EXPECT_FALSE(camera->Eeprom().Busy());
  EXPECT_EQ(camera->Eeprom().WriteCycles(), 1u);
}

TEST_F(CameraTest, EepromReadDuringWriteCycleIsRefused) {
  SimConfig config;
  config.eepromBits = 4096;
  Make(config);
  ASSERT_TRUE(host->BusStart() && host->BusWrite(0xA2) && host->BusWrite(7) && host->BusWrite(0x99) &&
              host->BusStop());
  EXPECT_TRUE(camera->Eeprom().Busy());
  ASSERT_TRUE(host->BusStart());
  EXPECT_EQ(host->BusWrite(0xA3), 0);
  ASSERT_TRUE(host->BusStop());
  // Time ends the cycle too.
  clock.Advance(sim::EepromChip::kWriteCycleMs);
  uint8_t byte = 0;
  ASSERT_TRUE(host->EepromRead(2, 7, &byte));
  EXPECT_EQ(byte, 0x99);
  EXPECT_EQ(camera->Eeprom().Contents()[256 + 7], 0x99);
}

TEST_F(CameraTest, EepromWriteAbortedByRepeatedStartChangesNothing) {
  SimConfig config;
  config.eepromBits = 1024;
  Make(config);
  uint8_t before = camera->Eeprom().Contents()[10];
  ASSERT_TRUE(host->BusStart() && host->BusWrite(0xA0) && host->BusWrite(10) &&
              host->BusWrite(static_cast<uint8_t>(before ^ 0xFF)));
  ASSERT_TRUE(host->BusStart());
  ASSERT_TRUE(host->BusStop());
  EXPECT_EQ(camera->Eeprom().Contents()[10], before);
  EXPECT_FALSE(camera->Eeprom().Busy());
}

TEST_F(CameraTest, EepromPageWriteRollsOverWithinItsPage) {
  SimConfig config;
  config.eepromBits = 1024;  // 8-byte pages
  Make(config);
  ASSERT_TRUE(host->BusStart() && host->BusWrite(0xA0) && host->BusWrite(14));
  for (uint8_t v = 1; v <= 3; ++v) ASSERT_NE(host->BusWrite(v), 0);
  ASSERT_TRUE(host->BusStop());
  const std::vector<uint8_t>& memory = camera->Eeprom().Contents();
  EXPECT_EQ(memory[14], 1);
  EXPECT_EQ(memory[15], 2);
  EXPECT_EQ(memory[8], 3);  // 16 rolls over to the page's first byte
}

// ---- factory defect map

TEST(CameraFactory, NibbleChecksumWorkedExample) {
  const uint8_t data[] = {0x12, 0xF3};
  uint8_t sum[4];
  sim::NibbleChecksum(data, 2, sum);
  EXPECT_EQ(sum[0], 0x00);
  EXPECT_EQ(sum[1], 0x01);
  EXPECT_EQ(sum[2], 0x05);
  EXPECT_EQ(sum[3], 0x00);
}

// Reads the chain the way the driver does and checks every segment.
void ExpectSegment(const uint8_t* image, size_t offset, uint8_t header, uint8_t length) {
  EXPECT_EQ(image[offset], header) << "at " << offset;
  EXPECT_EQ(image[offset + 1], length) << "at " << offset;
}

std::vector<uint8_t> Entries(const std::vector<sim::FactoryDefect>& defects) {
  std::vector<uint8_t> table;
  for (const sim::FactoryDefect& d : defects) {
    table.push_back(static_cast<uint8_t>(d.kind | ((d.position >> 16) << 6)));
    table.push_back(static_cast<uint8_t>(d.position & 0xFF));
    table.push_back(static_cast<uint8_t>(d.position >> 8));
  }
  return table;
}

TEST(CameraFactory, FourKilobitMapSitsAtTheDriversChainOffsets) {
  std::vector<sim::FactoryDefect> defects = sim::MakeFactoryDefects(100, 7);
  std::vector<uint8_t> memory = sim::BuildFactoryEeprom(4096, true, defects, false);
  ASSERT_EQ(memory.size(), 512u);
  // The driver's image: block 0 at 0, block 2 at 248.
  uint8_t image[512] = {};
  std::memcpy(image, memory.data(), 256);
  std::memcpy(image + 248, memory.data() + 256, 256);
  EXPECT_EQ(std::memcmp(memory.data() + 248, memory.data() + 256, 8), 0);  // the shared eight bytes
  ExpectSegment(image, 0, 0x53, 240);
  ExpectSegment(image, 242, 0x55, 4);
  ExpectSegment(image, 248, 0x54, 240);
  ExpectSegment(image, 490, 0x56, 4);
  std::vector<uint8_t> table = Entries(defects);
  EXPECT_EQ(std::memcmp(image + 2, table.data(), 240), 0);
  EXPECT_EQ(std::memcmp(image + 250, table.data() + 240, 60), 0);
  uint8_t sum[4];
  sim::NibbleChecksum(image + 2, 240, sum);
  EXPECT_EQ(std::memcmp(image + 244, sum, 4), 0);
  sim::NibbleChecksum(image + 250, 240, sum);
  EXPECT_EQ(std::memcmp(image + 492, sum, 4), 0);
}

TEST(CameraFactory, OneKilobitMapHoldsThirtyTwoEntries) {
  std::vector<sim::FactoryDefect> defects = sim::MakeFactoryDefects(40, 7);
  std::vector<uint8_t> memory = sim::BuildFactoryEeprom(1024, true, defects, false);
  ASSERT_EQ(memory.size(), 128u);
  ExpectSegment(memory.data(), 0, 0x53, 96);
  ExpectSegment(memory.data(), 98, 0x55, 4);
  ExpectSegment(memory.data(), 104, 0x54, 96);  // cut off by the end of the part
  std::vector<uint8_t> table = Entries(defects);
  EXPECT_EQ(std::memcmp(memory.data() + 2, table.data(), 96), 0);
  uint8_t sum[4];
  sim::NibbleChecksum(memory.data() + 2, 96, sum);
  EXPECT_EQ(std::memcmp(memory.data() + 100, sum, 4), 0);
}

TEST(CameraFactory, BadChecksumAndErasedPart) {
  std::vector<sim::FactoryDefect> defects = sim::MakeFactoryDefects(8, 7);
  std::vector<uint8_t> good = sim::BuildFactoryEeprom(1024, true, defects, false);
  std::vector<uint8_t> bad = sim::BuildFactoryEeprom(1024, true, defects, true);
  int differing = 0;
  for (size_t i = 0; i < good.size(); ++i) differing += good[i] != bad[i];
  EXPECT_EQ(differing, 1);
  EXPECT_NE(std::memcmp(good.data() + 100, bad.data() + 100, 4), 0);
  std::vector<uint8_t> erased = sim::BuildFactoryEeprom(4096, false, defects, false);
  EXPECT_EQ(erased, std::vector<uint8_t>(512, 0xFF));
  EXPECT_TRUE(sim::BuildFactoryEeprom(0, true, defects, false).empty());
}

TEST(CameraFactory, DefectsAreSpreadSortedAndNeverNeighbours) {
  std::vector<sim::FactoryDefect> defects = sim::MakeFactoryDefects(160, 3);
  ASSERT_EQ(defects.size(), 160u);
  for (size_t i = 0; i < defects.size(); ++i) {
    const sim::FactoryDefect& d = defects[i];
    if (i > 0) {
      EXPECT_LT(defects[i - 1].position, d.position);
    }
    EXPECT_GE(d.kind, 1);
    EXPECT_LE(d.kind, 7);
    EXPECT_EQ(static_cast<int>(d.position / 388), d.row);
    EXPECT_EQ(sim::PhysicalColumn(static_cast<int>(d.position % 388)), d.column);
    for (size_t j = 0; j < i; ++j) {
      // No other defect two sites away in a row or two rows away in a column.
      int dr = std::abs(defects[j].row - d.row), dc = std::abs(defects[j].column - d.column);
      EXPECT_FALSE(dr <= 2 && dc <= 2) << i << " " << j;
    }
  }
  EXPECT_EQ(sim::MakeFactoryDefects(160, 3).front().position, defects.front().position);  // repeatable
}

TEST_F(CameraTest, CameraCarriesItsFactoryMapOnTheBus) {
  SimConfig config;
  config.eepromBits = 4096;
  config.defects = 12;
  Make(config);
  EXPECT_EQ(camera->Defects().size(), 12u);
  std::vector<uint8_t> table = Entries(camera->Defects());
  for (size_t i = 0; i < table.size(); ++i) {
    uint8_t byte = 0;
    ASSERT_TRUE(host->EepromRead(0, static_cast<uint8_t>(2 + i), &byte));
    EXPECT_EQ(byte, table[i]);
  }
  // defects=none: an erased part; defects=0: an empty map.
  config.defects = sim::kNoDefectMap;
  Make(config);
  uint8_t byte = 0;
  ASSERT_TRUE(host->EepromRead(0, 0, &byte));
  EXPECT_EQ(byte, 0xFF);
  config.defects = 0;
  Make(config);
  ASSERT_TRUE(host->EepromRead(0, 0, &byte));
  EXPECT_EQ(byte, 0x53);
  EXPECT_TRUE(camera->Defects().empty());
  // A small EEPROM limits the defects the sensor is shipped with.
  config.eepromBits = 1024;
  config.defects = 50;
  Make(config);
  EXPECT_EQ(camera->Defects().size(), 32u);
}

}  // namespace
}  // namespace camtest
