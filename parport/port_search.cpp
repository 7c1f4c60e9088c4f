#include "parport/port_search.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "parport/port_problems.h"

namespace parallel {

const char* const kNoPpdevHint =
    "no parallel port: the kernel offers none through ppdev (load it with 'modprobe ppdev'; "
    "'zarncap ports' lists what there is)";

namespace {

bool IsAddress(const std::string& text) {
  if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
  for (std::size_t i = 2; i < text.size(); ++i) {
    if (std::strchr("0123456789abcdefABCDEF", text[i]) == nullptr) return false;
  }
  return true;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.size() < 4 && text.find_first_not_of("0123456789") == std::string::npos;
}

// parport0, /dev/parport0, /dev/parports/0 (devfs), or an address.
bool IsPortName(const std::string& text) {
  if (IsAddress(text)) return true;
  for (const char* prefix : {"parport", "/dev/parport", "/dev/parports/"}) {
    const std::string start(prefix);
    if (text.rfind(start, 0) == 0 && AllDigits(text.substr(start.size()))) return true;
  }
  return false;
}

bool Names(const parport* port, const std::string& wanted) {
  if (IsAddress(wanted)) {
    return AccessOf(port) == PortAccess::DirectIo && port->base_addr == std::strtoul(wanted.c_str(), nullptr, 16);
  }
  if (port->name == nullptr) return false;
  const std::string name = port->name;
  if (wanted == name || wanted == "/dev/" + name) return true;
  return port->filename != nullptr && *port->filename != '\0' && wanted == port->filename;
}

// The first port the default search cannot reach for want of its device
// node, or nullptr.
const parport* Unreachable(const std::vector<parport*>& ports) {
  for (const parport* port : ports) {
    if (AccessOf(port) == PortAccess::None) return port;
  }
  return nullptr;
}

}  // namespace

bool ParseParportOptions(const std::string& options, ParportOptions* parsed, std::string* error) {
  ParportOptions result;
  std::size_t at = 0;
  while (at <= options.size() && !options.empty()) {
    const std::size_t comma = options.find(',', at);
    const std::string word = options.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    if (word == "trace") {
      result.trace = true;
    } else if (result.port.empty() && IsPortName(word)) {
      result.port = word;
    } else {
      *error = "'" + word + "' is not a port (parport0, /dev/parport0 or an address such as 0x378) or 'trace'";
      return false;
    }
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  *parsed = result;
  return true;
}

int OpenUnclaimed(const Ieee1284Calls& calls, parport* port, int* caps) {
  *caps = 0;
  if (AccessOf(port) == PortAccess::DirectIo) return calls.open(port, 0, caps);
  const int status = calls.open(port, 0, nullptr);
  if (status != E1284_OK) return status;
  const int error = errno;
  const int modes = calls.kernelModes(port);
  *caps = modes >= 0 ? modes : CAP1284_COMPAT | CAP1284_NIBBLE;
  errno = error;
  return status;
}

PortList::PortList(const Ieee1284Calls& calls) : calls_(calls) {
  // The library's first search claims a port for a moment, and that claim
  // waits for whoever holds the port: refuse rather than wait.
  const SearchClaim claim = calls_.searchClaim();
  if (!claim.holder.empty()) {
    status_ = E1284_SYS;
    problem_ = BusyProblem(claim.port, claim.holder) + "; the port search claims it";
    return;
  }
  status_ = calls_.findPorts(&list_, 0);
  if (status_ != E1284_OK) {
    problem_ = "the parallel ports cannot be listed (libieee1284 error " + std::to_string(status_) + ")";
    return;
  }
  for (int i = 0; i < list_.portc; ++i) {
    if (list_.portv[i] != nullptr) all_.push_back(list_.portv[i]);
  }
}

PortList::~PortList() {
  if (status_ == E1284_OK) calls_.freePorts(&list_);
}

std::vector<parport*> PortList::Chosen(const ParportOptions& options, std::string* error) const {
  std::vector<parport*> chosen;
  for (parport* port : all_) {
    if (options.port.empty() ? AccessOf(port) == PortAccess::Ppdev : Names(port, options.port)) {
      chosen.push_back(port);
    }
    if (chosen.size() == 3 || (!options.port.empty() && !chosen.empty())) break;
  }
  if (!chosen.empty()) return chosen;
  if (!Found()) {
    *error = "parport: " + problem_;
  } else if (const parport* unreachable = Unreachable(all_); options.port.empty() && unreachable != nullptr) {
    *error = "parport: " + NodeProblem(unreachable, calls_.nodeError(unreachable));
  } else if (options.port.empty()) {
    *error = std::string("parport: ") + kNoPpdevHint;
  } else {
    *error = "parport: no parallel port '" + options.port + "' ('zarncap ports' lists them)";
  }
  return chosen;
}

}  // namespace parallel
