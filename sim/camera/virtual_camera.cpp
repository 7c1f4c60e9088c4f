// The virtual camera: firmware, bus devices and frame engine.
#include "sim/camera/virtual_camera.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace sim {
namespace {

// The gain register (5): its low four bits switch gain stages in. The level
// each kind starts at (Normal lighting) gives the pictures the driver expects;
// each stage more adds a quarter of that, so "Low Light" is visibly brighter.
constexpr int kGainRegister = 5;
int GainStages(uint16_t word) { return __builtin_popcount(word & 0x0F); }
int ExposureOf(uint16_t gainWord, int sensorKind) {
  if ((gainWord >> 12) != kGainRegister) return 256;  // not written since reset
  const int startup = sensorKind == 0 ? 0 : 4;       // 0x5080 and 0x500F
  return 256 * (4 + GainStages(gainWord)) / (4 + startup);
}

// The factory's seeds: every camera built from the same configuration is the
// same camera, with the same defects and the same noise.
constexpr uint32_t kDefectSeed = 0x5A43;
constexpr uint64_t kNoiseSeed = 0x5A41524E43414Dull;

constexpr uint8_t kFrameModeNibble = 9;
constexpr uint8_t kFrameModeByte = 10;
constexpr uint8_t kFrameModeEcp = 11;
constexpr uint8_t kFrameFixed = 0;
constexpr uint8_t kFrameCounted = 64;
constexpr uint8_t kResetLinesA = 12;
constexpr uint8_t kResetLinesB = 4;

// A wait for the sensor never takes longer than a frame period; this bounds it
// should the clock stand still.
constexpr uint64_t kMaxSpins = 50'000'000;

// What the camera clocks out after the last byte of a frame when the host
// reads on: a pattern that does not repeat the frame.
inline uint8_t FillByte(uint64_t at) {
  return static_cast<uint8_t>(0xA5 ^ (at & 0xFF) ^ ((at >> 8) & 0xFF) ^ ((at >> 16) & 0xFF));
}

std::vector<FactoryDefect> SensorDefects(const SimConfig& config) {
  if (config.defects == kNoDefectMap || config.defects <= 0) return {};
  int count = config.defects;
  // The factory measures what the EEPROM can hold; a camera without an EEPROM
  // has its defects all the same.
  if (config.eepromBits != 0) count = std::min(count, DefectCapacity(config.eepromBits));
  return MakeFactoryDefects(count, kDefectSeed);
}

}  // namespace

VirtualCamera::VirtualCamera(const SimConfig& config)
    : deviceId_(config.id),
      period_(static_cast<DWORD>(std::max(1, config.periodMs))),
      transferLimit_(config.transferLimit == 0 ? 0x20000 : config.transferLimit),
      neverReady_(config.notready),
      unplugAfter_(config.unplugAfterFrames),
      stallFrom_(config.stallFromFrame),
      sensorKind_(config.sensor),
      sensor_(config.sensor, config.nackSensor),
      defects_(SensorDefects(config)),
      eeprom_(config.eepromBits, config.nackEeprom,
              BuildFactoryEeprom(config.eepromBits, config.defects != kNoDefectMap, defects_, config.badsum)),
      scene_(Scene::Make(config, &sceneError_)),
      sensorModel_(scene_, defects_, config.noise, config.dark, kNoiseSeed),
      windowFrame_(kMaxWindowBytes),
      freshYuv_(kMaxYuvBytes),
      hostYuv_(kMaxYuvBytes),
      unplugged_(config.unplugAfterFrames == 0),
      dump_(config.dumpDir) {
  bus_.Attach(&sensor_);
  bus_.Attach(&eeprom_);
  epoch_ = platform::TimeGetTime();
  idleReadyAt_ = NextBoundary();
}

VirtualCamera::~VirtualCamera() { CloseDeliveredFrame(); }

std::string VirtualCamera::DeviceIdText() const { return deviceId_; }

void VirtualCamera::Reset() {
  CloseDeliveredFrame();
  state_ = kStatePowerOn;
  havePending_ = false;
  command_ = {};
  status_ = {};
  matrix_ = kDefaultMatrix;
  request_ = {};
  inTransfer_ = false;
  hostValid_ = false;
  sensor_.PowerOnReset();
  eeprom_.PowerOnReset();
  bus_.Reset();
  // The sensor starts counting its frames again.
  epoch_ = platform::TimeGetTime();
  idleReadyAt_ = NextBoundary();
}

