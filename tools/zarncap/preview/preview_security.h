// Who may use the preview server. It listens on loopback unless told
// otherwise; every request must name this server in its Host header (so a
// page elsewhere cannot reach it through a name it controls), and a request
// that changes anything must also carry the run's token, which only the
// preview's own page holds, and no Origin but the server's own.
#pragma once

#include <string>
#include <vector>

namespace zarncap {

struct PreviewAddress {
  std::string host;  // as given to --listen: "127.0.0.1", "localhost", "::1", "0.0.0.0", a name
  int port = 0;
  std::vector<std::string> allowedHosts;  // --allow-host: further names the server answers to
};

// "127.0.0.1:8080", "[::1]:8080", "localhost:0": throws ToolError (usage) otherwise.
PreviewAddress ParseListen(const std::string& text);
// The Host header values that name this server, with the port: on loopback
// its loopback names; on one address that address; on every address (0.0.0.0,
// ::) the loopback names, the machine's own name and every address of its
// interfaces. Names given with --allow-host are added in each case. Nothing
// else is accepted, so a page elsewhere cannot reach the server through a name
// it controls (DNS rebinding).
std::vector<std::string> ServerNames(const PreviewAddress& address);
// The address the server can be opened at, for the user: the listening
// address, or on every address the machine's own name.
std::string OpenableUrl(const PreviewAddress& address);
// A fresh token: 32 hexadecimal digits from the system's random source.
std::string NewToken();

struct RequestFacts {
  std::string host;    // the Host header ("" when missing)
  std::string origin;  // the Origin header ("" when missing)
  std::string token;   // the X-Zarncap-Token header
  bool changes = false;  // POST: the request changes something
};
// Why the request is refused ("" when it is not).
std::string RefusalOf(const RequestFacts& request, const PreviewAddress& address, const std::string& token);

}  // namespace zarncap
