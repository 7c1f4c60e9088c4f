// Which parallel ports the device offers as LPT1..LPT3: parsing the options of
// ZARNCAP_CAMERA=parport[:<port>][,trace], and the ports libieee1284 finds.
// The default search takes only the ports the kernel offers through ppdev;
// a port reached by direct I/O (its registers poked through /dev/port) is
// used only when the user names its address.
#pragma once

#include <string>
#include <vector>

#include "parport/ieee1284_calls.h"
#include "parport/port_access.h"

namespace parallel {

struct ParportOptions {
  std::string port;    // "" = the ppdev ports in the kernel's order; else one port by name
  bool trace = false;  // log every request with its reply on the debug output
};

// "" / "parport0" / "/dev/parport0" / "0x378", optionally with ",trace" (or
// "trace" alone). False with the reason in *error for anything else.
bool ParseParportOptions(const std::string& options, ParportOptions* parsed, std::string* error);


// ieee1284_open without a claim, with what the port offers in CAP1284_* bits.
// For a ppdev port the library would claim the port to find its modes (and
// wait for whoever holds it), so they come from the kernel instead (nibble and
// compatibility only when it does not say); direct I/O claims nothing. errno
// is as the open left it.
int OpenUnclaimed(const Ieee1284Calls& calls, parport* port, int* caps);

// The ports libieee1284 finds, freed with the list.
class PortList {
 public:
  explicit PortList(const Ieee1284Calls& calls);
  ~PortList();
  PortList(const PortList&) = delete;
  PortList& operator=(const PortList&) = delete;

  bool Found() const { return status_ == E1284_OK; }
  // Why the ports could not be listed ("" when they were).
  const std::string& Problem() const { return problem_; }
  const std::vector<parport*>& All() const { return all_; }
  // The ports that become LPT1, LPT2, LPT3 (at most three): the ppdev ports in
  // order, or the one port the options name. Empty with *error saying why
  // (and what to do) when there is none.
  std::vector<parport*> Chosen(const ParportOptions& options, std::string* error) const;

 private:
  const Ieee1284Calls& calls_;
  parport_list list_ = {0, nullptr};
  int status_ = E1284_NOTAVAIL;
  std::string problem_;
  std::vector<parport*> all_;
};

// The one-line hint for a system without ppdev ports.
extern const char* const kNoPpdevHint;

}  // namespace parallel
