#include "parport/port_survey.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "parport/port_problems.h"
#include "parport/port_search.h"
#include "parport/port_transfers.h"

namespace parallel {
namespace {

// Room for the longest device ID the two length bytes can announce.
constexpr std::size_t kDeviceIdRoom = 0x10000;

// The IEEE 1284 device ID, read on the claimed port as libieee1284's fresh
// read does it (terminate, nibble mode with the device-ID flag, two length
// bytes that count themselves, the text, terminate), but with non-blocking
// reads and the transfer deadline: ieee1284_get_deviceid(F1284_FRESH) opens
// and claims the port itself (so it fails on a port already open, and waits
// on a busy one) and reads with blocking calls, which never return while a
// peripheral that accepted the mode sends nothing.
std::string ReadDeviceIdText(const Ieee1284Calls& calls, parport* port) {
  calls.terminate(port);
  if (calls.negotiate(port, M1284_NIBBLE | M1284_FLAG_DEVICEID) != E1284_OK) return "";
  unsigned char length[2] = {};
  std::string text;
  if (ReadBytes(calls, port, Transfer::Nibble, length, 2, false).whole) {
    const std::size_t announced = static_cast<std::size_t>(length[0] << 8 | length[1]);
    if (announced > 2) {
      text.resize(std::min(announced - 2, kDeviceIdRoom));
      text.resize(ReadBytes(calls, port, Transfer::Nibble, reinterpret_cast<unsigned char*>(text.data()),
                            text.size(), true)
                      .bytes);
    }
  }
  calls.terminate(port);
  return text.substr(0, text.find('\0'));
}

// Modes the camera would use that the kernel does not offer on this port,
// and why (parport_pc sets ECP only for a port with a FIFO and an interrupt,
// and tristates the data lines only on a PS/2 port).
std::vector<std::string> UnusedModes(int caps) {
  std::vector<std::string> unused;
  if ((caps & CAP1284_ECP) == 0) {
    unused.emplace_back("no ECP: the kernel offers it only on an ECP port with a FIFO and an interrupt");
  }
  if ((caps & CAP1284_BYTE) == 0) {
    unused.emplace_back("no byte mode: the data lines cannot turn (not a PS/2 port); frames come in nibbles");
  }
  return unused;
}

void SurveyOpenPort(const Ieee1284Calls& calls, parport* port, PortSurvey& survey) {
  if (const std::string holder = calls.portHolder(port); !holder.empty()) {
    survey.problem = BusyProblem(PortLabel(port), holder);
  } else if (calls.claim(port) == E1284_OK) {
    survey.claimable = true;
    survey.deviceId = ReadDeviceIdText(calls, port);
    calls.release(port);
  } else {
    survey.problem = BusyProblem(PortLabel(port), "");
  }
  survey.usable = survey.claimable;
}

}  // namespace

std::vector<std::string> CapabilityNames(int caps) {
  static const struct {
    int bit;
    const char* name;
  } kNames[] = {{CAP1284_RAW, "raw"},       {CAP1284_NIBBLE, "nibble"}, {CAP1284_BYTE, "byte"},
                {CAP1284_COMPAT, "compat"}, {CAP1284_BECP, "BECP"},     {CAP1284_ECP, "ECP"},
                {CAP1284_ECPRLE, "ECP-RLE"}, {CAP1284_ECPSWE, "ECP-SWE"}, {CAP1284_EPP, "EPP"},
                {CAP1284_EPPSL, "EPP-1.7"}, {CAP1284_EPPSWE, "EPP-SWE"}, {CAP1284_IRQ, "IRQ"},
                {CAP1284_DMA, "DMA"}};
  std::vector<std::string> names;
  for (const auto& entry : kNames) {
    if ((caps & entry.bit) != 0) names.emplace_back(entry.name);
  }
  return names;
}

PortsSurvey SurveyPorts(const Ieee1284Calls& calls, bool devPortPresent) {
  PortsSurvey result;
  PortList list(calls);
  result.listed = list.Found();
  if (!result.listed) {
    result.listError = list.Problem();
    return result;
  }
  for (parport* port : list.All()) {
    PortSurvey survey;
    survey.name = port->name != nullptr ? port->name : "";
    survey.file = port->filename != nullptr ? port->filename : "";
    survey.base = port->base_addr;
    const PortAccess access = AccessOf(port);
    survey.access = AccessName(access);
    if (access == PortAccess::DirectIo && devPortPresent) {
      // Opening a direct I/O port pokes its registers: only on the user's word.
      survey.probed = false;
      survey.problem = "not probed: direct I/O touches the hardware registers; name it to use it (--camera parport:" +
                       survey.name + ", as root)";
      result.ports.push_back(survey);
      continue;
    }
    errno = 0;
    int caps = 0;
    const int status = OpenUnclaimed(calls, port, &caps);
    const int error = errno;
    if (status != E1284_OK) {
      survey.problem = OpenProblem(calls, port, status, error);
      result.ports.push_back(survey);
      continue;
    }
    survey.opened = true;
    survey.capabilities = CapabilityNames(caps);
    survey.unusedModes = UnusedModes(caps);
    SurveyOpenPort(calls, port, survey);
    calls.close(port);
    result.ports.push_back(survey);
  }
  return result;
}

PortsSurvey SurveyPorts() { return SurveyPorts(SystemIeee1284(), access("/dev/port", F_OK) == 0); }

}  // namespace parallel
