// A scripted, recording stand-in for the kernel port device: it logs every
// request (code, record bytes, lengths), answers from a per-request script, and
// plays a camera that sends a prepared byte stream after each phase opens.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/portable/port_device_backend.h"
#include "port/port_records.h"

struct RecordedRequest {
  DWORD code;
  std::vector<BYTE> in;
  DWORD outLength;
  bool outNull;
  PortRecord record;  // decoded at this build's address width
};

class FakePortDevice : public platform::PortDeviceBackend {
 public:
  static constexpr const char* kName = "portfake";
  static constexpr long long kCallFails = -1;  // the call itself fails (its reply slot says 1)

  // Registers the backend and selects it through ZARNCAP_CAMERA.
  static void Install();
  // The fake behind the open device handle (nullptr when none is open).
  static FakePortDevice* Current();

  BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
               DWORD* bytesReturned) override;

  // The next replies to requests with this code, in order; once used up every
  // reply is 1.
  void Script(DWORD code, std::vector<long long> replies) { replies_[code] = {replies.begin(), replies.end()}; }
  // One line per request: short name and its value, mode/option or count,
  // e.g. "ATTACH 1", "NEGOTIATE 5", "FRAME_BEGIN 9/64", "BYTE_READ 2", "TERMINATE".
  std::vector<std::string> Trace() const;
  void ClearLog() { log.clear(); }

  std::vector<RecordedRequest> log;
  // What the camera sends after NEGOTIATE or FRAME_BEGIN with that mode byte;
  // reads past the end yield zeros. Mode 7 falls back to mode 5 when not set.
  std::map<BYTE, std::vector<BYTE>> streams;
  // Bits the device sets in the entry when a port attaches (e.g. PORT_FLAG_ECP).
  WORD flagsOnAttach = 0;
  // Pattern the device keeps in the entry's reserved bytes, written at attach.
  BYTE reservedPattern = 0x5A;
  // Whether a refused request still moves its data (a read that fails halfway).
  bool serveRefused = false;
  // Bytes the camera received through the write requests.
  std::vector<BYTE> written;

 private:
  long long NextReply(DWORD code);
  void Serve(DWORD code, const PortRecord& record);

  std::map<DWORD, std::deque<long long>> replies_;
  const std::vector<BYTE>* stream_ = nullptr;
  std::size_t cursor_ = 0;
};

// Device ID bytes as the camera sends them: 2-byte big-endian length that
// counts itself, then the text.
std::vector<BYTE> DeviceIdBytes(const std::string& text);
