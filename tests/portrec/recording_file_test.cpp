// The recording file on its own: what the recorder writes reads back field for
// field, and a file that is not a whole recording is refused with a reason.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "port/port_records.h"
#include "portrec/port_recording.h"
#include "portrec/request_text.h"

namespace portrec {
namespace {

RecordedRequest FrameRead() {
  RecordedRequest request;
  request.index = 7;
  request.timeMicros = 1796832597893127ull;
  request.durationMicros = 1234;
  request.code = IOCTL_PORT_ECP_READ_FRAME_VAR;
  PortRecord record;
  record.entry = 0x1000;
  record.buffer = 0x2000;
  record.count = 6;
  record.countAddress = 0x3000;
  request.input.resize(PortRecordLength(PortRecordLayout::EBCR, 4));
  EncodePortRecord(PortRecordLayout::EBCR, 4, record, request.input.data());
  request.inLength = static_cast<DWORD>(request.input.size());
  request.outLength = 4;
  request.result = TRUE;
  request.reply = 1;
  request.bytesReturned = 4;
  request.entryKnown = true;
  request.flagsBefore = 0x0002;
  request.flagsAfter = 0x0006;
  request.flow = DataFlow::FromDevice;
  request.counted = true;
  request.countWritten = 4;
  request.data = {1, 2, 3, 4, 5, 6};
  return request;
}

std::string Recording(const std::vector<RecordedRequest>& requests) {
  std::string file;
  AppendSectionHeader(file, "zarncap test");
  AppendInterfaceDescription(file, "sim");
  for (const RecordedRequest& request : requests) AppendRequestBlock(file, request, RequestComment(request));
  return file;
}

// Offsets inside the file Recording() makes with one request.
std::size_t FirstRequestBlock(const std::string& file) {
  std::size_t at = 0;
  for (int block = 0; block < 2; ++block) {
    std::uint32_t length = 0;
    std::memcpy(&length, file.data() + at + 4, 4);
    at += length;
  }
  return at;
}

TEST(PortRecordingFile, ReadsBackWhatWasWritten) {
  const RecordedRequest written = FrameRead();
  PortRecording read;
  std::string error;
  ASSERT_TRUE(ReadPortRecording(Recording({written, written}), &read, &error)) << error;
  EXPECT_EQ(read.application, "zarncap test");
  EXPECT_EQ(read.description, "sim");
  ASSERT_EQ(read.requests.size(), 2u);
  const RecordedRequest& r = read.requests[0];
  EXPECT_EQ(r.index, 7u);
  EXPECT_EQ(r.timeMicros, written.timeMicros);
  EXPECT_EQ(r.durationMicros, 1234u);
  EXPECT_EQ(r.code, IOCTL_PORT_ECP_READ_FRAME_VAR);
  EXPECT_EQ(r.input, written.input);
  EXPECT_EQ(r.outLength, 4u);
  EXPECT_EQ(r.result, TRUE);
  EXPECT_EQ(r.reply, 1u);
  EXPECT_EQ(r.bytesReturned, 4u);
  EXPECT_TRUE(r.entryKnown);
  EXPECT_EQ(r.flagsBefore, 0x0002);
  EXPECT_EQ(r.flagsAfter, 0x0006);
  EXPECT_EQ(r.flow, DataFlow::FromDevice);
  EXPECT_TRUE(r.counted);
  EXPECT_EQ(r.countWritten, 4u);
  EXPECT_EQ(r.data, written.data);
}

TEST(PortRecordingFile, RequestsInWordsLeaveAddressesOut) {
  RecordedRequest request = FrameRead();
  EXPECT_EQ(RequestComment(request), "ECP_READ_FRAME_VAR 6 -> 1 (4 read)");
  request.result = FALSE;
  EXPECT_EQ(RequestComment(request), "ECP_READ_FRAME_VAR 6 -> call failed");
  BYTE record[kPortRecordMaxLength];
  PortRecord fields;
  fields.entry = 0x12345678;
  fields.value = 11;
  fields.option = 64;
  for (std::size_t width : {std::size_t{4}, std::size_t{8}}) {
    const std::size_t length = EncodePortRecord(PortRecordLayout::EBB, width, fields, record);
    EXPECT_EQ(RequestText(IOCTL_PORT_FRAME_BEGIN, record, length), "FRAME_BEGIN 11,64") << width;
  }
  EXPECT_EQ(RequestText(IOCTL_PORT_FRAME_BEGIN, record, 7), "FRAME_BEGIN (a 7-byte record)");
  EXPECT_EQ(RequestText(IOCTL_PORT_POLL, record, 4), "POLL");
  EXPECT_EQ(RequestText(0x001D20A4, record, 4), "code 0x001D20A4");
}

void PutU32(std::string& file, std::size_t at, std::uint32_t value) { std::memcpy(file.data() + at, &value, 4); }

TEST(PortRecordingFile, AnythingButAWholeRecordingIsRefusedWithTheReason) {
  const std::string good = Recording({FrameRead()});
  const std::size_t block = FirstRequestBlock(good);
  struct Case {
    const char* what;
    std::function<std::string()> make;
    const char* reason;
  };
  const Case cases[] = {
      {"empty", [] { return std::string(); }, "an empty file"},
      {"a PNG", [] { return std::string("\x89PNG\r\n\x1a\n0000000000000000", 24); }, "not a pcapng file"},
      {"cut inside the last block", [&] { return good.substr(0, good.size() - 9); }, "truncated block at byte"},
      {"cut inside a block header", [&] { return good.substr(0, block + 6); }, "truncated block at byte"},
      {"another link type",
       [&] {
         std::string file = good;
         std::uint32_t sectionLength = 0;
         std::memcpy(&sectionLength, file.data() + 4, 4);
         file[sectionLength + 8] = 1;  // the interface's link type: LINKTYPE_ETHERNET
         return file;
       },
       "link type 1: not a zarncap port recording"},
      {"a request cut short when captured",
       [&] {
         std::string file = good;
         std::uint32_t captured = 0;
         std::memcpy(&captured, file.data() + block + 20, 4);
         PutU32(file, block + 24, captured + 10);  // the original was longer
         return file;
       },
       "request 1 was cut short"},
      {"a reply cut short",
       [&] {
         std::string file = good;
         PutU32(file, block + 8 + 20 + 40, 1000);  // more bytes moved than the packet holds
         return file;
       },
       "the record or the data is cut short"},
      {"a block whose trailer disagrees",
       [&] {
         std::string file = good;
         PutU32(file, file.size() - 4, 12);
         return file;
       },
       "does not end with its length"},
      {"big-endian",
       [&] {
         std::string file = good;
         PutU32(file, 8, 0x4D3C2B1A);
         return file;
       },
       "big-endian"},
      {"a request block before any interface",
       [&] {
         std::uint32_t sectionLength = 0;
         std::memcpy(&sectionLength, good.data() + 4, 4);
         return good.substr(0, sectionLength) + good.substr(block);
       },
       "names an interface the file does not describe"},
  };
  for (const Case& c : cases) {
    PortRecording read;
    read.description = "untouched";
    std::string error;
    EXPECT_FALSE(ReadPortRecording(c.make(), &read, &error)) << c.what;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(read.description, "untouched") << c.what;
  }
}

}  // namespace
}  // namespace portrec
