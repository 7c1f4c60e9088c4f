// Registration of the "parport" backend over the real libieee1284.
#include "parport/register.h"

#include "parport/parport_device.h"
#include "parport/port_search.h"
#include "platform/portable/port_device_backend.h"

namespace parallel {
namespace {

std::unique_ptr<platform::PortDeviceBackend> MakeSystemParport(const std::string& options, std::string* error) {
  return MakeParportDevice(options, error, SystemIeee1284());
}

// Whoever loads the library gets the parallel port without a call.
[[maybe_unused]] const bool registeredAtLoad = (RegisterParport(), true);

}  // namespace

void RegisterParport() { platform::RegisterPortDeviceBackend("parport", &MakeSystemParport); }

bool CheckParportOptions(const std::string& options, std::string* why) {
  ParportOptions parsed;
  return ParseParportOptions(options, &parsed, why);
}

}  // namespace parallel
