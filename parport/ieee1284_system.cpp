// The calls table bound to libieee1284, and the port holder read from
// /proc/sys/dev/parport/<name>/devices/active, where the kernel names the
// driver that has the port claimed ("none" when it is free).
#include <fstream>

#include "parport/ieee1284_calls.h"

namespace parallel {
namespace {

std::string KernelPortHolder(const parport* port) {
  if (port == nullptr || port->name == nullptr) return "";
  std::ifstream in(std::string("/proc/sys/dev/parport/") + port->name + "/devices/active");
  std::string holder;
  if (!std::getline(in, holder) || holder == "none") return "";
  return holder;
}

}  // namespace

const Ieee1284Calls& SystemIeee1284() {
  static const Ieee1284Calls calls = {
      &ieee1284_find_ports,    &ieee1284_free_ports,     &ieee1284_open,          &ieee1284_close,
      &ieee1284_claim,         &ieee1284_release,        &ieee1284_negotiate,     &ieee1284_terminate,
      &ieee1284_ecp_fwd_to_rev, &ieee1284_nibble_read,   &ieee1284_byte_read,     &ieee1284_compat_write,
      &ieee1284_ecp_read_data, &ieee1284_ecp_write_data, &ieee1284_ecp_write_addr, &ieee1284_data_dir,
      &ieee1284_write_data,    &ieee1284_read_status,    &ieee1284_write_control, &ieee1284_frob_control,
      &ieee1284_set_timeout,   &ieee1284_get_deviceid,   &KernelPortHolder,
  };
  return calls;
}

}  // namespace parallel
