#include "parport/port_model.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "port/port_records.h"
#include "sim/port_device_sim.h"

namespace port_model {

namespace {
PortModel* current = nullptr;

constexpr int kAllModes = CAP1284_RAW | CAP1284_NIBBLE | CAP1284_BYTE | CAP1284_COMPAT | CAP1284_ECP;
constexpr int kPhaseCompat = -1;
constexpr ssize_t kTimedOut = E1284_TIMEDOUT;
constexpr int kPhaseExtLink = -2;

int CapsFor(sim::PortCapability mode) {
  switch (mode) {
    case sim::PortCapability::Ecp:
      return kAllModes;
    case sim::PortCapability::Nibble:
      return kAllModes & ~(CAP1284_BYTE | CAP1284_ECP);
    default:
      return kAllModes & ~CAP1284_ECP;
  }
}

bool IsFrameRequest(int value) {
  const int mode = value & 0x3F;
  return mode >= PORT_FRAME_NIBBLE && mode <= PORT_FRAME_ECP && (value & ~0x7F) == 0 && (value & 0x30) == 0;
}

int IeeeModeOfFrame(int frameMode) {
  return frameMode == PORT_FRAME_NIBBLE ? M1284_NIBBLE : frameMode == PORT_FRAME_BYTE ? M1284_BYTE : M1284_ECP;
}
}  // namespace

struct PortModel::Port {
  parport record = {};
  std::string name, file;
  bool camera = false;
  bool open = false;
  bool claimed = false;
  int phase = kPhaseCompat;  // the M1284 mode negotiated, or compat / ext link
  bool deviceId = false;
  std::size_t idAt = 0;
  int pendingFrame = -1;     // frame request accepted through the extensibility link
  bool inFrame = false;
  bool frameCounted = false;
  bool ecpReverse = false;
  bool dataReverse = false;
  unsigned char control = C1284_NAUTOFD | C1284_NSTROBE | C1284_NINIT;
  timeval timeout = {1, 0};
};

PortModel::PortModel(const std::string& simOptions, std::vector<ModelPort> ports) {
  std::string error;
  if (!sim::ParseSimConfig(simOptions, &config_, &error)) throw std::invalid_argument(error);
  camera_ = sim::MakeCamera(config_);
  idStream_ = sim::DeviceIdStream(camera_->DeviceIdText());
  caps_ = CapsFor(config_.mode);
  int ppdevSeen = 0;
  for (const ModelPort& spec : ports) {
    auto port = std::make_unique<Port>();
    port->name = spec.name;
    port->file = spec.file;
    port->record.name = port->name.c_str();
    port->record.filename = port->file.c_str();
    port->record.base_addr = spec.base;
    if (spec.file.rfind("/dev/parport", 0) == 0) port->camera = ++ppdevSeen == config_.port;
    ports_.push_back(std::move(port));
  }
  current = this;
}

PortModel::~PortModel() {
  if (current == this) current = nullptr;
}

PortModel::Port* PortModel::Find(const parport* port) {
  for (auto& candidate : ports_) {
    if (&candidate->record == port) return candidate.get();
  }
  return nullptr;
}

bool PortModel::CameraOn(const Port& port) const { return port.camera && camera_->Present(); }

std::vector<int> PortModel::Negotiations() const {
  std::lock_guard lock(mutex_);
  return negotiations_;
}
int PortModel::ProtocolErrors() const {
  std::lock_guard lock(mutex_);
  return protocolErrors_;
}
int PortModel::FrameReads() const {
  std::lock_guard lock(mutex_);
  return frameReads_;
}
bool PortModel::AnyOpenOrClaimed() const {
  std::lock_guard lock(mutex_);
  for (const auto& port : ports_) {
    if (port->open || port->claimed) return true;
  }
  return false;
}

ssize_t PortModel::Serve(Port& port, char* buffer, size_t length, sim::ReverseMode mode) {
  if (!CameraOn(port)) return E1284_TIMEDOUT;
  auto* data = reinterpret_cast<uint8_t*>(buffer);
  if (port.deviceId) {
    const size_t left = idStream_.size() - port.idAt;
    const size_t n = std::min(left, length);
    if (n == 0) return E1284_TIMEDOUT;
    std::memcpy(data, idStream_.data() + port.idAt, n);
    port.idAt += n;
    return static_cast<ssize_t>(n);
  }
  if (port.inFrame) {
    const int read = ++frameReads_;
    if (read == faults.stalledFrameRead) return E1284_TIMEDOUT;
    const uint32_t moved = camera_->ReadFrame(data, static_cast<uint32_t>(length), port.frameCounted, mode);
    if (moved == 0) return E1284_TIMEDOUT;
    return read == faults.shortFrameRead ? static_cast<ssize_t>(moved / 2) : static_cast<ssize_t>(moved);
  }
  if (mode == sim::ReverseMode::Byte && config_.mode == sim::PortCapability::ByteUnreliable) return E1284_TIMEDOUT;
  return camera_->Read(data, length, mode) ? static_cast<ssize_t>(length) : kTimedOut;
}

// The calls table: each call checks what a real port would refuse, then
// plays the port and the peripheral.
struct Route {
  static PortModel& Model() { return *current; }
  static PortModel::Port* Claimed(parport* port) {
    PortModel::Port* found = Model().Find(port);
    if (found == nullptr || !found->claimed) return nullptr;
    return found;
  }
  static int Fault() {
    ++Model().protocolErrors_;
    return E1284_INVALIDPORT;
  }

