#include <cstring>
#include <memory>
#include <numeric>

#include "camera/camera_fixture.h"

namespace {

constexpr DWORD Pos(DWORD row, DWORD column) { return row * 388 + column; }

class DefectMapTest : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    std::memset(GetDefectTable().Bytes(), 0, kDefectMapBytes);
  }
  void TearDown() override {
    FreeSensorOps(ops);
    CameraTest::TearDown();
  }
  void Add(int index, int kind, DWORD position) {
    GetDefectTable().entries[index] = DefectEntry::Make(kind, position);
  }
  const CorrectionList& List() { return Camera().correctionList; }
  // A frame whose every byte differs from its neighbours' averages.
  static std::vector<BYTE> Frame(std::size_t size) {
    std::vector<BYTE> frame(size);
    for (std::size_t i = 0; i < size; ++i) frame[i] = static_cast<BYTE>((i * 37 + i / 7) & 0xFF);
    return frame;
  }
  static BYTE Avg(const std::vector<BYTE>& f, long a, long b) {
    return static_cast<BYTE>((f[static_cast<std::size_t>(a)] + f[static_cast<std::size_t>(b)]) / 2);
  }
  // Sets a capture device and kind-0 sensor table up for EEPROM work.
  void OpenWithSensor(int eepromBits) {
    Open();
    fake->eepromBits = eepromBits;
    ops = CreateSensorOpsKind0(0, 0x20);
  }

  SensorOps* ops = nullptr;
};

TEST(DefectEntry, PacksKindAndEighteenBitPosition) {
  DefectEntry entry = DefectEntry::Make(5, 0x2ABCD);
  EXPECT_EQ(entry.bytes[0], 0x85);
  EXPECT_EQ(entry.bytes[1], 0xCD);
  EXPECT_EQ(entry.bytes[2], 0xAB);
  EXPECT_EQ(entry.Kind(), 5);
  EXPECT_EQ(entry.Position(), 0x2ABCDu);
}

TEST_F(DefectMapTest, RawModeMapsSensorPositionsToFrameBytes) {
  Add(0, 1, Pos(20, 100));  // even: moves to column 102
  Add(1, 0, Pos(1, 1));     // empty entry: skipped, later ones still taken
  Add(2, 2, Pos(20, 101));
  ASSERT_TRUE(PrepareDefectCorrection(1, 7, 8, 331, 252));
  ASSERT_EQ(List().count, 2);
  // Sorted by position: column 101 first.
  EXPECT_EQ(List().items[0].x, 43);
  EXPECT_EQ(List().items[0].y, 16);
  EXPECT_EQ(List().items[0].kind, 2);
  EXPECT_EQ(List().items[0].colourClass, 1);
  EXPECT_EQ(List().items[1].x, 205);
  EXPECT_EQ(List().items[1].y, 16);
  EXPECT_EQ(List().items[1].colourClass, 2);
  EXPECT_EQ(List().items[0].flags, 0);

  std::vector<BYTE> frame = Frame(79056);
  const std::vector<BYTE> before = frame;
  CorrectDefects(frame.data(), static_cast<DWORD>(frame.size()));
  const long off = 324 * 16 + 43;
  EXPECT_EQ(frame[off], Avg(before, off - 1, off + 1));
  EXPECT_EQ(frame[324 * 16 + 205], Avg(before, 324 * 16 + 204, 324 * 16 + 206));
  frame[off] = before[off];
  frame[324 * 16 + 205] = before[324 * 16 + 205];
  EXPECT_EQ(frame, before);  // nothing else changed
}

TEST_F(DefectMapTest, YuvModeRepairsLuminanceAndColourDifference) {
  Add(0, 1, Pos(101, 51));
  ASSERT_TRUE(PrepareDefectCorrection(2, 8, 9, 168, 249));
  ASSERT_EQ(List().count, 1);
  EXPECT_EQ(List().items[0].colourClass, 3);
  EXPECT_EQ(List().items[0].x, 17);
  EXPECT_EQ(List().items[0].y, 48);
  EXPECT_EQ(List().items[0].flags, 0);

  std::vector<BYTE> frame = Frame(28800);
  const std::vector<BYTE> before = frame;
  CorrectDefects(frame.data(), static_cast<DWORD>(frame.size()));
  EXPECT_EQ(frame[11537], Avg(before, 11536, 11538));
  EXPECT_EQ(frame[11856], Avg(before, 11376, 11854));
  EXPECT_EQ(frame[11857], Avg(before, 11377, 11855));
  int changed = 0;
  for (std::size_t i = 0; i < frame.size(); ++i) changed += frame[i] != before[i];
  EXPECT_LE(changed, 3);
}

