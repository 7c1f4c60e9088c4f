// A recording of the port traffic: every request the driver sent to its port
// device, with the reply and the bytes that moved, kept as a pcapng file so
// that capinfos, tshark and Wireshark read it. One Enhanced Packet Block per
// request on one interface of link type LINKTYPE_USER0; docs/port-recording.md
// gives the layout. This file writes the blocks and reads a whole file back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"
#include "port/port_records.h"

namespace portrec {

constexpr std::uint16_t kLinkType = 147;  // LINKTYPE_USER0
constexpr std::uint16_t kPayloadVersion = 1;
constexpr std::size_t kPayloadHeaderLength = 52;

// What moved through the caller's buffer (the request table says which way).
using DataFlow = PortDataFlow;

// One request as the device saw it and answered it.
struct RecordedRequest {
  std::uint32_t index = 0;          // 1-based, the block's place in the recording (Wireshark's frame number)
  std::uint64_t timeMicros = 0;     // when it was sent, microseconds since 1970
  std::uint32_t durationMicros = 0;  // how long the device took to answer
  DWORD code = 0;
  DWORD inLength = 0;
  DWORD outLength = 0;
  BOOL result = FALSE;      // what the device-control call returned
  DWORD reply = 0;          // the u32 written to the output buffer (0 when none)
  DWORD bytesReturned = 0;
  bool entryKnown = false;  // the record was decoded: the flags below are the entry's
  WORD flagsBefore = 0;     // the entry's PortFlags before the request
  WORD flagsAfter = 0;      // and after it (the device sets PORT_FLAG_ECP)
  DataFlow flow = DataFlow::None;
  bool counted = false;      // a counted frame read: countWritten is what the device stored
  DWORD countWritten = 0;
  std::vector<BYTE> input;  // the request record as sent
  std::vector<BYTE> data;   // the bytes written (ToDevice) or read (FromDevice)
};

// ---- writing: each call appends one block to out
void AppendSectionHeader(std::string& out, const std::string& application);
void AppendInterfaceDescription(std::string& out, const std::string& description);
void AppendRequestBlock(std::string& out, const RecordedRequest& request, const std::string& comment);

// ---- reading
struct PortRecording {
  std::string application;  // shb_userappl
  std::string description;  // if_description: the port device the traffic went to
  std::vector<RecordedRequest> requests;
};

// Reads a whole recording. False with a one-line reason in *error for a file
// that is not pcapng, is cut short, has a block that does not hold together,
// or carries another link type.
bool ReadPortRecording(const std::string& bytes, PortRecording* recording, std::string* error);

}  // namespace portrec
