// The virtual kernel port device: decodes the driver's 24 control requests from
// their bytes, keeps the state of every port entry it is handed (attached LPT
// number, claim, transfer phase) and carries what travels on the wire to the
// virtual camera on its LPT port. It also keeps a log of the requests it saw.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/portable/port_device_backend.h"
#include "platform/types.h"
#include "port/port_records.h"
#include "sim/camera_link.h"
#include "sim/sim_config.h"

namespace sim {

// One request as the device saw it and answered it.
struct RequestRecord {
  const char* name = "unknown";  // "attach", "frame_begin", ... (the fail= names)
  DWORD code = 0;
  std::array<BYTE, kPortRecordMaxLength> input = {};  // the first inputStored bytes of the record
  DWORD inLength = 0;
  DWORD outLength = 0;
  bool decoded = false;  // the record had the right length and was read
  PortRecord fields;     // the decoded fields (when decoded)
  DWORD reply = 0;       // the u32 reply; for the three requests without one, the call's result
  BOOL result = FALSE;   // what the device-control call returned
  bool injected = false;  // failed by a fail= rule

  std::size_t InputStored() const { return inLength < input.size() ? inLength : input.size(); }
};

// Where an entry stands in its transfer phases.
enum class PortPhase { Idle, Negotiated, Frame };

// What the device knows about one PortEntry (for tests).
struct EntryStatus {
  int lpt = 0;  // 0 until attached
  bool claimed = false;
  PortPhase phase = PortPhase::Idle;
  BYTE mode = 0;        // the negotiated mode byte or the frame mode byte
  BYTE option = 0;      // the frame option
  bool reversed = false;
};

class VirtualPortDevice : public platform::PortDeviceBackend {
 public:
  static constexpr std::size_t kDefaultLogCapacity = 1u << 16;
  static constexpr std::size_t kMaxEntries = 64;

  VirtualPortDevice(const SimConfig& config, std::unique_ptr<CameraLink> camera);

  BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
               DWORD* bytesReturned) override;

  // ---- the request log: the first LogCapacity() requests since the last
  // ClearLog(); later ones are counted in LogDropped().
  std::vector<RequestRecord> Log() const;
  void ClearLog();
  std::size_t LogDropped() const;
  std::size_t LogCapacity() const;
  // Requests of one name in the log, in order ("poll", "negotiate", ...).
  std::vector<RequestRecord> LogOf(const std::string& name) const;

  std::optional<EntryStatus> Entry(const void* entry) const;
  const SimConfig& Config() const { return config_; }
  CameraLink& Camera() { return *camera_; }

 private:
  struct EntryState {
    int lpt = 0;
    bool claimed = false;
    PortPhase phase = PortPhase::Idle;
    BYTE mode = 0;
    BYTE option = 0;
    bool reversed = false;
    std::size_t idPosition = 0;  // next byte of the device ID stream
  };

  bool Injected(std::size_t requestIndex);
  DWORD Execute(const PortRequest& request, const PortRecord& record);

  DWORD Attach(const PortRecord& record);
  DWORD Claim(const PortRecord& record);
  DWORD Release(EntryState& entry);
  DWORD Negotiate(EntryState& entry, BYTE mode);
  DWORD FrameBegin(EntryState& entry, BYTE mode, BYTE option);
  DWORD FrameEnd(EntryState& entry);
  DWORD Reverse(EntryState& entry);
  DWORD WriteCommand(EntryState& entry, BYTE command, bool ecp);
  DWORD WriteBlock(EntryState& entry, const PortRecord& record, bool ecp);
  DWORD ReadBlock(EntryState& entry, const PortRecord& record, ReverseMode mode);
  DWORD ReadFrame(EntryState& entry, const PortRecord& record, ReverseMode mode, bool counted);
  DWORD ReadDeviceId(EntryState& entry, BYTE* data, DWORD count);
  void EndPhase(EntryState& entry);

  EntryState* Find(std::uint64_t address);
  EntryState* Claimed(std::uint64_t address);
  bool CameraOn(const EntryState& entry) const;
  bool Can(PortCapability needed) const;
  bool DataLinesTurn() const { return config_.mode != PortCapability::Nibble; }
  void Record(const RequestRecord& record);

  const SimConfig config_;
  const std::unique_ptr<CameraLink> camera_;
  std::string idStream_;  // 2-byte big-endian length (counting itself), then the text

  mutable std::mutex mutex_;
  std::map<std::uint64_t, EntryState> entries_;
  std::array<std::uint64_t, 4> claimedBy_ = {};  // entry address holding LPT n, 0 = free
  std::array<BYTE, 4> dataLatch_ = {};          // last byte the host drove on LPT n's data lines
  std::array<std::uint32_t, sizeof(kPortRequests) / sizeof(kPortRequests[0])> requestCounts_ = {};
  std::vector<RequestRecord> log_;
  std::size_t logDropped_ = 0;
};

// What a peripheral sends for its IEEE 1284 device ID: a 2-byte big-endian
// length that counts itself, then the text.
std::string DeviceIdStream(const std::string& text);

// Makes the camera the device presents from the parsed options.
using CameraMaker = std::unique_ptr<CameraLink> (*)(const SimConfig& config);

// Parses the options after "sim:" and builds the device around the camera that
// maker makes. nullptr with *error filled when the options are bad or no camera
// could be made.
std::unique_ptr<platform::PortDeviceBackend> MakeVirtualPortDevice(const std::string& options, std::string* error,
                                                                   CameraMaker maker);

}  // namespace sim
