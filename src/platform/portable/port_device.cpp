// The kernel port device on a system without one: ZARNCAP_CAMERA names the
// backend that plays it ("sim", "sim:<options>", "parport", "replay:<file>",
// or "none" for no device), and ZARNCAP_RECORD a file that every request is
// recorded in.
// One handle at a time, as the driver only ever opens \\.\VidCap0 once.
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/platform.h"
#include "platform/portable/port_device_backend.h"

namespace platform {
namespace {

struct PortDeviceRegistry {
  std::mutex mutex;
  std::map<std::string, PortDeviceFactory> factories;
  PortDeviceRecorderFactory recorder = nullptr;
  // shared so a call in flight on another thread keeps its backend alive
  std::shared_ptr<PortDeviceBackend> open;
};

PortDeviceRegistry& Registry() {
  static PortDeviceRegistry registry;
  return registry;
}

// The handle value handed out for the open backend: any non-null value other
// than INVALID_HANDLE_VALUE will do; the backend's address keeps it unique.
HANDLE HandleOf(PortDeviceBackend* backend) { return static_cast<HANDLE>(backend); }

bool IsDeviceName(const WCHAR* name) {
  static const char expected[] = "\\\\.\\VidCap0";
  if (name == nullptr) return false;
  size_t i = 0;
  for (; expected[i] != '\0'; ++i) {
    if (name[i] != static_cast<WCHAR>(expected[i])) return false;
  }
  return name[i] == 0;
}

}  // namespace

void RegisterPortDeviceBackend(const std::string& name, PortDeviceFactory factory) {
  std::lock_guard lock(Registry().mutex);
  Registry().factories[name] = factory;
}

void RegisterPortDeviceRecorder(PortDeviceRecorderFactory factory) {
  std::lock_guard lock(Registry().mutex);
  Registry().recorder = factory;
}

PortDeviceBackend* OpenPortDeviceBackend() {
  std::lock_guard lock(Registry().mutex);
  return Registry().open.get();
}

HANDLE CreatePortDevice(const WCHAR* name) {
  if (!IsDeviceName(name)) return INVALID_HANDLE_VALUE;
  const char* env = std::getenv("ZARNCAP_CAMERA");
  std::string spec = (env != nullptr && *env != '\0') ? env : "sim";
  std::string backendName = spec.substr(0, spec.find(':'));
  std::string options = spec.find(':') == std::string::npos ? "" : spec.substr(spec.find(':') + 1);

  std::lock_guard lock(Registry().mutex);
  auto& registry = Registry();
  if (registry.open) return INVALID_HANDLE_VALUE;  // no sharing: one open handle
  auto found = registry.factories.find(backendName);
  if (found == registry.factories.end()) return INVALID_HANDLE_VALUE;  // "none" or unknown
  std::string error;
  std::unique_ptr<PortDeviceBackend> backend = found->second(options, &error);
  if (!backend) {
    MessageBox(nullptr, error.empty() ? "bad camera options" : error.c_str(), "ZARNCAP_CAMERA", MB_ICONWARNING);
    return INVALID_HANDLE_VALUE;
  }
  // A recording asked for and not possible is said, not skipped: the run
  // would otherwise look recorded and leave nothing behind.
  const char* record = std::getenv("ZARNCAP_RECORD");
  if (record != nullptr && *record != '\0') {
    if (registry.recorder == nullptr) error = "this build cannot record the port traffic";
    backend = registry.recorder != nullptr ? registry.recorder(std::move(backend), spec, record, &error) : nullptr;
    if (!backend) {
      MessageBox(nullptr, error.c_str(), "ZARNCAP_RECORD", MB_ICONWARNING);
      return INVALID_HANDLE_VALUE;
    }
  }
  registry.open = std::move(backend);
  return HandleOf(registry.open.get());
}

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                     DWORD* bytesReturned) {
  std::shared_ptr<PortDeviceBackend> backend;
  {
    std::lock_guard lock(Registry().mutex);
    if (Registry().open && device == HandleOf(Registry().open.get())) backend = Registry().open;
  }
  if (backend == nullptr) return FALSE;
  DWORD scratch = 0;
  return backend->Control(code, in, inLength, out, outLength, bytesReturned ? bytesReturned : &scratch);
}

BOOL CloseHandle(HANDLE device) {
  std::lock_guard lock(Registry().mutex);
  auto& registry = Registry();
  if (!registry.open || device != HandleOf(registry.open.get())) return FALSE;
  registry.open.reset();
  return TRUE;
}

}  // namespace platform
