#include <cstring>

#include "camera/camera_fixture.h"

namespace {

using EepromTest = CameraTest;

BYTE* Image() { return EEPROMImage(); }

TEST(NibbleChecksum, SumsHighAndLowNibblesApart) {
  const BYTE data[] = {0x12, 0xF3};
  NibbleSums sums = NibbleChecksum(data, 2);
  EXPECT_EQ(sums.high, 0x0100);
  EXPECT_EQ(sums.low, 0x0005);
  BYTE stored[4];
  EncodeNibbleChecksum(sums, stored);
  EXPECT_EQ(std::vector<BYTE>(stored, stored + 4), (std::vector<BYTE>{0x00, 0x01, 0x05, 0x00}));
}

TEST_F(EepromTest, DefectSegmentsChainAtTheirOffsets) {
  ClearEEPROMImage();
  BYTE data[240] = {};
  for (int i = 0; i < 30; ++i) data[i] = static_cast<BYTE>(i + 1);
  ASSERT_TRUE(PutDefectSegment(3, 30, 240, data));
  ASSERT_TRUE(PutDefectSegment(4, 240, 240, data));
  const std::pair<DWORD, BYTE> headers[] = {{0, 0x53}, {242, 0x55}, {248, 0x54}, {490, 0x56}};
  for (auto [offset, header] : headers) {
    EXPECT_EQ(Image()[offset], header) << offset;
    BYTE id = 0, length = 0;
    EXPECT_TRUE(ParseSegmentHeader(offset, &id, &length));
    EXPECT_EQ(id, header & 0xAF);
  }
  EXPECT_EQ(Image()[1], 240);
  EXPECT_EQ(Image()[243], 4);
  EXPECT_EQ(Image()[2], 1);
  EXPECT_EQ(Image()[31], 30);
  EXPECT_EQ(Image()[32], 0);  // beyond the 30 data bytes: untouched

  BYTE back[240];
  EXPECT_TRUE(GetDefectSegment(3, 240, back));  // zeros add nothing to the checksum
  EXPECT_EQ(std::memcmp(back, data, 240), 0);
  EXPECT_TRUE(GetDefectSegment(4, 240, back));
  EXPECT_FALSE(GetDefectSegment(5, 4, back));  // only 3 and 4 are defect segments
}

TEST_F(EepromTest, CreateSegmentRefusesDuplicatesAndOverflow) {
  ClearEEPROMImage();
  EXPECT_TRUE(CreateSegment(3, 240));
  EXPECT_TRUE(CreateSegment(5, 4));
  EXPECT_EQ(Image()[242], 0x55);
  BYTE before[512];
  std::memcpy(before, Image(), 512);
  EXPECT_FALSE(CreateSegment(3, 10));
  EXPECT_EQ(std::memcmp(before, Image(), 512), 0);
  EXPECT_TRUE(CreateSegment(4, 240));    // 248 .. 489
  EXPECT_FALSE(CreateSegment(6, 20));    // 490 + 22 reaches 512
  EXPECT_TRUE(CreateSegment(6, 19));
  EXPECT_FALSE(WriteSegmentData(6, 20, before));  // more than the segment holds
  EXPECT_FALSE(WriteSegmentData(7, 1, before));   // no such segment
}

TEST_F(EepromTest, ReadsWithoutChecksumOrWithABadOne) {
  ClearEEPROMImage();
  BYTE buffer[8];
  EXPECT_FALSE(GetDefectSegment(3, 8, buffer));  // empty chain
  const BYTE data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(CreateSegment(3, 8));
  ASSERT_TRUE(WriteSegmentData(3, 8, data));
  EXPECT_TRUE(GetDefectSegment(3, 8, buffer));  // no checksum segment: no test

  ClearEEPROMImage();
  ASSERT_TRUE(PutDefectSegment(3, 8, 8, data));
  Image()[2] ^= 0x10;
  EXPECT_FALSE(GetDefectSegment(3, 8, buffer));
  EXPECT_TRUE(Boxes().empty());  // reported only with debugFlags 0x40
  Driver().debugFlags = DEBUG_EEPROM_BOXES;
  EXPECT_FALSE(GetDefectSegment(3, 8, buffer));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Error in EEPROM checksum, first page");
  EXPECT_EQ(boxes[0].caption, "GetDefectSegment()");
  EXPECT_EQ(boxes[0].type, MB_ICONWARNING | 0x1000u);
}

TEST_F(EepromTest, CorruptChainsStayInsideTheImage) {
  ClearEEPROMImage();
  // A length that runs past the image ends the chain.
  Image()[500] = 0x53;
  Image()[501] = 200;
  EXPECT_FALSE(ParseSegmentHeader(500, nullptr, nullptr));
  EXPECT_FALSE(ParseSegmentHeader(511, nullptr, nullptr));
  EXPECT_FALSE(ParseSegmentHeader(4000, nullptr, nullptr));
  // A chain of 255-byte segments walks off the image after two of them.
  ClearEEPROMImage();
  Image()[0] = 0x51;
  Image()[1] = 255;
  Image()[257] = 0x52;
  Image()[258] = 253;
  BYTE buffer[256];
  EXPECT_FALSE(ReadSegmentData(3, 10, buffer));
  EXPECT_FALSE(CreateSegment(3, 10));  // the chain ends at 512
  // A read longer than the segment gets zeros for the bytes it does not hold.
  ClearEEPROMImage();
  const BYTE data[4] = {9, 9, 9, 9};
  ASSERT_TRUE(CreateSegment(3, 4));
  ASSERT_TRUE(WriteSegmentData(3, 4, data));
  std::memset(buffer, 0xEE, sizeof buffer);
  EXPECT_TRUE(ReadSegmentData(3, 10, buffer));
  EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 11), (std::vector<BYTE>{9, 9, 9, 9, 0, 0, 0, 0, 0, 0, 0xEE}));
}