// A class-1 (red) site spoils the luminance of its block as well as its
// colour: both are repaired, the luminance from the blocks either side.
TEST_F(DefectMapTest, YuvModeSkipsClassTwoAndRepairsClassOne) {
  Add(0, 1, Pos(100, 50));  // class 2
  ASSERT_TRUE(PrepareDefectCorrection(2, 8, 9, 168, 249));
  EXPECT_EQ(List().count, 0);

  Add(0, 1, Pos(100, 51));  // class 1: X 17, Y 47
  ASSERT_TRUE(PrepareDefectCorrection(2, 8, 9, 168, 249));
  ASSERT_EQ(List().count, 1);
  EXPECT_EQ(List().items[0].y, 47);
  std::vector<BYTE> frame = Frame(28800);
  const std::vector<BYTE> before = frame;
  CorrectDefects(frame.data(), static_cast<DWORD>(frame.size()));
  const long q = 23 * 480 + 320 + 16;
  EXPECT_EQ(frame[q], Avg(before, q - 480, q - 2));
  EXPECT_EQ(frame[q + 1], Avg(before, q + 1 - 480, q - 1));
  const long luminance = 23 * 480 + 160 + 17;  // frame row 47: the odd row of its pair
  EXPECT_EQ(frame[luminance], Avg(before, luminance - 1, luminance + 1));
}

TEST_F(DefectMapTest, YuvModeKeepsDefectsInsideTheFrameRows) {
  // 160 x 120: the window's 240 sensor rows make 120 frame rows.
  Add(0, 1, Pos(243, 51));  // frame row 119, the last
  Add(1, 1, Pos(245, 51));  // frame row 120: past the frame
  ASSERT_TRUE(PrepareDefectCorrection(2, 8, 9, 168, 249));
  ASSERT_EQ(List().count, 1);
  EXPECT_EQ(List().items[0].y, 119);
  EXPECT_EQ(List().items[0].flags, DEFECT_NO_BELOW);
  std::vector<BYTE> frame = Frame(28800);
  CorrectDefects(frame.data(), static_cast<DWORD>(frame.size()));  // ASan: stays inside
}

TEST_F(DefectMapTest, NeighbouringDefectsAreRepairedFromTheOtherDirection) {
  Add(0, 1, Pos(40, 103));
  Add(1, 1, Pos(40, 101));
  ASSERT_TRUE(PrepareDefectCorrection(1, 7, 8, 331, 252));
  ASSERT_EQ(List().count, 2);
  EXPECT_EQ(List().items[0].flags, DEFECT_NO_RIGHT);
  EXPECT_EQ(List().items[1].flags, DEFECT_NO_LEFT);
  std::vector<BYTE> frame = Frame(79056);
  const std::vector<BYTE> before = frame;
  CorrectDefects(frame.data(), static_cast<DWORD>(frame.size()));
  for (int i = 0; i < 2; ++i) {
    const long off = 324L * List().items[i].y + List().items[i].x;
    EXPECT_EQ(frame[off], Avg(before, off - 648, off + 648));
  }

  // Top rows cannot look up: repaired from the sides.
  std::memset(GetDefectTable().Bytes(), 0, kDefectMapBytes);
  Add(0, 1, Pos(4, 101));
  ASSERT_TRUE(PrepareDefectCorrection(1, 7, 8, 331, 252));
  ASSERT_EQ(List().count, 1);
  EXPECT_EQ(List().items[0].y, 0);
  EXPECT_EQ(List().items[0].flags, DEFECT_NO_ABOVE);
}

TEST_F(DefectMapTest, OneUnrepairableDefectSwitchesRepairOff) {
  Add(0, 1, Pos(30, 101));       // an ordinary defect
  Add(1, 1, Pos(4, 17));         // X 1, Y 0: no left, no above
  Add(2, 1, Pos(4, 19));         // on its right
  Add(3, 1, Pos(6, 17));         // below it
  ASSERT_TRUE(PrepareDefectCorrection(1, 7, 8, 331, 252));
  EXPECT_EQ(List().count, 0);
  std::vector<BYTE> frame = Frame(79056);
  const std::vector<BYTE> before = frame;
  CorrectDefects(frame.data(), static_cast<DWORD>(frame.size()));
  EXPECT_EQ(frame, before);
}

TEST_F(DefectMapTest, RepairNeverLeavesTheBufferOrTheMode) {
  for (int i = 0; i < kDefectMapEntries; ++i) Add(i, 1 + i % 7, static_cast<DWORD>(i * 1663 % 0x3FFFF));
  for (DWORD mode : {0u, 1u, 2u, 3u}) {
    ASSERT_TRUE(PrepareDefectCorrection(mode, 7, 8, 331, 252));
    auto small = std::make_unique<BYTE[]>(100);
    CorrectDefects(small.get(), 100);  // ASan: a short buffer is never overrun
    std::vector<BYTE> frame = Frame(79056);
    CorrectDefects(frame.data(), static_cast<DWORD>(frame.size()));
  }
  ASSERT_TRUE(PrepareDefectCorrection(0, 7, 8, 331, 252));
  EXPECT_EQ(List().count, 0);
}

