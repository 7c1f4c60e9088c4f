// The wire contract with the kernel port device: control codes, the PortEntry
// record, the mode bytes and the packed request records. Header-only and free of
// driver state, so the driver and any stand-in for the device share one truth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/types.h"

// ---- PortEntry: one 36-byte record per LPT port, shared with the device.
// The driver owns PortFlags; the 34 bytes after it belong to the device.
constexpr WORD PORT_FLAG_4BIT = 0x0001;   // 4-bit mode was forced (never tested by the driver)
constexpr WORD PORT_FLAG_BIDIR = 0x0002;  // reverse transfers are byte-wide
constexpr WORD PORT_FLAG_ECP = 0x0004;    // transfers use the ECP requests (set by the device only)

constexpr std::size_t kPortEntryReservedSize = 34;

struct PortEntry {
  WORD PortFlags;
  BYTE reserved[kPortEntryReservedSize];  // the kernel device's own bytes
};
static_assert(sizeof(PortEntry) == 36, "PortEntry is a 36-byte record");
static_assert(offsetof(PortEntry, reserved) == 2, "PortFlags is the first word");

// ---- control codes: (device type << 16) | (access << 14) | (function << 2) | method,
// device type 0x001D, any access, buffered.
constexpr DWORD kPortDeviceType = 0x001D;
constexpr DWORD kPortAccess = 0;
constexpr DWORD kPortMethod = 0;

constexpr DWORD PortControlCode(DWORD function) {
  return (kPortDeviceType << 16) | (kPortAccess << 14) | (function << 2) | kPortMethod;
}

constexpr DWORD IOCTL_PORT_ATTACH = PortControlCode(0x820);
constexpr DWORD IOCTL_PORT_CLAIM = PortControlCode(0x821);
constexpr DWORD IOCTL_PORT_RELEASE = PortControlCode(0x822);
constexpr DWORD IOCTL_PORT_POLL = PortControlCode(0x823);
constexpr DWORD IOCTL_PORT_NEGOTIATE = PortControlCode(0x824);
constexpr DWORD IOCTL_PORT_TERMINATE = PortControlCode(0x825);
constexpr DWORD IOCTL_PORT_FRAME_BEGIN = PortControlCode(0x826);
constexpr DWORD IOCTL_PORT_FRAME_END = PortControlCode(0x827);
constexpr DWORD IOCTL_PORT_REVERSE = PortControlCode(0x828);
// function 0x829 is never sent
constexpr DWORD IOCTL_PORT_ECP_WRITE_CMD = PortControlCode(0x82A);
constexpr DWORD IOCTL_PORT_ECP_WRITE = PortControlCode(0x82B);
constexpr DWORD IOCTL_PORT_ECP_READ = PortControlCode(0x82C);
constexpr DWORD IOCTL_PORT_COMPAT_WRITE_CMD = PortControlCode(0x82D);
constexpr DWORD IOCTL_PORT_COMPAT_WRITE = PortControlCode(0x82E);
constexpr DWORD IOCTL_PORT_BYTE_READ = PortControlCode(0x82F);
constexpr DWORD IOCTL_PORT_NIBBLE_READ = PortControlCode(0x830);
constexpr DWORD IOCTL_PORT_ECP_READ_FRAME = PortControlCode(0x831);
constexpr DWORD IOCTL_PORT_ECP_READ_FRAME_VAR = PortControlCode(0x832);
constexpr DWORD IOCTL_PORT_BYTE_READ_FRAME = PortControlCode(0x833);
constexpr DWORD IOCTL_PORT_BYTE_READ_FRAME_VAR = PortControlCode(0x834);
constexpr DWORD IOCTL_PORT_NIBBLE_READ_FRAME = PortControlCode(0x835);
constexpr DWORD IOCTL_PORT_NIBBLE_READ_FRAME_VAR = PortControlCode(0x836);
constexpr DWORD IOCTL_PORT_OUT_B = PortControlCode(0x837);
constexpr DWORD IOCTL_PORT_OUT_A = PortControlCode(0x838);

static_assert(IOCTL_PORT_ATTACH == 0x001D2080);
static_assert(IOCTL_PORT_FRAME_BEGIN == 0x001D2098);
static_assert(IOCTL_PORT_ECP_WRITE_CMD == 0x001D20A8);
static_assert(IOCTL_PORT_OUT_A == 0x001D20E0);