TEST_F(EepromTest, RangeCheckComesBeforeAnyBusTraffic) {
  Open();
  BYTE buffer[16];
  EXPECT_FALSE(EepromReadBytes(0, 500, 13, buffer));
  EXPECT_FALSE(EepromReadBytes(0, 0, 0, buffer));
  EXPECT_FALSE(EepromReadRun(0, 512, 1, buffer));
  EXPECT_FALSE(EepromWriteBytes(0, 511, 2, buffer));
  EXPECT_TRUE(fake->bus.empty());
}

TEST_F(EepromTest, ProbeFindsTheSize) {
  Open();
  for (int bits : {4096, 1024, 0}) {
    fake->eepromBits = bits;
    EXPECT_EQ(ProbeEEPROMSize(), static_cast<DWORD>(bits));
  }
}

TEST_F(EepromTest, ReadRunSetsTheAddressThenReadsOneByteATime) {
  Open();
  fake->eeprom[256 + 150] = 0x5A;
  fake->eeprom[256 + 151] = 0xA5;
  BYTE bytes[2] = {};
  ASSERT_TRUE(EepromReadRun(2, 150, 2, bytes));
  EXPECT_EQ(bytes[0], 0x5A);
  EXPECT_EQ(bytes[1], 0xA5);
  EXPECT_EQ(fake->bus, (std::vector<std::string>{"start", "w A2", "w 96", "stop", "start", "w A3", "r 5A/0", "stop",
                                                  "start", "w A3", "r A5/0", "stop"}));
  // No acknowledge of the address: one final stop, no reads.
  fake->bus.clear();
  fake->eepromAck = false;
  EXPECT_FALSE(EepromReadRun(0, 0, 2, bytes));
  EXPECT_EQ(fake->bus, (std::vector<std::string>{"start", "w A0", "stop"}));
}

TEST_F(EepromTest, WriteWaitsOutTheWriteCycleAtMostAHundredPolls) {
  Open();
  const BYTE data[2] = {0x11, 0x22};
  fake->eepromBusyPolls = 3;
  ASSERT_TRUE(EepromWriteBytes(0, 10, 2, data));
  EXPECT_EQ(fake->eeprom[10], 0x11);
  EXPECT_EQ(fake->eeprom[11], 0x22);
  // First byte: address, data, then 3 refused polls and one acknowledged.
  const std::vector<std::string> first = {"start", "w A0", "w 0A", "w 11", "stop", "start", "w A0", "stop",
                                          "start", "w A0", "stop", "start", "w A0", "stop", "start", "w A0", "stop"};
  EXPECT_TRUE(std::equal(first.begin(), first.end(), fake->bus.begin()));

  fake->bus.clear();
  fake->eepromBusyPolls = 1000;
  EXPECT_FALSE(EepromWriteBytes(0, 10, 2, data));
  const auto polls = std::count(fake->bus.begin(), fake->bus.end(), "w A0") - 1;
  EXPECT_EQ(polls, 100);
  EXPECT_EQ(fake->eepromWrites, 3);  // the second byte was never sent
}

TEST_F(EepromTest, OpenMapsTheSecondPageAtOffset248) {
  Open();
  for (int i = 0; i < 256; ++i) {
    fake->eeprom[static_cast<std::size_t>(i)] = static_cast<BYTE>(i);
    fake->eeprom[static_cast<std::size_t>(256 + i)] = static_cast<BYTE>(255 - i);
  }
  ASSERT_TRUE(OpenEEPROM());
  EXPECT_EQ(Image()[247], 247);
  EXPECT_EQ(Image()[248], 255);  // block 2 overlays the last eight bytes of block 0
  EXPECT_EQ(Image()[503], 0);
  EXPECT_EQ(Image()[504], 0);

  // Saving writes image bytes 248..255 to both pages.
  Image()[250] = 0x77;
  ASSERT_TRUE(SaveEEPROM(1));
  EXPECT_EQ(fake->eeprom[250], 0x77);
  EXPECT_EQ(fake->eeprom[256 + 2], 0x77);
  const int writes = fake->eepromWrites;
  EXPECT_TRUE(SaveEEPROM(0));
  EXPECT_EQ(fake->eepromWrites, writes);
}

TEST_F(EepromTest, OpenReadsOnePageOfASmallEeprom) {
  Open();
  fake->eepromBits = 1024;
  std::memset(fake->eeprom.data(), 0x33, fake->eeprom.size());
  std::memset(Image(), 0xCC, 512);
  ASSERT_TRUE(OpenEEPROM());
  EXPECT_EQ(Image()[127], 0x33);
  for (int i = 128; i < 512; ++i) ASSERT_EQ(Image()[i], 0) << i;
}

TEST_F(EepromTest, ReadErrorsNameTheirPageOnlyWithTheDebugBit) {
  Open();
  fake->eepromBits = 0;
  EXPECT_FALSE(OpenEEPROM());
  EXPECT_TRUE(Boxes().empty());
  Driver().debugFlags = DEBUG_EEPROM_BOXES;
  EXPECT_FALSE(OpenEEPROM());
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Error reading EEPROM, first page");
  EXPECT_EQ(boxes[0].caption, "OpenEEPROM()");
  EXPECT_EQ(boxes[0].type, MB_ICONWARNING);
}

}  // namespace
