// The packed request records at both address widths, and the request set.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "port/port_records.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes Encode(PortRecordLayout layout, std::size_t width, const PortRecord& record) {
  BYTE out[kPortRecordMaxLength + 4];
  std::fill(std::begin(out), std::end(out), BYTE{0xEE});
  std::size_t length = EncodePortRecord(layout, width, record, out);
  EXPECT_EQ(out[length], 0xEE) << "wrote past the record";
  return Bytes(out, out + length);
}

PortRecord Sample(std::size_t width) {
  PortRecord record;
  record.entry = width == 4 ? 0x11223344u : 0x1122334455667788ull;
  record.value = 0xA5;
  record.option = 0x40;
  record.buffer = width == 4 ? 0xCAFEBABEu : 0x0102030405060708ull;
  record.count = 0xDEADBEEF;
  record.countAddress = width == 4 ? 0x99AABBCCu : 0xF0E0D0C0B0A09080ull;
  return record;
}

TEST(PortRecords, LengthsAtBothAddressWidths) {
  const PortRecordLayout layouts[] = {PortRecordLayout::E, PortRecordLayout::EB, PortRecordLayout::EBB,
                                      PortRecordLayout::EBC, PortRecordLayout::EBCR};
  const std::size_t narrow[] = {4, 5, 6, 12, 16};
  const std::size_t wide[] = {8, 9, 10, 20, 28};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(PortRecordLength(layouts[i], 4), narrow[i]);
    EXPECT_EQ(PortRecordLength(layouts[i], 8), wide[i]);
    EXPECT_EQ(Encode(layouts[i], 4, Sample(4)).size(), narrow[i]);
    EXPECT_EQ(Encode(layouts[i], 8, Sample(8)).size(), wide[i]);
  }
  EXPECT_EQ(kPortRecordMaxLength, 28u);
  EXPECT_EQ(kPortAddressWidth, sizeof(void*));
}

TEST(PortRecords, NarrowAddressesByteForByte) {
  PortRecord r = Sample(4);
  EXPECT_EQ(Encode(PortRecordLayout::E, 4, r), (Bytes{0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(Encode(PortRecordLayout::EB, 4, r), (Bytes{0x44, 0x33, 0x22, 0x11, 0xA5}));
  EXPECT_EQ(Encode(PortRecordLayout::EBB, 4, r), (Bytes{0x44, 0x33, 0x22, 0x11, 0xA5, 0x40}));
  EXPECT_EQ(Encode(PortRecordLayout::EBC, 4, r),
            (Bytes{0x44, 0x33, 0x22, 0x11, 0xBE, 0xBA, 0xFE, 0xCA, 0xEF, 0xBE, 0xAD, 0xDE}));
  EXPECT_EQ(Encode(PortRecordLayout::EBCR, 4, r), (Bytes{0x44, 0x33, 0x22, 0x11, 0xBE, 0xBA, 0xFE, 0xCA, 0xEF, 0xBE,
                                                         0xAD, 0xDE, 0xCC, 0xBB, 0xAA, 0x99}));
}

TEST(PortRecords, WideAddressesByteForByte) {
  PortRecord r = Sample(8);
  const Bytes entry{0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
  const Bytes buffer{0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
  const Bytes count{0xEF, 0xBE, 0xAD, 0xDE};
  const Bytes countAddress{0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0};
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  EXPECT_EQ(Encode(PortRecordLayout::E, 8, r), entry);
  EXPECT_EQ(Encode(PortRecordLayout::EB, 8, r), join({entry, {0xA5}}));
  EXPECT_EQ(Encode(PortRecordLayout::EBB, 8, r), join({entry, {0xA5, 0x40}}));
  EXPECT_EQ(Encode(PortRecordLayout::EBC, 8, r), join({entry, buffer, count}));
  EXPECT_EQ(Encode(PortRecordLayout::EBCR, 8, r), join({entry, buffer, count, countAddress}));
}

TEST(PortRecords, DecodeTakesOnlyTheExactLength) {
  for (std::size_t width : {std::size_t{4}, std::size_t{8}}) {
    Bytes bytes = Encode(PortRecordLayout::EBCR, width, Sample(width));
    PortRecord decoded;
    ASSERT_TRUE(DecodePortRecord(PortRecordLayout::EBCR, width, bytes.data(), bytes.size(), &decoded));
    EXPECT_EQ(decoded.entry, Sample(width).entry);
    EXPECT_EQ(decoded.buffer, Sample(width).buffer);
    EXPECT_EQ(decoded.count, 0xDEADBEEFu);
    EXPECT_EQ(decoded.countAddress, Sample(width).countAddress);

    PortRecord untouched;
    untouched.count = 7;
    EXPECT_FALSE(DecodePortRecord(PortRecordLayout::EBCR, width, bytes.data(), bytes.size() - 1, &untouched));
    EXPECT_FALSE(DecodePortRecord(PortRecordLayout::EBC, width, bytes.data(), bytes.size(), &untouched));
    EXPECT_EQ(untouched.count, 7u);
  }
  // The five-byte record is five bytes, not padded to six or eight.
  Bytes eb = Encode(PortRecordLayout::EB, 4, Sample(4));
  PortRecord decoded;
  EXPECT_TRUE(DecodePortRecord(PortRecordLayout::EB, 4, eb.data(), 5, &decoded));
  EXPECT_EQ(decoded.value, 0xA5);
  EXPECT_FALSE(DecodePortRecord(PortRecordLayout::EB, 4, eb.data(), 6, &decoded));
}

TEST(PortRecords, RequestSetCodesAndReplies) {
  // Functions 0x820..0x838 under device type 0x1D, buffered, any access; 0x829 never.
  std::vector<DWORD> expected;
  for (DWORD code = 0x001D2080; code <= 0x001D20E0; code += 4) {
    if (code != 0x001D20A4) expected.push_back(code);
  }
  ASSERT_EQ(std::size(kPortRequests), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(kPortRequests[i].code, expected[i]) << kPortRequests[i].name;
    EXPECT_EQ(FindPortRequest(expected[i]), &kPortRequests[i]);
    bool silent = expected[i] == 0x001D2088 || expected[i] == 0x001D20DC || expected[i] == 0x001D20E0;
    EXPECT_EQ(kPortRequests[i].hasReply, !silent) << kPortRequests[i].name;
  }
  EXPECT_EQ(FindPortRequest(0x001D20A4), nullptr);
  EXPECT_EQ(FindPortRequest(IOCTL_PORT_FRAME_BEGIN)->layout, PortRecordLayout::EBB);
  EXPECT_EQ(FindPortRequest(IOCTL_PORT_NIBBLE_READ_FRAME_VAR)->layout, PortRecordLayout::EBCR);
  // The two block writes carry the caller's bytes to the device; the nine reads bring bytes back.
  int toDevice = 0, fromDevice = 0;
  for (const PortRequest& request : kPortRequests) {
    toDevice += request.flow == PortDataFlow::ToDevice ? 1 : 0;
    fromDevice += request.flow == PortDataFlow::FromDevice ? 1 : 0;
  }
  EXPECT_EQ(toDevice, 2);
  EXPECT_EQ(fromDevice, 9);
  EXPECT_EQ(FindPortRequest(IOCTL_PORT_COMPAT_WRITE)->flow, PortDataFlow::ToDevice);
  EXPECT_EQ(FindPortRequest(IOCTL_PORT_BYTE_READ_FRAME_VAR)->flow, PortDataFlow::FromDevice);
  EXPECT_EQ(FindPortRequest(IOCTL_PORT_COMPAT_WRITE_CMD)->flow, PortDataFlow::None);
}

}  // namespace