// ---- mode bytes: what kind of transfer follows a NEGOTIATE or FRAME_BEGIN
constexpr BYTE PORT_NEGOTIATE_NIBBLE_DATA = 1;  // reverse data, nibbles
constexpr BYTE PORT_NEGOTIATE_FORWARD = 3;      // forward data; or, after REVERSE, byte-wide/ECP reverse data
constexpr BYTE PORT_NEGOTIATE_ID_NIBBLE = 5;    // device ID, nibbles
constexpr BYTE PORT_NEGOTIATE_ID_BYTE = 7;      // device ID, byte-wide
constexpr BYTE PORT_FRAME_NIBBLE = 9;
constexpr BYTE PORT_FRAME_BYTE = 10;
constexpr BYTE PORT_FRAME_ECP = 11;
constexpr BYTE PORT_FRAME_FIXED = 0;      // option: frame of fixed length
constexpr BYTE PORT_FRAME_COUNTED = 64;   // option: the camera reports the length

// ---- packed input records (little-endian, no padding)
// E: entry; EB: entry, value; EBB: entry, mode, option; EBC: entry, buffer,
// count; EBCR: entry, buffer, count, address of the count transferred.
// Addresses are as wide as the driver's pointers: 4 bytes in the 32-bit build,
// so the records are 4, 5, 6, 12 and 16 bytes there.
enum class PortRecordLayout : BYTE { E, EB, EBB, EBC, EBCR };

enum class PortRecordSlot : BYTE { Entry, Value, Option, Buffer, Count, CountAddress };

struct PortRecordShape {
  std::size_t fieldCount;
  PortRecordSlot fields[4];
};

// The one definition of every layout; lengths, encoding and decoding all follow it.
constexpr PortRecordShape PortRecordShapeOf(PortRecordLayout layout) {
  switch (layout) {
    case PortRecordLayout::E:
      return {1, {PortRecordSlot::Entry}};
    case PortRecordLayout::EB:
      return {2, {PortRecordSlot::Entry, PortRecordSlot::Value}};
    case PortRecordLayout::EBB:
      return {3, {PortRecordSlot::Entry, PortRecordSlot::Value, PortRecordSlot::Option}};
    case PortRecordLayout::EBC:
      return {3, {PortRecordSlot::Entry, PortRecordSlot::Buffer, PortRecordSlot::Count}};
    case PortRecordLayout::EBCR:
      return {4, {PortRecordSlot::Entry, PortRecordSlot::Buffer, PortRecordSlot::Count,
                  PortRecordSlot::CountAddress}};
  }
  return {0, {}};
}

constexpr std::size_t PortSlotWidth(PortRecordSlot slot, std::size_t addressWidth) {
  switch (slot) {
    case PortRecordSlot::Value:
    case PortRecordSlot::Option:
      return 1;
    case PortRecordSlot::Count:
      return 4;
    case PortRecordSlot::Entry:
    case PortRecordSlot::Buffer:
    case PortRecordSlot::CountAddress:
      return addressWidth;
  }
  return 0;
}

constexpr std::size_t PortRecordLength(PortRecordLayout layout, std::size_t addressWidth) {
  PortRecordShape shape = PortRecordShapeOf(layout);
  std::size_t length = 0;
  for (std::size_t i = 0; i < shape.fieldCount; ++i) length += PortSlotWidth(shape.fields[i], addressWidth);
  return length;
}

// The address width of this build, and the longest record of any width.
constexpr std::size_t kPortAddressWidth = sizeof(void*);
constexpr std::size_t kPortRecordMaxLength = PortRecordLength(PortRecordLayout::EBCR, 8);

static_assert(PortRecordLength(PortRecordLayout::E, 4) == 4);
static_assert(PortRecordLength(PortRecordLayout::EB, 4) == 5);
static_assert(PortRecordLength(PortRecordLayout::EBB, 4) == 6);
static_assert(PortRecordLength(PortRecordLayout::EBC, 4) == 12);
static_assert(PortRecordLength(PortRecordLayout::EBCR, 4) == 16);

// The fields of any record; a layout uses the ones it names.
struct PortRecord {
  std::uint64_t entry = 0;         // address of the PortEntry
  BYTE value = 0;                  // LPT number, mode byte, command byte or output byte
  BYTE option = 0;                 // FRAME_BEGIN option
  std::uint64_t buffer = 0;        // address of the caller's data
  DWORD count = 0;                 // bytes to move
  std::uint64_t countAddress = 0;  // address of the DWORD that receives the count moved
};

constexpr std::uint64_t PortRecordSlotValue(const PortRecord& record, PortRecordSlot slot) {
  switch (slot) {
    case PortRecordSlot::Entry:
      return record.entry;
    case PortRecordSlot::Value:
      return record.value;
    case PortRecordSlot::Option:
      return record.option;
    case PortRecordSlot::Buffer:
      return record.buffer;
    case PortRecordSlot::Count:
      return record.count;
    case PortRecordSlot::CountAddress:
      return record.countAddress;
  }
  return 0;
}