void VirtualCamera::OutputA(uint8_t value) {
  if (unplugged_) return;
  lastOutputA_ = value;
}

void VirtualCamera::OutputB(uint8_t value) {
  if (unplugged_) return;
  if (value == kResetLinesB && lastOutputA_ == kResetLinesA) Reset();
}

// ---- blocks

bool VirtualCamera::Command(uint8_t wireByte) {
  if (unplugged_) return false;
  // Whatever follows a frame but another band of it ends that frame.
  if (wireByte != kWireCommandBlock) CloseDeliveredFrame();
  if (unplugged_) return false;
  havePending_ = false;
  if (wireByte != kWireCommandBlock && wireByte != kWireStatusBlock && wireByte != kWireMatrixBlock) return false;
  havePending_ = true;
  pending_ = wireByte;
  return true;
}

bool VirtualCamera::Write(const uint8_t* data, size_t count) {
  if (unplugged_) return false;
  if (count == 0) return true;
  if (!havePending_ || count != kBlockBytes) {
    havePending_ = false;
    return false;
  }
  havePending_ = false;
  BlockWords words = UnpackBlock(data);
  switch (pending_) {
    case kWireCommandBlock:
      ExecuteCommand(words);
      return !unplugged_;
    case kWireStatusBlock:
      // Only the state word is taken from a written status block.
      if ((words[kStatusState] & kStateReady) == kStateReady) {
        state_ = neverReady_ ? kStateIdle : kStateReady;
      } else {
        state_ = kStateIdle;
      }
      return true;
    case kWireMatrixBlock:
      for (size_t i = 0; i < kBlockWords; ++i) matrix_[i] = static_cast<int16_t>(words[i]);
      return true;
    default:
      return false;
  }
}

bool VirtualCamera::Read(uint8_t* data, size_t count, ReverseMode) {
  if (unplugged_) return false;
  if (count == 0) return true;
  if (!havePending_ || pending_ != kWireStatusBlock || count > kBlockBytes) {
    havePending_ = false;
    return false;
  }
  havePending_ = false;
  // The firmware answers only between frames: while a requested frame is being
  // captured, the status waits for it.
  if (request_.kind != FrameKind::None && !WaitUntil(request_.readyAt)) return false;
  status_[kStatusFrameCount] = static_cast<uint16_t>(framesDelivered_ & 0xFFFF);
  status_[kStatusLastCommand] = command_[0];
  status_[kStatusDarkLevel] = static_cast<uint16_t>(sensorModel_.Dark());
  status_[kStatusFirmware] = kFirmwareRevision;
  status_[kStatusState] = state_;
  uint8_t bytes[kBlockBytes];
  PackBlock(status_, bytes);
  std::memcpy(data, bytes, count);
  // The reset flag is cleared once the host has seen it.
  state_ = static_cast<uint16_t>(state_ & ~kStatePowerOn);
  return true;
}

void VirtualCamera::ExecuteCommand(const BlockWords& words) {
  command_ = words;
  switch (words[0]) {
    case kCommandBus:
      CloseDeliveredFrame();
      ExecuteBusStep(words);
      break;
    case kCommandWindow: {
      WindowGeometry window = WindowFromCommand(words[3], words[4], words[5], words[6]);
      bool nextBand = bandOpen_ && window.firstRow == band_.endRow && window.firstPair == band_.firstPair &&
                      window.columns == band_.columns;
      if (!nextBand) CloseDeliveredFrame();
      if (state_ == kStateReady && !unplugged_) RequestFrame(FrameKind::Window, words);
      break;
    }
    case kCommandYuv:
      CloseDeliveredFrame();
      if (state_ == kStateReady && !unplugged_) RequestFrame(FrameKind::Yuv, words);
      break;
    default:
      // A cleared block, or a command this firmware does not know: nothing.
      CloseDeliveredFrame();
      break;
  }
}

void VirtualCamera::ExecuteBusStep(const BlockWords& words) {
  switch (words[2]) {
    case kBusStart:
      bus_.Start();
      break;
    case kBusStop:
      bus_.Stop();
      break;
    case kBusWrite:
      status_[kStatusAck] = bus_.WriteByte(static_cast<uint8_t>(words[3] & 0xFF)) ? 1 : 0;
      break;
    case kBusRead:
      status_[kStatusReadByte] = bus_.ReadByte(words[4] != 0);
      break;
    default:
      break;
  }
}

