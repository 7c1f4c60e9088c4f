// Port requests in words, the same in a recording's comments, the replay's
// messages and the Wireshark dissector: the request's name without
// IOCTL_PORT_ and the record's values without its addresses
// ("FRAME_BEGIN 11,64", "NEGOTIATE 5", "ECP_READ_FRAME 28800", "POLL").
#pragma once

#include <string>

#include "port/port_records.h"
#include "portrec/port_recording.h"

namespace portrec {

// "NEGOTIATE" for IOCTL_PORT_NEGOTIATE; "code 0x001D20A4" outside the set.
std::string RequestName(DWORD code);
// The record's layout for the width its length shows (4- or 8-byte
// addresses); false when the length fits no width.
bool DecodeAnyWidth(const PortRequest& request, const BYTE* in, std::size_t length, PortRecord* record);
// "FRAME_BEGIN 11,64"; a record that does not decode: "FRAME_BEGIN (a 7-byte record)".
std::string RequestText(DWORD code, const BYTE* in, std::size_t length);
// The comment of a request's block: its text and what came back
// ("ECP_READ_FRAME_VAR 31680 -> 1 (11470 read)", "NEGOTIATE 5 -> call failed").
std::string RequestComment(const RecordedRequest& request);

// Which way a request moves bytes through the caller's buffer, and whether
// the device stores the count it moved.
DataFlow DataFlowOf(DWORD code);
bool IsCountedRead(DWORD code);

}  // namespace portrec
