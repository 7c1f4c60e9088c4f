// The settings file, reader and writer: any file content, then one write of
// a section, key and value. What was written reads back, and every other key
// of the file reads as it did before.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

std::string Path() {
  static const std::string path = "/tmp/zarncap-settings-fuzz-" + std::to_string(::getpid()) + ".ini";
  return path;
}

std::string Read(const char* section, const char* key, const std::string& path) {
  char out[512];
  platform::GetPrivateProfileString(section, key, "\x01missing", out, sizeof out, path.c_str());
  return out;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trimmed(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && Blank(s[a])) ++a;
  while (b > a && Blank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(24);
  const std::string key = in.ConsumeRandomLengthString(24);
  const std::string value = in.ConsumeRandomLengthString(64);
  const std::string other = in.ConsumeRandomLengthString(24);
  const std::string content = in.ConsumeRemainingBytesAsString();
  const std::string path = Path();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }
  // Names with a NUL inside are not names the platform's functions can see whole.
  if (section.find('\0') != std::string::npos || key.find('\0') != std::string::npos ||
      value.find('\0') != std::string::npos || other.find('\0') != std::string::npos) {
    return 0;
  }
  const std::string before = Read(section.c_str(), other.c_str(), path);
  const BOOL written = platform::WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(), path.c_str());
  if (written) {
    const std::string after = Read(section.c_str(), key.c_str(), path);
    // A value in matching quotes reads back without them; otherwise as written, trimmed.
    std::string expected = Trimmed(value);
    if (expected.size() >= 2 && (expected.front() == '"' || expected.front() == '\'') &&
        expected.back() == expected.front()) {
      expected = expected.substr(1, expected.size() - 2);
    }
    if (expected.size() > 511) expected.resize(511);
    if (after != expected) __builtin_trap();
    const bool sameKey = Trimmed(other).size() == Trimmed(key).size() &&
                         strncasecmp(Trimmed(other).c_str(), Trimmed(key).c_str(), Trimmed(key).size()) == 0;
    if (!sameKey && Read(section.c_str(), other.c_str(), path) != before) __builtin_trap();
  }
  char list[1024];
  platform::GetPrivateProfileString(nullptr, nullptr, "", list, sizeof list, path.c_str());
  platform::GetPrivateProfileString(section.c_str(), nullptr, "", list, sizeof list, path.c_str());
  platform::GetPrivateProfileInt(section.c_str(), key.c_str(), 7, path.c_str());
  return 0;
}