TEST_F(DefectMapTest, StoredMapLoadsBackFromAFreshImage) {
  OpenWithSensor(4096);
  std::vector<BYTE> map(kDefectMapBytes, 0);
  for (int i = 0; i < 10; ++i) std::memcpy(&map[3 * i], DefectEntry::Make(1 + i % 7, Pos(10 + i, 21)).bytes, 3);
  for (int i = 80; i < 160; ++i) std::memcpy(&map[3 * i], DefectEntry::Make(3, Pos(100 + i, 33)).bytes, 3);
  SetDefectTable(map.data());
  ASSERT_TRUE(StoreDefectMap());
  EXPECT_TRUE(Boxes().empty());
  // The EEPROM holds segment 3 at 0, its checksum at 242, segment 4 at the start of page 2.
  EXPECT_EQ(fake->eeprom[0], 0x53);
  EXPECT_EQ(fake->eeprom[1], 240);
  EXPECT_EQ(fake->eeprom[242], 0x55);
  EXPECT_EQ(fake->eeprom[248], 0x54);
  EXPECT_EQ(fake->eeprom[256], 0x54);
  EXPECT_EQ(fake->eeprom[256 + 242], 0x56);
  EXPECT_EQ(fake->eeprom[32], 0);  // entries 10.. of segment 3 stay zero

  std::memset(GetDefectTable().Bytes(), 0, kDefectMapBytes);
  ClearEEPROMImage();
  fake->sensorWords.clear();
  ASSERT_TRUE(LoadDefectMap(ops, GetDefectTable().Bytes(), kDefectMapEntries));
  EXPECT_EQ(std::memcmp(GetDefectTable().Bytes(), map.data(), kDefectMapBytes), 0);
  // The reads are bracketed by the sensor's EEPROM access words.
  ASSERT_GE(fake->sensorWords.size(), 2u);
  EXPECT_EQ(fake->sensorWords.front(), 0x2000);
  EXPECT_EQ(fake->sensorWords.back(), 0x2400);

  // A short destination gets just its entries.
  std::vector<BYTE> ten(30);
  EXPECT_TRUE(LoadDefectMap(ops, ten.data(), 10));
  EXPECT_EQ(std::memcmp(ten.data(), map.data(), 30), 0);
}

TEST_F(DefectMapTest, BadChecksumFailsTheLoad) {
  OpenWithSensor(4096);
  std::vector<BYTE> map(kDefectMapBytes, 0);
  std::memcpy(&map[0], DefectEntry::Make(1, Pos(50, 51)).bytes, 3);
  SetDefectTable(map.data());
  ASSERT_TRUE(StoreDefectMap());
  fake->eeprom[3] ^= 0x01;
  EXPECT_FALSE(LoadDefectMap(ops, GetDefectTable().Bytes(), kDefectMapEntries));
  fake->eeprom[3] ^= 0x01;
  fake->eeprom[256 + 2 + 239] ^= 0x40;  // segment 4's last data byte
  EXPECT_FALSE(LoadDefectMap(ops, GetDefectTable().Bytes(), kDefectMapEntries));
  fake->eepromBits = 0;
  EXPECT_FALSE(LoadDefectMap(ops, GetDefectTable().Bytes(), kDefectMapEntries));
  EXPECT_EQ(GetDefectTable().entries[0].Kind(), 0);  // zeroed
}

TEST_F(DefectMapTest, CheckFailsWhenEntriesFollowAnEmptyOne) {
  OpenWithSensor(4096);
  std::vector<BYTE> map(kDefectMapBytes, 0);
  for (int i = 0; i < 10; ++i) std::memcpy(&map[3 * i], DefectEntry::Make(1, Pos(10, 2 * i + 1)).bytes, 3);
  std::memcpy(&map[3 * 20], DefectEntry::Make(1, Pos(60, 61)).bytes, 3);  // after the empty entry 10
  SetDefectTable(map.data());
  EXPECT_FALSE(StoreDefectMap());
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);  // shown whatever debugFlags holds
  EXPECT_EQ(boxes[0].text, "EEPROM contents not written correctly");
  EXPECT_EQ(boxes[0].caption, "CheckEEPROMContents()");
  EXPECT_EQ(boxes[0].type, MB_ICONWARNING | 0x1000u);
  // The table keeps the new map even though storing failed.
  EXPECT_EQ(std::memcmp(GetDefectTable().Bytes(), map.data(), kDefectMapBytes), 0);
}

TEST_F(DefectMapTest, SmallEepromHoldsThirtyTwoEntries) {
  OpenWithSensor(1024);
  std::vector<BYTE> map(kDefectMapBytes, 0);
  for (int i = 0; i < 40; ++i) std::memcpy(&map[3 * i], DefectEntry::Make(2, Pos(10 + i, 7)).bytes, 3);
  SetDefectTable(map.data());
  ASSERT_TRUE(StoreDefectMap());  // compares the 96 bytes it could store
  std::vector<BYTE> loaded(kDefectMapBytes, 0xEE);
  ASSERT_TRUE(LoadDefectMap(ops, loaded.data(), kDefectMapEntries));
  EXPECT_EQ(std::memcmp(loaded.data(), map.data(), 96), 0);
  EXPECT_TRUE(std::all_of(loaded.begin() + 96, loaded.end(), [](BYTE b) { return b == 0; }));
}

}  // namespace
