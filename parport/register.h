// The parallel-port device's public face: makes it available as the
// "parport" port-device backend (ZARNCAP_CAMERA=parport[:<port>][,trace]),
// checks a host's options for it, and surveys the machine's ports for
// `zarncap ports`.
#pragma once

#include <string>
#include <vector>

namespace parallel {

// Registers the "parport" backend with the portable platform. Safe to call
// more than once; the library also does it from a static initializer.
void RegisterParport();

// Whether the text after "parport:" is good; false with the reason in *why.
bool CheckParportOptions(const std::string& options, std::string* why);

// One parallel port as `zarncap ports` shows it.
struct PortSurvey {
  std::string name;      // "parport0", "0x378"
  std::string file;      // "/dev/parport0", "/dev/port"
  std::string access;    // "ppdev", "direct I/O" or "no access"
  unsigned long base = 0;
  std::vector<std::string> capabilities;  // "nibble", "byte", "ECP", ... (empty when not opened)
  std::vector<std::string> unusedModes;   // why a transfer mode the camera could use is not offered
  bool opened = false;      // ieee1284_open worked
  bool claimable = false;   // ieee1284_claim worked
  bool usable = false;      // the default search (or the user, by address) can take it
  bool probed = true;       // false: a direct I/O address left alone
  std::string deviceId;     // the IEEE 1284 device ID of what is attached, "" when none answered
  std::string problem;      // why it cannot be used, naming the fix
};

struct PortsSurvey {
  bool listed = false;      // libieee1284 could list the ports at all
  std::string listError;
  std::vector<PortSurvey> ports;
};

// Every port libieee1284 finds. ppdev ports are opened, claimed for a moment
// when nobody else holds them and asked for their device ID; direct I/O
// addresses are opened only when /dev/port is absent (so the open touches
// nothing) and otherwise left alone. Nothing here waits for a busy port.
PortsSurvey SurveyPorts();

}  // namespace parallel