constexpr void SetPortRecordSlot(PortRecord& record, PortRecordSlot slot, std::uint64_t value) {
  switch (slot) {
    case PortRecordSlot::Entry:
      record.entry = value;
      break;
    case PortRecordSlot::Value:
      record.value = static_cast<BYTE>(value);
      break;
    case PortRecordSlot::Option:
      record.option = static_cast<BYTE>(value);
      break;
    case PortRecordSlot::Buffer:
      record.buffer = value;
      break;
    case PortRecordSlot::Count:
      record.count = static_cast<DWORD>(value);
      break;
    case PortRecordSlot::CountAddress:
      record.countAddress = value;
      break;
  }
}

// Writes the record into out (room for kPortRecordMaxLength bytes) and returns
// its length. addressWidth is 4 or 8; wider values are cut to the field's width.
constexpr std::size_t EncodePortRecord(PortRecordLayout layout, std::size_t addressWidth, const PortRecord& record,
                                       BYTE* out) {
  PortRecordShape shape = PortRecordShapeOf(layout);
  std::size_t at = 0;
  for (std::size_t i = 0; i < shape.fieldCount; ++i) {
    std::uint64_t value = PortRecordSlotValue(record, shape.fields[i]);
    std::size_t width = PortSlotWidth(shape.fields[i], addressWidth);
    for (std::size_t b = 0; b < width; ++b) out[at++] = static_cast<BYTE>((value >> (8 * b)) & 0xFF);
  }
  return at;
}

// Reads a record of the given layout; false (and record untouched) when the
// length is not exactly the layout's length.
constexpr bool DecodePortRecord(PortRecordLayout layout, std::size_t addressWidth, const BYTE* in,
                                std::size_t length, PortRecord* record) {
  if (in == nullptr || record == nullptr || length != PortRecordLength(layout, addressWidth)) return false;
  PortRecord decoded;
  PortRecordShape shape = PortRecordShapeOf(layout);
  std::size_t at = 0;
  for (std::size_t i = 0; i < shape.fieldCount; ++i) {
    std::size_t width = PortSlotWidth(shape.fields[i], addressWidth);
    std::uint64_t value = 0;
    for (std::size_t b = 0; b < width; ++b) value |= static_cast<std::uint64_t>(in[at++]) << (8 * b);
    SetPortRecordSlot(decoded, shape.fields[i], value);
  }
  *record = decoded;
  return true;
}

// Addresses in records are plain integers of the driver's address space.
inline std::uint64_t PortAddressOf(const volatile void* pointer) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pointer));
}
template <typename T>
T* PortPointerFrom(std::uint64_t address) {
  return reinterpret_cast<T*>(static_cast<std::uintptr_t>(address));
}

// The PortFlags word of the entry at a record's entry address, as a device
// reads and writes it in the caller's memory.
inline WORD ReadPortEntryFlags(std::uint64_t entry) {
  WORD word = 0;
  std::memcpy(&word, PortPointerFrom<BYTE>(entry), sizeof word);
  return word;
}
inline void SetPortEntryFlag(std::uint64_t entry, WORD flag, bool on) {
  WORD word = ReadPortEntryFlags(entry);
  word = static_cast<WORD>(on ? (word | flag) : (word & ~flag));
  std::memcpy(PortPointerFrom<BYTE>(entry), &word, sizeof word);
}

// ---- the request set: 24 requests, each a record in and (all but three) a
// 4-byte reply out. A nonzero reply is success, except for POLL, where 0 only
// means that no data is ready.
constexpr DWORD kPortReplyLength = 4;

// Which way a request moves bytes through the caller's buffer.
enum class PortDataFlow : BYTE { None = 0, ToDevice = 1, FromDevice = 2 };

struct PortRequest {
  DWORD code;
  const char* name;
  PortRecordLayout layout;
  bool hasReply;  // false: null output buffer of length 0
  PortDataFlow flow;
};