// ---- pacing

bool VirtualCamera::Reached(DWORD when) const {
  DWORD now = platform::TimeGetTime();
  // A frame is never more than a period away; a clock that went back (a test
  // restarting its virtual clock) counts as having reached it.
  DWORD ahead = when - now;
  return static_cast<int32_t>(now - when) >= 0 || ahead > period_;
}

bool VirtualCamera::WaitUntil(DWORD when) {
  for (uint64_t spins = 0; !Reached(when); ++spins) {
    if (spins >= kMaxSpins) return false;
    // Not reached means at most a period away: sleep until then.
    const DWORD now = platform::TimeGetTime();
    platform::WaitElapsed(now, when - now);
  }
  return true;
}

void VirtualCamera::RequestFrame(FrameKind kind, const BlockWords& words) {
  // The frame requested is the one the sensor completes at its next boundary.
  DWORD now = platform::TimeGetTime();
  uint32_t frame = (now - epoch_) / period_ + 1;
  request_ = {};
  request_.kind = kind;
  request_.sensorFrame = frame;
  request_.readyAt = epoch_ + frame * period_;
  if (kind == FrameKind::Window) {
    request_.window = WindowFromCommand(words[3], words[4], words[5], words[6]);
  } else {
    request_.yuv = YuvFromCommand(words[5], words[6], words[7], words[8]);
    request_.temporal = (words[2] & kFlagTemporalDifference) != 0;
    request_.lumaThreshold = std::max(0, static_cast<int>(static_cast<int16_t>(words[3])));
    request_.chromaThreshold = std::max(0, static_cast<int>(static_cast<int16_t>(words[4])));
  }
}

bool VirtualCamera::FrameReady() {
  if (unplugged_) return false;
  // A requested frame is ready once captured. With nothing requested the line
  // shows the sensor finishing a frame since the last transfer: the host reads
  // a banded frame on that, sending each band's window before its transfer.
  return Reached(request_.kind != FrameKind::None ? request_.readyAt : idleReadyAt_);
}

DWORD VirtualCamera::NextBoundary() const {
  DWORD now = platform::TimeGetTime();
  return epoch_ + ((now - epoch_) / period_ + 1) * period_;
}

// ---- frame transfers

void VirtualCamera::BuildFrame() {
  sensorModel_.Expose(request_.sensorFrame);
  sensorModel_.SetExposure(ExposureOf(sensor_.Register(kGainRegister), sensorKind_));
  if (request_.kind == FrameKind::Window) {
    frameLength_ = BuildWindowFrame(sensorModel_, request_.sensorFrame, request_.window, windowFrame_.data());
    frameData_ = windowFrame_.data();
    frameCounted_ = static_cast<uint32_t>(frameLength_);
    frameCoded_ = false;
  } else {
    const YuvGeometry& geometry = request_.yuv;
    size_t built = BuildYuvFrame(sensorModel_, request_.sensorFrame, geometry, matrix_, freshYuv_.data());
    frameLength_ = geometry.FrameBytes();
    bool sameWindow = hostValid_ && hostGeometry_.width == geometry.width &&
                      hostGeometry_.height == geometry.height && hostGeometry_.x0 == geometry.x0 &&
                      hostGeometry_.y0 == geometry.y0;
    if (request_.temporal && sameWindow) {
      frameCounted_ = CodeTemporalDifference(freshYuv_.data(), hostYuv_.data(), geometry, request_.lumaThreshold,
                                             request_.chromaThreshold);
      frameCoded_ = true;
    } else {
      std::memcpy(hostYuv_.data(), freshYuv_.data(), built);
      hostGeometry_ = geometry;
      hostValid_ = true;
      frameCounted_ = static_cast<uint32_t>(frameLength_);
      frameCoded_ = false;
    }
    frameData_ = hostYuv_.data();
  }
  request_.built = true;
}

