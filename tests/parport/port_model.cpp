// The sources each behaviour follows:
//  [lib]    libieee1284 0.2.11: src/access_ppdev.c (the ppdev access methods),
//           src/state.c (ieee1284_open), src/interface.c (claim, release),
//           src/detect.c and src/ports.c (the port search), src/deviceid.c.
//  [ppdev]  the kernel's drivers/char/ppdev.c (pp_read, pp_write, PPCLAIM).
//  [1284]   drivers/parport/ieee1284.c (parport_negotiate, terminate,
//           parport_read/write) and ieee1284_ops.c (the software transfers).
//  [pc]     drivers/parport/parport_pc.c (which modes a PC port offers, and
//           its FIFO writers' fallback to the software ones).
#include "parport/port_model.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "port/port_records.h"
#include "sim/camera/virtual_camera.h"
#include "sim/port_device_sim.h"

namespace port_model {

namespace {
PortModel* current = nullptr;

constexpr int kAllModes = CAP1284_RAW | CAP1284_NIBBLE | CAP1284_BYTE | CAP1284_COMPAT | CAP1284_ECP;
// [lib] state.c ieee1284_open's starting set, with access_io.c's RAW: what a
// port reached by direct I/O reports (the library probes no hardware ECP).
constexpr int kDirectIoModes = CAP1284_NIBBLE | CAP1284_BYTE | CAP1284_COMPAT | CAP1284_ECPSWE | CAP1284_RAW;
// [ppdev] PP_BUFFER_SIZE: one read() or write() moves at most this much.
constexpr std::size_t kPpdevBuffer = 1024;
// [1284] parport_wait_peripheral: 35 ms of fast polling then up to 40 ms of
// slow polling before a handshake counts as timed out; a read that waits out
// a pause (or finds nothing) has spent about this long.
constexpr std::uint64_t kHandshakeWaitMs = 40;
// [ppdev] the inactivity time-out a blocking write runs under (the pardevice
// default, put back by pp_write around every call).
constexpr std::uint64_t kBlockingWriteMs = 5000;
constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();
// The camera's reset: control register 12, then data 4.
constexpr std::uint8_t kResetControl = 12;
constexpr std::uint8_t kResetData = 4;

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

int BaseMode(int mode) { return mode & ~(M1284_FLAG_DEVICEID | M1284_FLAG_EXT_LINK); }
}  // namespace

struct PortModel::Port {
  parport record = {};
  std::string name, file;
  bool ppdev = false;
  bool camera = false;
  bool open = false;
  bool claimed = false;
  bool nonblock = false;    // O_NONBLOCK on the port's file
  int mode = M1284_COMPAT;  // the kernel's negotiated mode, with its flag bits
  bool ecpReverse = false;  // the kernel's ECP reader has turned the cable (phase REV_IDLE)
  bool hostDrives = true;   // the host's data-line drivers are on
  std::size_t idAt = 0;
  int pendingFrame = -1;    // frame request accepted through the extensibility link
  bool inFrame = false;
  bool frameCounted = false;
  int transfer = 0;         // the frame transfer's number
  std::uint64_t sent = 0;   // its bytes sent so far
  std::uint64_t end = kUnbounded;      // where the camera ends its data
  std::uint64_t stallAt = kUnbounded;  // where the camera stops sending without ending
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
    port->ppdev = spec.file.rfind("/dev/parport", 0) == 0;
    port->record.name = port->name.c_str();
    port->record.filename = port->file.c_str();
    port->record.base_addr = spec.base;
    if (port->ppdev) port->camera = ++ppdevSeen == config_.port;
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

int PortModel::KernelCaps(const Port& port) const { return port.camera ? caps_ : kAllModes; }

std::vector<int> PortModel::Negotiations() const {
  std::lock_guard lock(mutex_);
  return negotiations_;
}
int PortModel::ProtocolErrors() const {
  std::lock_guard lock(mutex_);
  return protocolErrors_;
}
int PortModel::Hangs() const {
  std::lock_guard lock(mutex_);
  return hangs_;
}
int PortModel::FrameReads() const {
  std::lock_guard lock(mutex_);
  return frameTransfers_;
}
std::uint64_t PortModel::NowMs() const {
  std::lock_guard lock(mutex_);
  return nowMs_;
}
std::vector<std::uint8_t> PortModel::CommandBytes() const {
  std::lock_guard lock(mutex_);
  return commandBytes_;
}
std::size_t PortModel::LargestRead() const {
  std::lock_guard lock(mutex_);
  return largestRead_;
}
bool PortModel::AnyOpenOrClaimed() const {
  std::lock_guard lock(mutex_);
  for (const auto& port : ports_) {
    if (port->open || port->claimed) return true;
  }
  return false;
}

// [lib] detect.c check_dev_node: the search opens /dev/parportN for reading.
bool PortModel::SearchedNode(const Port& port) const {
  return port.ppdev && !faults.noNodeAccess && faults.openErrno == 0;
}

// ---- the camera's side of the cable

// Whether the camera has reverse data: nDataAvail (nibble, byte) or
// nPeriphRequest (ECP), both on nFault, low = data.
bool PortModel::HasData(Port& port) {
  if (!CameraOn(port)) return false;
  if (port.inFrame) return port.sent < port.end;
  if ((port.mode & M1284_FLAG_DEVICEID) != 0) return port.idAt < idStream_.size();
  // A status block after its command; otherwise whether a frame is ready.
  if (awaitingBlock_ && lastCommand_ == sim::kWireStatusBlock && block_.empty()) return true;
  return camera_->FrameReady();
}

// The status lines as the library reports them (a set bit = the line high;
// [lib] read_status undoes the register's inverted Busy).
int PortModel::Lines(Port& port) {
  // Nothing on the cable: the pull-ups leave every line high (Busy high:
  // never ready; PError high: out of paper).
  if (!CameraOn(port)) return S1284_NFAULT | S1284_SELECT | S1284_PERROR | S1284_NACK | S1284_BUSY;
  // Idle and forward: selected, no error, paper, not busy.
  int lines = S1284_NFAULT | S1284_SELECT | S1284_NACK;
  if (port.mode != M1284_COMPAT && BaseMode(port.mode) != M1284_ECP) {
    if (HasData(port)) lines &= ~S1284_NFAULT;  // reverse phase: nDataAvail
  } else if (BaseMode(port.mode) == M1284_ECP && port.ecpReverse) {
    if (HasData(port)) lines &= ~S1284_NFAULT;  // nPeriphRequest
  }
  switch (faults.held) {
    case HeldLine::FaultLow:
      lines &= ~S1284_NFAULT;
      break;
    case HeldLine::BusyHigh:
      lines |= S1284_BUSY;
      break;
    case HeldLine::PaperOutHigh:
      lines |= S1284_PERROR;
      break;
    case HeldLine::SelectLow:
      lines &= ~S1284_SELECT;
      break;
    default:
      break;
  }
  return lines;
}

// One read call's worth of a frame: up to the limit, a pause, the end of the
// data or the stall.
std::size_t PortModel::ServeFrame(Port& port, std::uint8_t* data, std::size_t limit, bool* paused) {
  const std::uint64_t stop = std::min(port.end, port.stallAt);
  if (port.sent >= stop) return 0;
  std::uint64_t n = std::min<std::uint64_t>(limit, stop - port.sent);
  if (faults.pauseEvery != 0) n = std::min<std::uint64_t>(n, faults.pauseEvery - port.sent % faults.pauseEvery);
  const std::uint32_t got = camera_->ReadFrame(data, static_cast<std::uint32_t>(n), false, sim::ReverseMode::Nibble);
  port.sent += got;
  *paused = got < limit && faults.pauseEvery != 0 && port.sent % faults.pauseEvery == 0;
  return got;
}

std::size_t PortModel::Serve(Port& port, std::uint8_t* data, std::size_t limit, sim::ReverseMode mode,
                             bool* paused) {
  *paused = false;
  if (!CameraOn(port)) return 0;
  if ((port.mode & M1284_FLAG_DEVICEID) != 0) {
    const std::size_t n = std::min(idStream_.size() - std::min(port.idAt, idStream_.size()), limit);
    std::memcpy(data, idStream_.data() + port.idAt, n);
    port.idAt += n;
    return n;
  }
  // `mode=byte-unreliable`: past the identification, byte-wide data never comes.
  if (mode == sim::ReverseMode::Byte && config_.mode == sim::PortCapability::ByteUnreliable) return 0;
  if (port.inFrame) return ServeFrame(port, data, limit, paused);
  if (!HasData(port) || !awaitingBlock_) return 0;
  awaitingBlock_ = false;
  return camera_->Read(data, limit, mode) ? limit : 0;
}

// Bytes strobed in compatibility mode: a command byte when the camera waits
// for none of a block, else the block's next byte.
void PortModel::Strobed(const std::uint8_t* data, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (awaitingBlock_) {
      EcpData(data + i, 1);
      continue;
    }
    commandBytes_.push_back(data[i]);
    lastCommand_ = data[i];
    awaitingBlock_ = camera_->Command(data[i]);
    block_.clear();
  }
}

void PortModel::EcpData(const std::uint8_t* data, std::size_t count) {
  if (!awaitingBlock_) {
    camera_->Write(data, count);  // the camera refuses data it did not ask for
    return;
  }
  block_.insert(block_.end(), data, data + count);
  if (block_.size() < sim::kBlockBytes) return;
  camera_->Write(block_.data(), block_.size());
  awaitingBlock_ = false;
  block_.clear();
}

// A phase ended in the middle of a block: the camera drops it.
void PortModel::CutBlock() {
  if (!awaitingBlock_ || block_.empty()) return;
  camera_->Write(block_.data(), block_.size());
  awaitingBlock_ = false;
  block_.clear();
}

// ---- the calls table: each call checks what the real one would refuse, then
// plays the kernel and the peripheral.
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
  static std::string HolderOf(const PortModel::Port& port) {
    const ModelFaults& faults = Model().faults;
    if (!port.ppdev || (!faults.heldPort.empty() && faults.heldPort != port.name)) return "";
    return faults.holder;
  }
  // [ppdev] PPCLAIM: parport_claim_or_block sleeps until the holder lets go;
  // here that is for ever.
  static int KernelClaim(PortModel::Port& port) {
    if (!HolderOf(port).empty()) {
      ++Model().hangs_;
      return E1284_SYS;
    }
    if (Model().faults.claimFails) return E1284_SYS;
    return E1284_OK;
  }