inline constexpr PortRequest kPortRequests[] = {
    {IOCTL_PORT_ATTACH, "IOCTL_PORT_ATTACH", PortRecordLayout::EB, true, PortDataFlow::None},
    {IOCTL_PORT_CLAIM, "IOCTL_PORT_CLAIM", PortRecordLayout::E, true, PortDataFlow::None},
    {IOCTL_PORT_RELEASE, "IOCTL_PORT_RELEASE", PortRecordLayout::E, false, PortDataFlow::None},
    {IOCTL_PORT_POLL, "IOCTL_PORT_POLL", PortRecordLayout::E, true, PortDataFlow::None},
    {IOCTL_PORT_NEGOTIATE, "IOCTL_PORT_NEGOTIATE", PortRecordLayout::EB, true, PortDataFlow::None},
    {IOCTL_PORT_TERMINATE, "IOCTL_PORT_TERMINATE", PortRecordLayout::E, true, PortDataFlow::None},
    {IOCTL_PORT_FRAME_BEGIN, "IOCTL_PORT_FRAME_BEGIN", PortRecordLayout::EBB, true, PortDataFlow::None},
    {IOCTL_PORT_FRAME_END, "IOCTL_PORT_FRAME_END", PortRecordLayout::E, true, PortDataFlow::None},
    {IOCTL_PORT_REVERSE, "IOCTL_PORT_REVERSE", PortRecordLayout::E, true, PortDataFlow::None},
    {IOCTL_PORT_ECP_WRITE_CMD, "IOCTL_PORT_ECP_WRITE_CMD", PortRecordLayout::EB, true, PortDataFlow::None},
    {IOCTL_PORT_ECP_WRITE, "IOCTL_PORT_ECP_WRITE", PortRecordLayout::EBC, true, PortDataFlow::ToDevice},
    {IOCTL_PORT_ECP_READ, "IOCTL_PORT_ECP_READ", PortRecordLayout::EBC, true, PortDataFlow::FromDevice},
    {IOCTL_PORT_COMPAT_WRITE_CMD, "IOCTL_PORT_COMPAT_WRITE_CMD", PortRecordLayout::EB, true, PortDataFlow::None},
    {IOCTL_PORT_COMPAT_WRITE, "IOCTL_PORT_COMPAT_WRITE", PortRecordLayout::EBC, true, PortDataFlow::ToDevice},
    {IOCTL_PORT_BYTE_READ, "IOCTL_PORT_BYTE_READ", PortRecordLayout::EBC, true, PortDataFlow::FromDevice},
    {IOCTL_PORT_NIBBLE_READ, "IOCTL_PORT_NIBBLE_READ", PortRecordLayout::EBC, true, PortDataFlow::FromDevice},
    {IOCTL_PORT_ECP_READ_FRAME, "IOCTL_PORT_ECP_READ_FRAME", PortRecordLayout::EBC, true, PortDataFlow::FromDevice},
    {IOCTL_PORT_ECP_READ_FRAME_VAR, "IOCTL_PORT_ECP_READ_FRAME_VAR", PortRecordLayout::EBCR, true, PortDataFlow::FromDevice},
    {IOCTL_PORT_BYTE_READ_FRAME, "IOCTL_PORT_BYTE_READ_FRAME", PortRecordLayout::EBC, true, PortDataFlow::FromDevice},
    {IOCTL_PORT_BYTE_READ_FRAME_VAR, "IOCTL_PORT_BYTE_READ_FRAME_VAR", PortRecordLayout::EBCR, true, PortDataFlow::FromDevice},
    {IOCTL_PORT_NIBBLE_READ_FRAME, "IOCTL_PORT_NIBBLE_READ_FRAME", PortRecordLayout::EBC, true, PortDataFlow::FromDevice},
    {IOCTL_PORT_NIBBLE_READ_FRAME_VAR, "IOCTL_PORT_NIBBLE_READ_FRAME_VAR", PortRecordLayout::EBCR, true, PortDataFlow::FromDevice},
    {IOCTL_PORT_OUT_B, "IOCTL_PORT_OUT_B", PortRecordLayout::EB, false, PortDataFlow::None},
    {IOCTL_PORT_OUT_A, "IOCTL_PORT_OUT_A", PortRecordLayout::EB, false, PortDataFlow::None},
};
static_assert(sizeof(kPortRequests) / sizeof(kPortRequests[0]) == 24);

// The request with that control code, or nullptr for a code outside the set.
constexpr const PortRequest* FindPortRequest(DWORD code) {
  for (const PortRequest& request : kPortRequests) {
    if (request.code == code) return &request;
  }
  return nullptr;
}

// Decodes a request as any stand-in for the kernel device must: the record
// exactly its layout's length, a nonzero entry address, and a 4-byte reply
// buffer (or, for the three requests without a reply, no output buffer at
// all). False for anything else; the request then fails and changes nothing.
inline bool DecodeWellFormedRequest(const PortRequest& request, const void* in, DWORD inLength, const void* out,
                                    DWORD outLength, PortRecord* record) {
  if (!DecodePortRecord(request.layout, kPortAddressWidth, static_cast<const BYTE*>(in), inLength, record)) {
    return false;
  }
  if (record->entry == 0) return false;
  if (request.hasReply) return out != nullptr && outLength == kPortReplyLength;
  return out == nullptr && outLength == 0;
}