  static int FindPorts(parport_list* list, int) {
    list->portc = static_cast<int>(Model().ports_.size());
    list->portv = new parport*[Model().ports_.size() + 1];
    for (size_t i = 0; i < Model().ports_.size(); ++i) list->portv[i] = &Model().ports_[i]->record;
    return E1284_OK;
  }
  static void FreePorts(parport_list* list) {
    delete[] list->portv;
    list->portv = nullptr;
    list->portc = 0;
  }
  static int Open(parport* port, int, int* caps) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Model().Find(port);
    if (found == nullptr || found->open) return E1284_INVALIDPORT;
    if (Model().faults.openErrno != 0) {
      errno = Model().faults.openErrno;
      return E1284_INIT;
    }
    found->open = true;
    if (caps != nullptr) *caps = found->camera ? Model().caps_ : kAllModes;
    return E1284_OK;
  }
  static int Close(parport* port) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Model().Find(port);
    if (found == nullptr || !found->open || found->claimed) return Fault();
    found->open = false;
    return E1284_OK;
  }
  static int Claim(parport* port) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Model().Find(port);
    if (found == nullptr || !found->open || found->claimed) return Fault();
    if (Model().faults.claimFails) return E1284_SYS;
    found->claimed = true;
    return E1284_OK;
  }
  static void Release(parport* port) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) {
      Fault();
      return;
    }
    if (found->phase != kPhaseCompat) Fault();  // IEEE 1284: terminate before letting go
    found->claimed = false;
  }
  static int Negotiate(parport* port, int mode) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) return Fault();
    Model().negotiations_.push_back(mode);
    if (mode == M1284_COMPAT) return DoTerminate(*found), E1284_OK;
    if (found->phase != kPhaseCompat) return Fault();  // a strict peripheral wants terminate in between
    if (!Model().CameraOn(*found)) return E1284_NEGFAILED;  // nobody answers
    if (Model().faults.rejectNegotiation) return E1284_REJECTED;
    if ((mode & M1284_FLAG_EXT_LINK) != 0) {
      if (!IsFrameRequest(mode & 0x7F)) return E1284_REJECTED;
      found->phase = kPhaseExtLink;
      found->pendingFrame = mode & 0x7F;
      return E1284_OK;
    }
    const int base = mode & ~M1284_FLAG_DEVICEID;
    if (base == M1284_BYTE && (Model().caps_ & CAP1284_BYTE) == 0) return E1284_NOTAVAIL;
    if (base == M1284_ECP && (Model().caps_ & CAP1284_ECP) == 0) return E1284_NOTAVAIL;
    if (base != M1284_NIBBLE && base != M1284_BYTE && base != M1284_ECP) return E1284_REJECTED;
    const int pending = found->pendingFrame;
    found->pendingFrame = -1;
    if (pending >= 0 && (mode & M1284_FLAG_DEVICEID) == 0) {
      if (IeeeModeOfFrame(pending & 0x3F) != base) return E1284_REJECTED;
      if (!Model().camera_->BeginFrame(static_cast<uint8_t>(pending & 0x3F), static_cast<uint8_t>(pending & 0x40))) {
        return E1284_REJECTED;
      }
      found->inFrame = true;
      found->frameCounted = (pending & 0x40) != 0;
    }
    found->phase = base;
    found->deviceId = (mode & M1284_FLAG_DEVICEID) != 0;
    found->idAt = 0;
    return E1284_OK;
  }
  static void DoTerminate(PortModel::Port& port) {
    if (port.inFrame && Model().CameraOn(port)) Model().camera_->EndFrame();
    if (port.phase != kPhaseExtLink) port.pendingFrame = -1;
    port.phase = kPhaseCompat;
    port.inFrame = false;
    port.deviceId = false;
    port.ecpReverse = false;
    port.dataReverse = false;
  }
  static void Terminate(parport* port) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) {
      Fault();
      return;
    }
    DoTerminate(*found);
  }
  static int EcpFwdToRev(parport* port) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr || found->phase != M1284_ECP || found->ecpReverse) return Fault();
    found->ecpReverse = true;
    return E1284_OK;
  }
  static ssize_t Read(parport* port, char* buffer, size_t length, int phase, sim::ReverseMode mode) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr || found->phase != phase) return Fault();
    if (mode == sim::ReverseMode::Byte && !found->dataReverse) return Fault();
    if (mode == sim::ReverseMode::Ecp && !found->ecpReverse) return Fault();
    return Model().Serve(*found, buffer, length, mode);
  }
  static ssize_t NibbleRead(parport* port, int, char* buffer, size_t length) {
    return Read(port, buffer, length, M1284_NIBBLE, sim::ReverseMode::Nibble);
  }
  static ssize_t ByteRead(parport* port, int, char* buffer, size_t length) {
    return Read(port, buffer, length, M1284_BYTE, sim::ReverseMode::Byte);
  }
  static ssize_t EcpReadData(parport* port, int, char* buffer, size_t length) {
    return Read(port, buffer, length, M1284_ECP, sim::ReverseMode::Ecp);
  }
  // Forward bytes: command bytes one by one, or a data block.
  static ssize_t Forward(PortModel::Port& port, const char* buffer, size_t length, bool command) {
    if (!Model().CameraOn(port)) return E1284_TIMEDOUT;
    const auto* data = reinterpret_cast<const uint8_t*>(buffer);
    if (!command) return Model().camera_->Write(data, length) ? static_cast<ssize_t>(length) : kTimedOut;
    for (size_t i = 0; i < length; ++i) {
      if (!Model().camera_->Command(data[i])) return i == 0 ? kTimedOut : static_cast<ssize_t>(i);
    }
    return static_cast<ssize_t>(length);
  }
  static ssize_t CompatWrite(parport* port, int, const char* buffer, size_t length) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr || found->phase != kPhaseCompat || found->dataReverse) return Fault();
    return Forward(*found, buffer, length, (found->control & C1284_NAUTOFD) == 0);
  }
  static ssize_t EcpWrite(parport* port, const char* buffer, size_t length, bool command) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr || found->phase != M1284_ECP || found->ecpReverse) return Fault();
    return Forward(*found, buffer, length, command);
  }
  static ssize_t EcpWriteData(parport* port, int, const char* buffer, size_t length) {
    return EcpWrite(port, buffer, length, false);
  }
  static ssize_t EcpWriteAddr(parport* port, int, const char* buffer, size_t length) {
    return EcpWrite(port, buffer, length, true);
  }
  static int DataDir(parport* port, int reverse) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) return Fault();
    if (reverse != 0 && found->camera && (Model().caps_ & CAP1284_BYTE) == 0) return E1284_NOTAVAIL;
    found->dataReverse = reverse != 0;
    return E1284_OK;
  }
  static void WriteData(parport* port, unsigned char value) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr || found->dataReverse) {
      Fault();
      return;
    }
    if (Model().CameraOn(*found)) Model().camera_->OutputB(value);
  }
  static int ReadStatus(parport* port) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) return Fault();
    const bool ready = Model().CameraOn(*found) && Model().camera_->FrameReady();
    return S1284_SELECT | S1284_BUSY | (ready ? 0 : S1284_NFAULT);
  }
  static void WriteControl(parport* port, unsigned char lines) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) {
      Fault();
      return;
    }
    found->control = lines;
    if (Model().CameraOn(*found)) Model().camera_->OutputA(static_cast<uint8_t>(lines ^ C1284_INVERTED));
  }
  static void FrobControl(parport* port, unsigned char mask, unsigned char lines) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) {
      Fault();
      return;
    }
    found->control = static_cast<unsigned char>((found->control & ~mask) | (lines & mask));
  }
  static timeval* SetTimeout(parport* port, timeval* timeout) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) return nullptr;
    if (timeout != nullptr) found->timeout = *timeout;
    return &found->timeout;
  }
  static ssize_t GetDeviceId(parport* port, int, int, char* buffer, size_t length) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Model().Find(port);
    if (found == nullptr || !found->open) return E1284_INVALIDPORT;
    if (!Model().CameraOn(*found)) return E1284_NOID;
    const size_t n = std::min(length, Model().idStream_.size() + 1);
    std::memcpy(buffer, Model().idStream_.c_str(), n);
    return static_cast<ssize_t>(n);
  }
  static std::string Holder(const parport*) { return Model().faults.holder; }
};

const parallel::Ieee1284Calls& PortModel::Calls() {
  static const parallel::Ieee1284Calls calls = {
      &Route::FindPorts,   &Route::FreePorts,    &Route::Open,        &Route::Close,       &Route::Claim,
      &Route::Release,     &Route::Negotiate,    &Route::Terminate,   &Route::EcpFwdToRev, &Route::NibbleRead,
      &Route::ByteRead,    &Route::CompatWrite,  &Route::EcpReadData, &Route::EcpWriteData, &Route::EcpWriteAddr,
      &Route::DataDir,     &Route::WriteData,    &Route::ReadStatus,  &Route::WriteControl, &Route::FrobControl,
      &Route::SetTimeout,  &Route::GetDeviceId,  &Route::Holder,
  };
  return calls;
}

}  // namespace port_model
