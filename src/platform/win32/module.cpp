// The DLL's own handle and the developer's output. The loader hands the
// handle to DllMain; everything that needs the module's resources asks for it
// here.
#include <atomic>
#include <string>

#include "platform/platform.h"

namespace {
std::atomic<HINSTANCE> g_module{nullptr};
std::atomic<void (*)()> g_unload{nullptr};
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module.store(instance);
    ::DisableThreadLibraryCalls(instance);
  }
  // FreeLibrary (not the process ending: then the system takes everything).
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    if (void (*handler)() = g_unload.exchange(nullptr)) handler();
  }
  return TRUE;
}

namespace platform {

HINSTANCE ModuleHandle() { return g_module.load(); }

void OnModuleUnload(void (*handler)()) { g_unload.store(handler); }

std::string ModuleFileName() {
  char path[MAX_PATH] = {};
  return ::GetModuleFileNameA(ModuleHandle(), path, sizeof path) != 0 ? std::string(path) : std::string();
}

void DebugOutput(const char* line) {
  std::string text = std::string("ZARNCAP: ") + (line ? line : "") + "\r\n";
  ::OutputDebugStringA(text.c_str());
}

}  // namespace platform
