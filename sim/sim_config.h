// What the virtual camera is configured to be: the parsed form of
// ZARNCAP_CAMERA=sim[:key=value,...]. The port device reads the port keys, the
// camera behind it the camera keys; README.md in this folder lists them all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace sim {

// What the port and the camera can do together (`mode=`).
enum class PortCapability {
  Ecp,             // ECP, byte-wide and nibble transfers
  Byte,            // byte-wide and nibble transfers
  Nibble,          // nibble transfers only: the data lines cannot be turned round
  ByteUnreliable,  // byte-wide identification works, byte-wide data transfers fail
};

enum class SceneKind { Bars, Chart, Ramp, Flat, File, Moving };

// One `fail=<request>[@<n>]`: the n-th request with that control code fails
// (counting from 1), or every one when nth is 0.
struct FailRule {
  DWORD code = 0;
  uint32_t nth = 0;
};

constexpr int kNoPort = 0;         // `port=none`
constexpr int kNoDefectMap = -1;   // `defects=none`
constexpr int kNeverUnplug = -1;   // no `unplug=`
constexpr int kNeverStall = 0;     // no `stall=`
constexpr int kMaxDefects = 160;   // the defect table's size
inline constexpr const char* kDefaultDeviceId =
    "MFG:Zarn;MDL:ZarnCam PC;CMD:ZARN;CLS:CAMERA;DES:Zarn parallel-port colour camera;";

struct SimConfig {
  // ---- the port side
  int port = 1;                                // LPT number the camera hangs on, 1..3, or kNoPort
  PortCapability mode = PortCapability::Ecp;   // what the port and camera can do
  std::string id = kDefaultDeviceId;           // device ID text (without its length field)
  std::vector<FailRule> fail;                  // injected request failures

  // ---- the camera side
  int sensor = 0;                  // sensor kind, 0 or 1
  int eepromBits = 1024;           // 0 (none answers), 1024 or 4096
  int defects = 8;                 // factory defect count, 0..160, or kNoDefectMap
  int periodMs = 66;               // sensor frame period
  SceneKind scene = SceneKind::Chart;
  uint8_t flatRgb[3] = {128, 128, 128};  // scene=flat:<r>,<g>,<b>
  std::string sceneFile;                 // scene=file:<path> (PNG or PPM)
  double noise = 1.0;              // sigma of the sensor noise, in grey levels
  int dark = 16;                   // dark level the camera reports in s6, 0..255
  uint32_t transferLimit = 0x20000;  // largest frame transfer before it wraps: 0x8000 (32k) or 0x20000 (128k)
  bool nackSensor = false;         // the sensor never acknowledges a bus byte
  bool nackEeprom = false;         // the EEPROM never acknowledges a bus byte
  bool badsum = false;             // the factory defect map is stored with a wrong checksum
  bool notready = false;           // the camera's state word never reads ready
  int unplugAfterFrames = kNeverUnplug;  // the camera goes away after this many frames
  int stallFromFrame = kNeverStall;      // from this frame on (counting from 1) each frame stops halfway
  std::string dumpDir;             // write every delivered frame to <dir>/frame-<n>.raw/.txt
};

// Parses the options after "sim:" (may be empty: all defaults). On a bad key or
// value returns false, leaves *config as it was and says what is wrong in *error,
// naming the key.
bool ParseSimConfig(const std::string& options, SimConfig* config, std::string* error);

// The request name used by `fail=`: the control code's IOCTL name without
// "IOCTL_PORT_", in lower case ("poll", "frame_begin"); nullptr for a code
// outside the request set.
const char* RequestShortName(DWORD code);

}  // namespace sim
