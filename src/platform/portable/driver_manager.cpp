// The portable driver manager. A module is a loaded library (or an in-process
// DriverProc); it gets DRV_LOAD and DRV_ENABLE before its first handle and
// DRV_DISABLE and DRV_FREE after its last, and is unloaded then. Handles are
// owned here. Two locks: the loader lock keeps one thread's load, open, close
// and unload from interleaving with another's, and is held while the driver
// answers those messages; the handle lock only guards the table of handles for
// the moment of a lookup. Messages are sent with neither held, so a driver may
// take its time, and a stream callback may send a message while another thread
// waits in an open or close for the driver to finish with that stream.
#include "platform/portable/driver_manager.h"

#include "platform/portable/driver_library.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {
namespace {

struct Module {
  std::string library;  // empty for an in-process DriverProc
  void* dl = nullptr;
  DRIVERPROC proc = nullptr;
  int handles = 0;
};

// What a host's HDRVR points to (the HDRVR type itself is the platform's
// opaque handle).
struct DriverHandle {
  Module* module;
  DWORD_PTR driverId;
  DWORD_PTR sessionId;  // the session open of a two-step open, 0 when there was none
};

HDRVR AsHandle(DriverHandle* driver) { return reinterpret_cast<HDRVR>(driver); }

struct DriverManager {
  std::mutex loader;  // modules, and the open and close sequences
  std::mutex handles;  // drivers
  std::vector<std::unique_ptr<Module>> modules;
  std::vector<std::unique_ptr<DriverHandle>> drivers;
};

DriverManager& Manager() {
  static DriverManager manager;
  return manager;
}

void SetError(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
}

// The handle's record while it is open; nullptr for a closed or foreign handle.
DriverHandle* Live(HDRVR driver) {
  for (const auto& d : Manager().drivers) {
    if (AsHandle(d.get()) == driver) return d.get();
  }
  return nullptr;
}

// Finds or loads the module; a new module is loaded and enabled here.
// Called with the loader lock held, so two first opens cannot both load.
Module* Attach(const char* library, DRIVERPROC proc, HDRVR driver, std::string* error) {
  auto& m = Manager();
  for (const auto& module : m.modules) {
    if (library != nullptr ? module->library == library : module->proc == proc && module->library.empty()) {
      ++module->handles;
      return module.get();
    }
  }
  auto module = std::make_unique<Module>();
  if (library != nullptr) {
    module->library = library;
    std::string why;
    module->dl = LoadDriverLibrary(library, &module->proc, &why);
    if (module->dl == nullptr) {
      SetError(error, why);
      return nullptr;
    }
  } else {
    module->proc = proc;
  }
  if (module->proc(0, driver, DRV_LOAD, 0, 0) != 1) {
    SetError(error, "DRV_LOAD refused");
    if (module->dl != nullptr) UnloadDriverLibrary(module->dl);
    return nullptr;
  }
  module->proc(0, driver, DRV_ENABLE, 0, 0);
  module->handles = 1;
  m.modules.push_back(std::move(module));
  return m.modules.back().get();
}

// Drops one handle's hold on the module; the last one disables, frees and unloads it.
void Detach(Module* module, HDRVR driver) {
  // Module-wide messages carry driver id 0, as DRV_LOAD and DRV_ENABLE did.
  auto& m = Manager();
  if (--module->handles > 0) return;
  module->proc(0, driver, DRV_DISABLE, 0, 0);
  module->proc(0, driver, DRV_FREE, 0, 0);
  if (module->dl != nullptr) UnloadDriverLibrary(module->dl);
  m.modules.erase(std::remove_if(m.modules.begin(), m.modules.end(),
                                 [module](const auto& p) { return p.get() == module; }),
                  m.modules.end());
}

// The open text as the platform's driver manager passes it: UTF-16.
std::u16string WideText(const char* text) {
  std::u16string wide;
  for (const char* c = text; c != nullptr && *c != '\0'; ++c) wide.push_back(static_cast<unsigned char>(*c));
  return wide;
}

// Opens as the platform's driver manager does: with open parameters, first a
// session open carrying the text (lParam2 0), then the open proper with no text
// and the parameters; without them, one open carrying the text.
HDRVR Open(const char* library, DRIVERPROC proc, const char* openString, LPARAM lParam2, std::string* error) {
  auto& m = Manager();
  // Loading, enabling and opening run under the loader lock: the driver's own
  // open sequence must not interleave with another thread's first load or last free.
  std::lock_guard lock(m.loader);
  auto driver = std::make_unique<DriverHandle>(DriverHandle{nullptr, 0, 0});
  const HDRVR handle = AsHandle(driver.get());
  Module* module = Attach(library, proc, handle, error);
  if (module == nullptr) return nullptr;
  driver->module = module;
  const std::u16string text = WideText(openString);
  const LPARAM textParam = openString != nullptr ? reinterpret_cast<LPARAM>(text.c_str()) : 0;
  DWORD_PTR id = static_cast<DWORD_PTR>(module->proc(0, handle, DRV_OPEN, textParam, 0));
  if (id != 0 && lParam2 != 0) {
    driver->sessionId = id;
    id = static_cast<DWORD_PTR>(module->proc(0, handle, DRV_OPEN, 0, lParam2));
    if (id == 0) module->proc(driver->sessionId, handle, DRV_CLOSE, 0, 0);
  }
  if (id == 0) {
    SetError(error, kOpenRefused);
    Detach(module, handle);
    return nullptr;
  }
  driver->driverId = id;
  std::lock_guard handles(m.handles);
  m.drivers.push_back(std::move(driver));
  return handle;
}

}  // namespace

