// pcapng blocks of a port recording: the section header, the one interface
// (LINKTYPE_USER0) and one Enhanced Packet Block per request, little-endian.
// The reader trusts nothing in the file: every length is checked against the
// bytes that are really there before it is used.
#include "portrec/port_recording.h"

#include <cstring>

namespace portrec {
namespace {

constexpr std::uint32_t kSectionHeaderType = 0x0A0D0D0A;
constexpr std::uint32_t kInterfaceType = 1;
constexpr std::uint32_t kEnhancedPacketType = 6;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint32_t kByteOrderMagicSwapped = 0x4D3C2B1A;

constexpr std::uint16_t kOptionEnd = 0;
constexpr std::uint16_t kOptionComment = 1;
constexpr std::uint16_t kShbUserApplication = 4;
constexpr std::uint16_t kIfName = 2;
constexpr std::uint16_t kIfDescription = 3;
constexpr std::uint16_t kIfTimestampResolution = 9;

constexpr std::size_t kMaxBlockLength = 64u << 20;  // far above any request (a frame is under 128 KB)

// ---- little-endian writing
void Put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}
void PadTo4(std::string& out) {
  while (out.size() % 4 != 0) out += '\0';
}
void PutOption(std::string& out, std::uint16_t code, const std::string& value) {
  Put16(out, code);
  Put16(out, static_cast<std::uint32_t>(value.size()));
  out += value;
  PadTo4(out);
}
// Wraps a body as a block: type, total length, body, total length again.
void AppendBlock(std::string& out, std::uint32_t type, const std::string& body) {
  const auto total = static_cast<std::uint32_t>(body.size() + 12);
  Put32(out, type);
  Put32(out, total);
  out += body;
  Put32(out, total);
}
std::string Capped(const std::string& text) { return text.substr(0, 0xFFF0); }

// ---- little-endian reading, bounds-checked by the caller
std::uint32_t Get16(const std::string& in, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(in[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + 1])) << 8;
}
std::uint32_t Get32(const std::string& in, std::size_t at) { return Get16(in, at) | Get16(in, at + 2) << 16; }

// The options of a block body from `at` to `end`: calls take(code, value) for each.
template <typename Take>
bool ReadOptions(const std::string& in, std::size_t at, std::size_t end, Take take) {
  while (at + 4 <= end) {
    const std::uint32_t code = Get16(in, at);
    const std::uint32_t length = Get16(in, at + 2);
    at += 4;
    if (code == kOptionEnd) return true;
    if (length > end - at) return false;
    take(code, in.substr(at, length));
    at += (length + 3) & ~std::size_t{3};
  }
  return at <= end;
}

std::string PayloadOf(const RecordedRequest& request) {
  std::string out;
  Put16(out, kPayloadVersion);
  Put16(out, static_cast<std::uint32_t>(kPayloadHeaderLength));
  Put32(out, request.index);
  Put32(out, request.code);
  Put32(out, static_cast<std::uint32_t>(request.input.size()));
  Put32(out, request.outLength);
  Put32(out, static_cast<std::uint32_t>(request.result));
  Put32(out, request.reply);
  Put32(out, request.bytesReturned);
  Put32(out, request.durationMicros);
  Put16(out, request.flagsBefore);
  Put16(out, request.flagsAfter);
  Put32(out, static_cast<std::uint32_t>(request.data.size()));
  out += static_cast<char>(request.flow);
  out += static_cast<char>((request.counted ? 1 : 0) | (request.entryKnown ? 2 : 0));
  Put16(out, 0);
  Put32(out, request.countWritten);
  out.append(reinterpret_cast<const char*>(request.input.data()), request.input.size());
  out.append(reinterpret_cast<const char*>(request.data.data()), request.data.size());
  return out;
}

bool ReadPayload(const std::string& in, std::size_t at, std::size_t length, RecordedRequest* request,
                 std::string* why) {
  if (length < kPayloadHeaderLength) {
    *why = "the request is cut short (" + std::to_string(length) + " bytes)";
    return false;
  }
  if (Get16(in, at) != kPayloadVersion) {
    *why = "layout version " + std::to_string(Get16(in, at)) + " (this zarncap reads version 1)";
    return false;
  }
  const std::uint32_t headerLength = Get16(in, at + 2);
  if (headerLength < kPayloadHeaderLength || headerLength > length) {
    *why = "a header length of " + std::to_string(headerLength);
    return false;
  }
  const std::uint32_t inLength = Get32(in, at + 12);
  const std::uint32_t dataLength = Get32(in, at + 40);
  const BYTE flow = static_cast<BYTE>(in[at + 44]);
  if (flow > static_cast<BYTE>(DataFlow::FromDevice)) {
    *why = "an unknown data direction " + std::to_string(flow);
    return false;
  }
  if (inLength > length - headerLength || dataLength > length - headerLength - inLength) {
    *why = "the record or the data is cut short";
    return false;
  }
  request->index = Get32(in, at + 4);
  request->code = Get32(in, at + 8);
  request->inLength = inLength;
  request->outLength = Get32(in, at + 16);
  request->result = static_cast<BOOL>(Get32(in, at + 20));
  request->reply = Get32(in, at + 24);
  request->bytesReturned = Get32(in, at + 28);
  request->durationMicros = Get32(in, at + 32);
  request->flagsBefore = static_cast<WORD>(Get16(in, at + 36));
  request->flagsAfter = static_cast<WORD>(Get16(in, at + 38));
  request->flow = static_cast<DataFlow>(flow);
  const BYTE flags = static_cast<BYTE>(in[at + 45]);
  request->counted = (flags & 1) != 0;
  request->entryKnown = (flags & 2) != 0;
  request->countWritten = Get32(in, at + 48);
  const char* body = in.data() + at + headerLength;
  request->input.assign(body, body + inLength);
  request->data.assign(body + inLength, body + inLength + dataLength);
  return true;
}

