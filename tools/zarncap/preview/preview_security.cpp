#include "tools/zarncap/preview/preview_security.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

bool IsLoopback(const std::string& host) { return host == "127.0.0.1" || host == "localhost" || host == "::1"; }
bool IsEveryAddress(const std::string& host) { return host == "0.0.0.0" || host == "::"; }

std::string MachineName() {
  char name[256] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
}

// Every address of the machine's interfaces, as text.
std::vector<std::string> MachineAddresses() {
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr) continue;
    char text[INET6_ADDRSTRLEN] = {};
    if (a->ifa_addr->sa_family == AF_INET) {
      ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
    } else if (a->ifa_addr->sa_family == AF_INET6) {
      ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr, text, sizeof text);
    } else {
      continue;
    }
    addresses.emplace_back(text);
  }
  ::freeifaddrs(list);
  return addresses;
}

std::string WithPort(const std::string& host, int port) {
  const bool ipv6 = host.find(':') != std::string::npos;
  return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// Constant-time comparison: the token's length is no secret, its bytes are.
bool SameToken(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

}  // namespace

PreviewAddress ParseListen(const std::string& text) {
  PreviewAddress address;
  std::string host, port;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find("]:");
    if (close != std::string::npos) {
      host = text.substr(1, close - 1);
      port = text.substr(close + 2);
    }
  } else if (const size_t colon = text.rfind(':'); colon != std::string::npos && text.find(':') == colon) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  const bool digits = !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos;
  if (host.empty() || !digits || std::stoi(port) > 65535) {
    throw ToolError("--listen takes HOST:PORT, e.g. 127.0.0.1:8080 or [::1]:8080 (got '" + text + "')", kExitUsage);
  }
  address.host = host;
  address.port = std::stoi(port);
  return address;
}

std::vector<std::string> ServerNames(const PreviewAddress& address) {
  std::vector<std::string> hosts;
  if (IsLoopback(address.host) || IsEveryAddress(address.host)) hosts = {"127.0.0.1", "localhost", "::1"};
  else hosts = {address.host};
  if (IsEveryAddress(address.host)) {
    if (const std::string name = MachineName(); !name.empty()) hosts.push_back(name);
    for (const std::string& a : MachineAddresses()) hosts.push_back(a);
  }
  hosts.insert(hosts.end(), address.allowedHosts.begin(), address.allowedHosts.end());
  std::vector<std::string> names;
  for (const std::string& host : hosts) {
    const std::string name = WithPort(host, address.port);
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

std::string OpenableUrl(const PreviewAddress& address) {
  std::string host = address.host;
  if (IsEveryAddress(host)) {
    host = MachineName();
    if (host.empty()) host = "127.0.0.1";
  }
  return "http://" + WithPort(host, address.port) + "/";
}

std::string NewToken() {
  unsigned char bytes[16] = {};
  std::ifstream random("/dev/urandom", std::ios::binary);
  if (!random.read(reinterpret_cast<char*>(bytes), sizeof bytes)) throw ToolError("cannot read /dev/urandom for a token");
  std::string token;
  char hex[3];
  for (unsigned char b : bytes) {
    std::snprintf(hex, sizeof hex, "%02x", b);
    token += hex;
  }
  return token;
}

std::string RefusalOf(const RequestFacts& request, const PreviewAddress& address, const std::string& token) {
  const std::vector<std::string> names = ServerNames(address);
  bool named = false;
  for (const std::string& name : names) named = named || request.host == name;
  if (!named) return "this server is not '" + request.host + "' (--allow-host NAME adds a name)";
  if (!request.changes) return "";
  if (!request.origin.empty() && request.origin != "http://" + request.host) {
    return "changes are not taken from another origin (" + request.origin + ")";
  }
  if (!SameToken(request.token, token)) return "a change needs the preview page's token";
  return "";
}

}  // namespace zarncap