  // [lib] ieee1284_find_ports: the first call in a process runs
  // detect_environment, which claims and releases the first /dev/parportN it
  // can open; the ports come from /proc/sys/dev/parport, each named by its
  // device node only when some node could be opened (else an empty name).
  static int FindPorts(parport_list* list, int) {
    std::lock_guard lock(Model().mutex_);
    PortModel& model = Model();
    if (!model.searched_) {
      model.searched_ = true;
      for (auto& port : model.ports_) {
        if (!model.SearchedNode(*port)) continue;
        KernelClaim(*port);
        break;
      }
    }
    list->portc = static_cast<int>(model.ports_.size());
    list->portv = new parport*[model.ports_.size() + 1];
    for (size_t i = 0; i < model.ports_.size(); ++i) {
      PortModel::Port& port = *model.ports_[i];
      port.record.filename = port.ppdev && model.faults.noNodeAccess ? "" : port.file.c_str();
      list->portv[i] = &port.record;
    }
    return E1284_OK;
  }
  static void FreePorts(parport_list* list) {
    delete[] list->portv;
    list->portv = nullptr;
    list->portc = 0;
  }
  // [lib] ieee1284_open: refuses an open port; init_port finds no access
  // method for a port without a file name (E1284_INIT); ppdev's init opens
  // the node (E1284_INIT with its errno) and, given a capabilities pointer,
  // claims the port to ask PPGETMODES (find_capabilities).
  static int Open(parport* port, int, int* caps) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Model().Find(port);
    if (found == nullptr || found->open) return E1284_INVALIDPORT;
    if (found->record.filename == nullptr || *found->record.filename == '\0') return E1284_INIT;
    if (Model().faults.openErrno != 0) {
      errno = Model().faults.openErrno;
      return E1284_INIT;
    }
    if (caps != nullptr) {
      if (found->ppdev && KernelClaim(*found) != E1284_OK) return E1284_SYS;
      *caps = found->ppdev ? Model().KernelCaps(*found) : kDirectIoModes;
    }
    found->open = true;
    found->nonblock = false;
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
    const int status = KernelClaim(*found);
    if (status == E1284_OK) found->claimed = true;
    return status;
  }
  static void Release(parport* port) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) {
      Fault();
      return;
    }
    if (found->mode != M1284_COMPAT) Fault();  // IEEE 1284: terminate before letting go
    found->claimed = false;
  }
  // [1284] parport_negotiate: event 2 needs PError, Select and nFault high
  // and nAck low (else -1, the library's E1284_NEGFAILED); the peripheral
  // refuses a mode with XFlag (Select) low (1: E1284_REJECTED). An
  // extensibility request puts 0x80 out first, then the link value.
  static int Negotiate(parport* port, int mode) {
    std::lock_guard lock(Model().mutex_);
    PortModel& model = Model();
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) return Fault();
    model.negotiations_.push_back(mode);
    if (mode == M1284_COMPAT) return DoTerminate(*found), E1284_OK;
    if (found->mode != M1284_COMPAT) return Fault();  // a strict peripheral wants terminate in between
    model.CutBlock();
    const int lines = model.Lines(*found);
    const int answer = S1284_NFAULT | S1284_SELECT;
    if (!model.CameraOn(*found) || (lines & answer) != answer) return E1284_NEGFAILED;
    if (model.faults.rejectNegotiation) return E1284_REJECTED;
    if ((mode & M1284_FLAG_EXT_LINK) != 0) {
      if (!IsFrameRequest(mode & 0x7F)) return E1284_REJECTED;
      found->mode = mode;
      found->pendingFrame = mode & 0x7F;
      return E1284_OK;
    }
    const int base = BaseMode(mode);
    if (base == M1284_ECP &&
        (config().mode != sim::PortCapability::Ecp || (model.faults.rejectEcpUntilReset && !model.reset_))) {
      return E1284_REJECTED;
    }
    if (base != M1284_NIBBLE && base != M1284_BYTE && base != M1284_ECP) return E1284_REJECTED;
    const int pending = found->pendingFrame;
    found->pendingFrame = -1;
    if (pending >= 0 && (mode & M1284_FLAG_DEVICEID) == 0) {
      if (IeeeModeOfFrame(pending & 0x3F) != base) return E1284_REJECTED;
      if (!model.camera_->BeginFrame(static_cast<uint8_t>(pending & 0x3F), static_cast<uint8_t>(pending & 0x40))) {
        return E1284_REJECTED;
      }
      StartFrame(*found, (pending & 0x40) != 0);
    }
    found->mode = mode;
    found->idAt = 0;
    return E1284_OK;
  }
  static const sim::SimConfig& config() { return Model().config_; }
  static void StartFrame(PortModel::Port& port, bool counted) {
    PortModel& model = Model();
    const ModelFaults& faults = model.faults;
    port.inFrame = true;
    port.frameCounted = counted;
    port.transfer = ++model.frameTransfers_;
    port.sent = 0;
    const auto* camera = dynamic_cast<const sim::VirtualCamera*>(model.camera_.get());
    const std::uint64_t length = camera != nullptr ? camera->FrameLength() : 0;
    // A fixed transfer goes on as long as the host reads (the frame, then the
    // camera's fill); a counted one ends with the frame.
    port.end = counted ? length : kUnbounded;
    port.stallAt = kUnbounded;
    if (port.transfer == faults.shortFrameRead) port.end = length / 2;
    if (port.transfer == faults.emptyCountedFrame && counted) port.end = 0;
    if (port.transfer == faults.stalledFrameRead) port.stallAt = 0;
    if (port.transfer == faults.stallMidFrame) port.stallAt = length / 2;
  }
  // [1284] parport_ieee1284_terminate: from an ECP reverse phase first
  // events 47 to 49 (nInit high, the cable forward, data lines forward), then
  // events 22 to 29 back to compatibility mode. Nothing when already there.
  static void DoTerminate(PortModel::Port& port) {
    PortModel& model = Model();
    model.CutBlock();
    if (port.mode == M1284_COMPAT) return;
    if (port.inFrame && model.CameraOn(port)) model.camera_->EndFrame();
    if (port.ecpReverse) port.hostDrives = true;
    if ((port.mode & M1284_FLAG_EXT_LINK) == 0) port.pendingFrame = -1;
    port.mode = M1284_COMPAT;
    port.inFrame = false;
    port.ecpReverse = false;
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
  // [lib] nibble_read, byte_read, ecp_read_data: do_nonblock sets O_NONBLOCK
  // when asked and never clears it; set_mode sets the kernel's mode; read().
  // [ppdev] pp_read: at most PP_BUFFER_SIZE per call; a blocking read loops
  // while nothing arrives (for ever); a non-blocking one runs the port's
  // 1-jiffy time-out and says EAGAIN (the library's E1284_TIMEDOUT).
  // [1284] the nibble and byte readers stop at a handshake that times out (a
  // pause) and at nDataAvail high (the end); the ECP reader returns what it
  // has at the first pause, and first turns the cable round itself when its
  // phase is not reverse idle. [pc] parport_pc keeps the software ECP reader.
  static ssize_t Read(parport* port, int flags, char* buffer, size_t length, int mode, sim::ReverseMode reverse) {
    std::lock_guard lock(Model().mutex_);
    PortModel& model = Model();
    PortModel::Port* found = Claimed(port);
    if (found == nullptr || BaseMode(found->mode) != mode || (found->mode & M1284_FLAG_EXT_LINK) != 0) {
      return Fault();
    }
    if ((flags & F1284_NONBLOCK) != 0) found->nonblock = true;
    if (reverse == sim::ReverseMode::Byte && (model.KernelCaps(*found) & CAP1284_BYTE) == 0) {
      return Fault();  // no tristate: host and camera both drive the data lines
    }
    if (reverse == sim::ReverseMode::Ecp && !found->ecpReverse && model.CameraOn(*found)) {
      found->ecpReverse = true;  // events 38 to 40
      found->hostDrives = false;
    }
    if (reverse == sim::ReverseMode::Byte) found->hostDrives = false;  // event 14
    bool paused = false;
    const std::size_t limit = std::min(length, kPpdevBuffer);
    const std::size_t got =
        (reverse == sim::ReverseMode::Ecp && !found->ecpReverse)
            ? 0
            : model.Serve(*found, reinterpret_cast<uint8_t*>(buffer), limit, reverse, &paused);
    if (got == 0) {
      if (!found->nonblock) {
        ++model.hangs_;
        return E1284_SYS;
      }
      model.nowMs_ += kHandshakeWaitMs;
      return E1284_TIMEDOUT;
    }
    if (paused) model.nowMs_ += kHandshakeWaitMs;
    model.largestRead_ = std::max(model.largestRead_, got);
    return static_cast<ssize_t>(got);
  }
  static ssize_t NibbleRead(parport* port, int flags, char* buffer, size_t length) {
    return Read(port, flags, buffer, length, M1284_NIBBLE, sim::ReverseMode::Nibble);
  }
  static ssize_t ByteRead(parport* port, int flags, char* buffer, size_t length) {
    return Read(port, flags, buffer, length, M1284_BYTE, sim::ReverseMode::Byte);
  }
  static ssize_t EcpReadData(parport* port, int flags, char* buffer, size_t length) {
    return Read(port, flags, buffer, length, M1284_ECP, sim::ReverseMode::Ecp);
  }
  // [pc] the FIFO writers fall back to the software ones under O_NONBLOCK.
  // [1284] parport_ieee1284_write_compat: control lines nSelectIn low, nInit
  // high, nAutoFd high, whatever they were; a byte is strobed once Busy is low
  // and nFault high; a peripheral that is not ready and shows nFault low,
  // PError high or Select low is "upset": the writer stops. Otherwise it
  // waits the port's time-out (1 jiffy non-blocking, 5 s blocking) and stops.
  // [ppdev] pp_write returns 0 when nothing was written, and under O_NONBLOCK
  // stops after the first buffer.
  static ssize_t CompatWrite(parport* port, int flags, const char* buffer, size_t length) {
    std::lock_guard lock(Model().mutex_);
    PortModel& model = Model();
    PortModel::Port* found = Claimed(port);
    if (found == nullptr || found->mode != M1284_COMPAT) return Fault();
    if ((flags & F1284_NONBLOCK) != 0) found->nonblock = true;
    found->hostDrives = true;
    const std::size_t limit = found->nonblock ? std::min(length, kPpdevBuffer) : length;
    std::size_t written = 0;
    while (written < limit) {
      const int lines = model.Lines(*found);
      const bool ready = (lines & S1284_NFAULT) != 0 && (lines & S1284_BUSY) == 0;
      if (!ready) {
        model.nowMs_ += found->nonblock ? kHandshakeWaitMs : kBlockingWriteMs;
        break;
      }
      model.Strobed(reinterpret_cast<const uint8_t*>(buffer) + written, 1);
      ++written;
    }
    return static_cast<ssize_t>(written);
  }
  // [lib] ecp_write_data; [pc] falls back to [1284]
  // parport_ieee1284_ecp_write_data under O_NONBLOCK: first back to forward
  // (events 47 to 49) if the cable is turned, then each byte with nAutoFd
  // high (a data cycle) once Busy is low.
  static ssize_t EcpWriteData(parport* port, int flags, const char* buffer, size_t length) {
    std::lock_guard lock(Model().mutex_);
    PortModel& model = Model();
    PortModel::Port* found = Claimed(port);
    if (found == nullptr || BaseMode(found->mode) != M1284_ECP || (found->mode & M1284_FLAG_EXT_LINK) != 0) {
      return Fault();
    }
    if ((flags & F1284_NONBLOCK) != 0) found->nonblock = true;
    found->ecpReverse = false;
    found->hostDrives = true;
    if (!model.CameraOn(*found) || (model.Lines(*found) & S1284_BUSY) != 0) {
      model.nowMs_ += kHandshakeWaitMs;
      return 0;
    }
    const std::size_t limit = found->nonblock ? std::min(length, kPpdevBuffer) : length;
    model.EcpData(reinterpret_cast<const uint8_t*>(buffer), limit);
    return static_cast<ssize_t>(limit);
  }
  // [ppdev] PPDATADIR: parport_pc's data_reverse sets the direction bit,
  // which a port that cannot tristate does not have.
  static int DataDir(parport* port, int reverse) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) return Fault();
    found->hostDrives = reverse == 0 || (Model().KernelCaps(*found) & CAP1284_BYTE) == 0;
    return E1284_OK;
  }
  static void WriteData(parport* port, unsigned char value) {
    std::lock_guard lock(Model().mutex_);
    PortModel& model = Model();
    PortModel::Port* found = Claimed(port);
    if (found == nullptr || !found->hostDrives) {
      Fault();
      return;
    }
    if (!model.CameraOn(*found)) return;
    model.camera_->OutputB(value);
    if (value != kResetData || model.lastOutputA_ != kResetControl) return;
    // The camera's reset also drops a command still waiting for its block.
    model.reset_ = true;
    model.awaitingBlock_ = false;
    model.block_.clear();
  }
  static int ReadStatus(parport* port) {
    std::lock_guard lock(Model().mutex_);
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) return Fault();
    return Model().Lines(*found);
  }
  static void WriteControl(parport* port, unsigned char lines) {
    std::lock_guard lock(Model().mutex_);
    PortModel& model = Model();
    PortModel::Port* found = Claimed(port);
    if (found == nullptr) {
      Fault();
      return;
    }
    const auto controlRegister = static_cast<uint8_t>(lines ^ C1284_INVERTED);
    model.lastOutputA_ = controlRegister;
    if (model.CameraOn(*found)) model.camera_->OutputA(controlRegister);
  }
  // [lib] deviceid.c: without F1284_FRESH the kernel's record is tried first
  // (this kernel has none); then the port is opened (refused when already
  // open), claimed (waiting for a holder) and read by get_fresh: terminate,
  // nibble mode with the device-ID flag, two length bytes, the rest, all with
  // blocking reads.
  static ssize_t GetDeviceId(parport* port, int daisy, int flags, char* buffer, size_t length) {
    if ((flags & ~F1284_FRESH) != 0) return E1284_NOTIMPL;
    if (daisy > -1) return E1284_NOTIMPL;
    if (int status = Open(port, 0, nullptr); status != E1284_OK) return status;
    if (int status = Claim(port); status != E1284_OK) return status;
    Terminate(port);
    ssize_t got = E1284_NOTAVAIL;
    if (Negotiate(port, M1284_NIBBLE | M1284_FLAG_DEVICEID) == E1284_OK) {
      got = NibbleRead(port, 0, buffer, 2);
      if (got < 2) {
        got = E1284_NOID;
      } else {
        std::size_t idLength = static_cast<std::size_t>(static_cast<unsigned char>(buffer[0]) << 8 |
                                                        static_cast<unsigned char>(buffer[1]));
        if (idLength >= length - 2) idLength = length - 2;
        const ssize_t text = NibbleRead(port, 0, buffer + 2, idLength);
        got = text > 0 ? got + text : got;
        if (static_cast<size_t>(got) < length) buffer[got] = '\0';
      }
      Terminate(port);
    }
    Release(port);
    Close(port);
    return got;
  }

  // ---- beside the library: the kernel's records
  static std::string Holder(const parport* port) {
    std::lock_guard lock(Model().mutex_);
    const PortModel::Port* found = Model().Find(port);
    return found != nullptr ? HolderOf(*found) : "";
  }
  static int KernelModes(const parport* port) {
    std::lock_guard lock(Model().mutex_);
    const PortModel::Port* found = Model().Find(port);
    // The kernel knows its own ports only, not an address reached by direct I/O.
    return found != nullptr && found->ppdev ? Model().KernelCaps(*found) : -1;
  }
  static int NodeError(const parport* port) {
    std::lock_guard lock(Model().mutex_);
    const PortModel::Port* found = Model().Find(port);
    if (found == nullptr) return ENOENT;
    if (Model().faults.noNodeAccess) return EACCES;
    return Model().faults.openErrno;
  }
  static parallel::SearchClaim SearchClaim() {
    std::lock_guard lock(Model().mutex_);
    PortModel& model = Model();
    if (model.searched_) return {};
    for (const auto& port : model.ports_) {
      if (model.SearchedNode(*port)) return {port->name, HolderOf(*port)};
    }
    return {};
  }
  static std::uint64_t NowMs() {
    std::lock_guard lock(Model().mutex_);
    return Model().nowMs_;
  }
};

const parallel::Ieee1284Calls& PortModel::Calls() {
  static const parallel::Ieee1284Calls calls = {
      &Route::FindPorts,    &Route::FreePorts,   &Route::Open,         &Route::Close,        &Route::Claim,
      &Route::Release,      &Route::Negotiate,   &Route::Terminate,    &Route::NibbleRead,   &Route::ByteRead,
      &Route::CompatWrite,  &Route::EcpReadData, &Route::EcpWriteData, &Route::DataDir,      &Route::WriteData,
      &Route::ReadStatus,   &Route::WriteControl, &Route::GetDeviceId, &Route::Holder,       &Route::KernelModes,
      &Route::NodeError,    &Route::SearchClaim, &Route::NowMs,
  };
  return calls;
}

}  // namespace port_model
