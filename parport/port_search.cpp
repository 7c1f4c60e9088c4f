#include "parport/port_search.h"

#include <cstdlib>
#include <cstring>

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
  return (port->name != nullptr && wanted == port->name) || (port->filename != nullptr && wanted == port->filename);
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

PortAccess AccessOf(const parport* port) {
  const char* file = port->filename;
  return file != nullptr && std::strncmp(file, "/dev/parport", 12) == 0 ? PortAccess::Ppdev : PortAccess::DirectIo;
}

const char* AccessName(PortAccess access) { return access == PortAccess::Ppdev ? "ppdev" : "direct I/O"; }

PortList::PortList(const Ieee1284Calls& calls) : calls_(calls) {
  status_ = calls_.findPorts(&list_, 0);
  if (status_ != E1284_OK) return;
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
    *error = "parport: the parallel ports cannot be listed (libieee1284 error " + std::to_string(status_) + ")";
  } else if (options.port.empty()) {
    *error = std::string("parport: ") + kNoPpdevHint;
  } else {
    *error = "parport: no parallel port '" + options.port + "' ('zarncap ports' lists them)";
  }
  return chosen;
}

}  // namespace parallel
