// The DLL's own handle and the developer's output. The loader hands the
// handle to DllMain; everything that needs the module's resources asks for it
// here.
#include <atomic>
#include <string>

#include "platform/platform.h"

namespace {
std::atomic<HINSTANCE> g_module{nullptr};
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module.store(instance);
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

namespace platform {

HINSTANCE ModuleHandle() { return g_module.load(); }

std::string ModuleFileName() {
  char path[MAX_PATH] = {};
  return ::GetModuleFileNameA(ModuleHandle(), path, sizeof path) != 0 ? std::string(path) : std::string();
}

void DebugOutput(const char* line) {
  std::string text = std::string("ZARNCAP: ") + (line ? line : "") + "\r\n";
  ::OutputDebugStringA(text.c_str());
}

}  // namespace platform