HDRVR OpenDriver(const char* library, const char* openString, LPARAM lParam2, std::string* error) {
  if (library == nullptr || *library == '\0') {
    SetError(error, "no library named");
    return nullptr;
  }
  return Open(library, nullptr, openString, lParam2, error);
}

HDRVR OpenDriverProc(DRIVERPROC proc, const char* openString, LPARAM lParam2, std::string* error) {
  if (proc == nullptr) {
    SetError(error, "no DriverProc");
    return nullptr;
  }
  return Open(nullptr, proc, openString, lParam2, error);
}

LRESULT SendDriverMessage(HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2) {
  DRIVERPROC proc = nullptr;
  DWORD_PTR id = 0;
  {
    std::lock_guard lock(Manager().handles);
    const DriverHandle* live = Live(driver);
    if (live == nullptr) return 0;
    proc = live->module->proc;
    id = live->driverId;
  }
  return proc(id, driver, msg, lParam1, lParam2);
}

LRESULT CloseDriver(HDRVR driver, LPARAM lParam1, LPARAM lParam2) {
  auto& m = Manager();
  std::lock_guard lock(m.loader);
  Module* module = nullptr;
  DWORD_PTR id = 0;
  DWORD_PTR sessionId = 0;
  {
    std::lock_guard handles(m.handles);
    const DriverHandle* live = Live(driver);
    if (live == nullptr) return 0;
    module = live->module;
    id = live->driverId;
    sessionId = live->sessionId;
  }
  LRESULT result = module->proc(id, driver, DRV_CLOSE, lParam1, lParam2);
  if (sessionId != 0) module->proc(sessionId, driver, DRV_CLOSE, 0, 0);
  Detach(module, driver);
  std::lock_guard handles(m.handles);
  m.drivers.erase(std::remove_if(m.drivers.begin(), m.drivers.end(),
                                 [driver](const auto& p) { return AsHandle(p.get()) == driver; }),
                  m.drivers.end());
  return result;
}

DWORD_PTR DriverId(HDRVR driver) {
  std::lock_guard lock(Manager().handles);
  const DriverHandle* live = Live(driver);
  return live != nullptr ? live->driverId : 0;
}

}  // namespace platform