std::string At(std::size_t offset) { return " at byte " + std::to_string(offset); }

}  // namespace

void AppendSectionHeader(std::string& out, const std::string& application) {
  std::string body;
  Put32(body, kByteOrderMagic);
  Put16(body, 1);  // version 1.0
  Put16(body, 0);
  Put32(body, 0xFFFFFFFF);  // section length not given
  Put32(body, 0xFFFFFFFF);
  PutOption(body, kShbUserApplication, Capped(application));
  Put32(body, 0);  // opt_endofopt
  AppendBlock(out, kSectionHeaderType, body);
}

void AppendInterfaceDescription(std::string& out, const std::string& description) {
  std::string body;
  Put16(body, kLinkType);
  Put16(body, 0);
  Put32(body, 0);  // no snapshot limit
  PutOption(body, kIfName, "VidCap0");
  PutOption(body, kIfDescription, Capped(description));
  PutOption(body, kIfTimestampResolution, std::string(1, '\x06'));  // microseconds
  Put32(body, 0);
  AppendBlock(out, kInterfaceType, body);
}

void AppendRequestBlock(std::string& out, const RecordedRequest& request, const std::string& comment) {
  const std::string payload = PayloadOf(request);
  std::string body;
  Put32(body, 0);  // interface 0
  Put32(body, static_cast<std::uint32_t>(request.timeMicros >> 32));
  Put32(body, static_cast<std::uint32_t>(request.timeMicros & 0xFFFFFFFF));
  Put32(body, static_cast<std::uint32_t>(payload.size()));
  Put32(body, static_cast<std::uint32_t>(payload.size()));
  body += payload;
  PadTo4(body);
  PutOption(body, kOptionComment, Capped(comment));
  Put32(body, 0);
  AppendBlock(out, kEnhancedPacketType, body);
}

bool ReadPortRecording(const std::string& bytes, PortRecording* recording, std::string* error) {
  PortRecording read;
  bool sectionSeen = false;
  int interfaces = 0;
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  std::size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 12) return fail("truncated block" + At(at) + " (the recording was cut short)");
    const std::uint32_t type = Get32(bytes, at);
    const std::uint32_t total = Get32(bytes, at + 4);
    if (!sectionSeen) {
      if (type != kSectionHeaderType) return fail("not a pcapng file (no section header at its start)");
      const std::uint32_t magic = Get32(bytes, at + 8);
      if (magic == kByteOrderMagicSwapped) return fail("a big-endian pcapng file: zarncap writes little-endian ones");
      if (magic != kByteOrderMagic) return fail("not a pcapng file (bad byte-order magic)");
    }
    if (total < 12 || total % 4 != 0 || total > kMaxBlockLength) {
      return fail("a block" + At(at) + " has a bad length (" + std::to_string(total) + ")");
    }
    if (total > bytes.size() - at) return fail("truncated block" + At(at) + " (the recording was cut short)");
    if (Get32(bytes, at + total - 4) != total) return fail("a block" + At(at) + " does not end with its length");
    const std::size_t body = at + 8;
    const std::size_t end = at + total - 4;
    if (type == kSectionHeaderType) {
      if (end - body < 16 || Get32(bytes, body) != kByteOrderMagic || Get16(bytes, body + 4) != 1) {
        return fail("a section header" + At(at) + " of another pcapng version or byte order");
      }
      sectionSeen = true;
      interfaces = 0;
      ReadOptions(bytes, body + 16, end, [&](std::uint32_t code, const std::string& value) {
        if (code == kShbUserApplication) read.application = value;
      });
    } else if (type == kInterfaceType) {
      if (end - body < 8) return fail("an interface description" + At(at) + " is cut short");
      const std::uint32_t linkType = Get16(bytes, body);
      if (linkType != kLinkType) {
        return fail("link type " + std::to_string(linkType) + ": not a zarncap port recording (link type " +
                    std::to_string(kLinkType) + ", LINKTYPE_USER0)");
      }
      if (interfaces == 0) {
        ReadOptions(bytes, body + 8, end, [&](std::uint32_t code, const std::string& value) {
          if (code == kIfDescription) read.description = value;
        });
      }
      ++interfaces;
    } else if (type == kEnhancedPacketType) {
      if (end - body < 20) return fail("a request block" + At(at) + " is cut short");
      if (Get32(bytes, body) >= static_cast<std::uint32_t>(interfaces)) {
        return fail("a request block" + At(at) + " names an interface the file does not describe");
      }
      const std::uint32_t captured = Get32(bytes, body + 12);
      const std::uint32_t original = Get32(bytes, body + 16);
      if (captured > end - body - 20) return fail("a request block" + At(at) + " is cut short");
      if (captured != original) return fail("request " + std::to_string(read.requests.size() + 1) + " was cut short when captured");
      RecordedRequest request;
      std::string why;
      if (!ReadPayload(bytes, body + 20, captured, &request, &why)) {
        return fail("request " + std::to_string(read.requests.size() + 1) + At(at) + ": " + why);
      }
      request.timeMicros = static_cast<std::uint64_t>(Get32(bytes, body + 4)) << 32 | Get32(bytes, body + 8);
      read.requests.push_back(std::move(request));
    }
    // Other blocks (name resolution, statistics, custom) carry nothing a replay needs.
    at += total;
  }
  if (!sectionSeen) return fail("an empty file, not a recording");
  if (interfaces == 0) return fail("no interface description: not a zarncap port recording");
  *recording = std::move(read);
  return true;
}

}  // namespace portrec
