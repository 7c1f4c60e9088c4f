// The calls table bound to libieee1284, and what the kernel's parport records
// under /proc/sys/dev/parport/<name>/ say without anyone claiming the port:
// devices/active names the driver that has it claimed ("none" when it is
// free), modes lists what the port's driver offers, irq its interrupt.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>

#include "parport/ieee1284_calls.h"

namespace parallel {
namespace {

std::string ProcLine(const std::string& port, const char* file) {
  std::ifstream in("/proc/sys/dev/parport/" + port + "/" + file);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string KernelHolder(const std::string& port) {
  const std::string holder = ProcLine(port, "devices/active");
  return holder == "none" ? "" : holder;
}

std::string KernelPortHolder(const parport* port) {
  if (port == nullptr || port->name == nullptr) return "";
  return KernelHolder(port->name);
}

// As libieee1284 does from PPGETMODES (find_capabilities in its ppdev access
// code): ieee1284_open starts from nibble, byte, compat and software ECP; an
// interrupt adds IRQ; PCSPP, EPP, ECP and DMA add theirs; a port that cannot
// tristate its data lines loses byte mode and software ECP.
int KernelModes(const parport* port) {
  if (port == nullptr || port->name == nullptr) return -1;
  const std::string modes = ProcLine(port->name, "modes");
  if (modes.empty()) return -1;
  int caps = CAP1284_NIBBLE | CAP1284_BYTE | CAP1284_COMPAT | CAP1284_ECPSWE;
  if (const std::string irq = ProcLine(port->name, "irq"); !irq.empty() && irq != "-1") caps |= CAP1284_IRQ;
  bool tristate = false;
  std::istringstream words(modes);
  for (std::string mode; std::getline(words, mode, ',');) {
    if (mode == "PCSPP") caps |= CAP1284_RAW;
    if (mode == "EPP") caps |= CAP1284_EPP;
    if (mode == "ECP") caps |= CAP1284_ECP | CAP1284_ECPRLE;
    if (mode == "DMA") caps |= CAP1284_DMA;
    if (mode == "TRISTATE") tristate = true;
  }
  if (!tristate) caps &= ~(CAP1284_BYTE | CAP1284_ECPSWE);
  return caps;
}

// The node the library opens for a port: /dev/parportN, else the udev/devfs
// /dev/parports/N (check_dev_node in its detect code).
int OpenNode(const std::string& number, int* fd) {
  errno = 0;
  *fd = ::open(("/dev/parport" + number).c_str(), O_RDONLY | O_NOCTTY);
  if (*fd >= 0) return 0;
  const int first = errno;
  *fd = ::open(("/dev/parports/" + number).c_str(), O_RDONLY | O_NOCTTY);
  return *fd >= 0 ? 0 : first;
}

std::string PortNumber(const char* name) {
  const std::string text = name != nullptr ? name : "";
  const std::size_t digits = text.find_first_of("0123456789");
  return digits == std::string::npos ? "" : text.substr(digits);
}

// Opening a ppdev node claims nothing; only PPCLAIM does.
int NodeError(const parport* port) {
  const std::string number = PortNumber(port != nullptr ? port->name : nullptr);
  if (number.empty()) return ENOENT;
  int fd = -1;
  const int error = OpenNode(number, &fd);
  if (fd >= 0) ::close(fd);
  return error;
}

// libieee1284's first search (detect_environment, once per process) opens
// /dev/parport0..7 and claims the first one that opens, to make the kernel
// load the port's driver.
SearchClaim FirstSearchClaim() {
  for (int i = 0; i < 8; ++i) {
    int fd = -1;
    OpenNode(std::to_string(i), &fd);
    if (fd < 0) continue;
    ::close(fd);
    const std::string name = "parport" + std::to_string(i);
    return {name, KernelHolder(name)};
  }
  return {};
}

std::uint64_t MonotonicMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

}  // namespace

const Ieee1284Calls& SystemIeee1284() {
  static const Ieee1284Calls calls = {
      &ieee1284_find_ports,  &ieee1284_free_ports,  &ieee1284_open,          &ieee1284_close,
      &ieee1284_claim,       &ieee1284_release,     &ieee1284_negotiate,     &ieee1284_terminate,
      &ieee1284_nibble_read, &ieee1284_byte_read,   &ieee1284_compat_write,  &ieee1284_ecp_read_data,
      &ieee1284_ecp_write_data, &ieee1284_data_dir, &ieee1284_write_data,    &ieee1284_read_status,
      &ieee1284_write_control, &ieee1284_get_deviceid, &KernelPortHolder,    &KernelModes,
      &NodeError,            &FirstSearchClaim,     &MonotonicMs,
  };
  return calls;
}

}  // namespace parallel