bool VirtualCamera::BeginFrame(uint8_t mode, uint8_t option) {
  if (unplugged_ || request_.kind == FrameKind::None) return false;
  if (mode != kFrameModeNibble && mode != kFrameModeByte && mode != kFrameModeEcp) return false;
  if (option != kFrameFixed && option != kFrameCounted) return false;
  if (!WaitUntil(request_.readyAt)) return false;
  if (!request_.built) BuildFrame();
  int cameraMode = request_.kind == FrameKind::Yuv ? 2 : 1;
  if (bandOpen_ && bandMode_ != cameraMode) CloseDeliveredFrame();
  if (!bandOpen_) {
    bandOpen_ = true;
    bandMode_ = cameraMode;
    bandBytes_ = 0;
    band_ = request_.window;
    band_.endRow = band_.firstRow;
    if (cameraMode == 2) {
      dump_.Begin(2, request_.yuv.width, request_.yuv.height);
    } else {
      dump_.Begin(1, request_.window.columns, 0);
    }
  }
  inTransfer_ = true;
  transferOffset_ = 0;
  transferMoved_ = 0;
  return true;
}

uint32_t VirtualCamera::ReadFrame(uint8_t* data, uint32_t count, bool counted, ReverseMode) {
  if (unplugged_ || !inTransfer_ || count == 0) return 0;
  if (stallFrom_ > 0 && framesDelivered_ + 1 >= static_cast<uint32_t>(stallFrom_)) {
    // The camera stops sending halfway through the frame: what came is in the
    // buffer, and the port device's time-out fails the transfer.
    const uint32_t half = std::min<uint32_t>(count, static_cast<uint32_t>(frameLength_)) / 2;
    if (half > 0) std::memcpy(data, frameData_, half);
    return counted ? 0 : half;
  }
  if (counted) {
    // The whole frame (what the host holds of it after decoding) lands in the
    // buffer; the reported length is what travelled.
    size_t left = transferOffset_ < frameLength_ ? frameLength_ - static_cast<size_t>(transferOffset_) : 0;
    size_t moved = std::min<size_t>(left, count);
    if (moved == 0) return 0;
    std::memcpy(data, frameData_ + transferOffset_, moved);
    transferOffset_ += moved;
    transferMoved_ += moved;
    NoteDelivered(data, moved);
    uint32_t reported = frameCoded_ ? std::min<uint32_t>(frameCounted_, static_cast<uint32_t>(moved))
                                    : static_cast<uint32_t>(moved);
    lastCounted_ = std::max<uint32_t>(reported, 1);
    dump_.SetCountedLength(lastCounted_);
    return lastCounted_;
  }
  // A fixed transfer moves every byte asked for: the frame, then the fill
  // pattern; a transfer longer than the camera's limit starts over at its
  // first byte (the 32 KB wrap).
  for (uint32_t done = 0; done < count;) {
    uint64_t at = (transferOffset_ + done) % transferLimit_;
    uint32_t run = static_cast<uint32_t>(std::min<uint64_t>(count - done, transferLimit_ - at));
    if (at < frameLength_) {
      uint32_t fromFrame = static_cast<uint32_t>(std::min<uint64_t>(run, frameLength_ - at));
      std::memcpy(data + done, frameData_ + at, fromFrame);
      done += fromFrame;
    } else {
      for (uint32_t i = 0; i < run; ++i) data[done + i] = FillByte(at + i);
      done += run;
    }
  }
  transferOffset_ += count;
  transferMoved_ += count;
  NoteDelivered(data, count);
  return count;
}

bool VirtualCamera::EndFrame() {
  if (!inTransfer_) return false;
  inTransfer_ = false;
  if (transferMoved_ == 0) return true;  // nothing was read: the frame stays ready
  FrameKind kind = request_.kind;
  idleReadyAt_ = NextBoundary();
  if (kind == FrameKind::Window) {
    band_.endRow = request_.window.endRow;
    dump_.AddRows(request_.window.Rows());
  }
  request_ = {};
  // A mode-2 frame is complete now; the camera may go away after it.
  if (kind == FrameKind::Yuv) CloseDeliveredFrame();
  return true;
}

void VirtualCamera::NoteDelivered(const uint8_t* data, size_t count) {
  bandBytes_ += count;
  if (dump_.Enabled()) dump_.Append(data, count);
}

void VirtualCamera::CloseDeliveredFrame() {
  if (!bandOpen_) return;
  bandOpen_ = false;
  if (bandBytes_ == 0) return;  // opened, but nothing was ever read
  ++framesDelivered_;
  if (dump_.Enabled()) dump_.Write(framesDelivered_, sensorModel_.Dark());
  if (unplugAfter_ > 0 && framesDelivered_ >= static_cast<uint32_t>(unplugAfter_)) unplugged_ = true;
}

}  // namespace sim
