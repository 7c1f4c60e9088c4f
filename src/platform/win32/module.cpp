// The DLL's own handle, its version text and the developer's output. The
// loader hands the handle to DllMain; everything that needs the module's
// resources asks for it here.
#include <atomic>
#include <string>
#include <vector>

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

void DebugOutput(const char* line) {
  std::string text = std::string("ZARNCAP: ") + (line ? line : "") + "\r\n";
  ::OutputDebugStringA(text.c_str());
}

std::string ModuleVersionText() {
  char path[MAX_PATH] = {};
  if (::GetModuleFileNameA(ModuleHandle(), path, sizeof path) == 0) return {};
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return {};
  std::vector<char> block(size);
  if (!::GetFileVersionInfoA(path, 0, size, block.data())) return {};
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block.data(), "\\StringFileInfo\\040904e4\\FileVersion", &value, &length) || length == 0) {
    return {};
  }
  return std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), length));
}

std::string SystemLanguageCode() {
  char code[8] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, code, sizeof code) == 0) return "enu";
  std::string text(code);
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

}  // namespace platform
