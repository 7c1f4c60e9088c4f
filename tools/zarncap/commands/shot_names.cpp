// Shot names: the counter first, then strftime over what is left.
#include "tools/zarncap/commands/shot_names.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace zarncap {
namespace {

// The length of a counter field "%n", "%4n" or "%04n" starting at text[at], 0 if none.
size_t CounterLength(const std::string& text, size_t at) {
  size_t i = at + 1;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  return i < text.size() && text[i] == 'n' && i - at <= 4 ? i - at + 1 : 0;
}

}  // namespace

bool NamesEachShot(const std::string& pattern) {
  for (size_t at = pattern.find('%'); at != std::string::npos; at = pattern.find('%', at + 2)) {
    if (at + 1 < pattern.size() && pattern[at + 1] != '%') return true;
  }
  return false;
}

std::string ShotName(const std::string& pattern, int number, std::time_t when) {
  std::string withNumber;
  for (size_t at = 0; at < pattern.size(); ++at) {
    if (pattern[at] != '%') {
      withNumber += pattern[at];
      continue;
    }
    if (at + 1 < pattern.size() && pattern[at + 1] == '%') {  // a literal '%' stays escaped for strftime
      withNumber += "%%";
      ++at;
      continue;
    }
    if (const size_t length = CounterLength(pattern, at)) {
      std::string field = pattern.substr(at, length);
      field.back() = 'd';  // printf's spelling of the same field
      char digits[32];
      std::snprintf(digits, sizeof digits, field.c_str(), number);
      withNumber += digits;
      at += length - 1;
      continue;
    }
    withNumber += '%';
  }
  std::tm local{};
  localtime_r(&when, &local);
  std::vector<char> out(withNumber.size() * 4 + 64);
  const size_t written = std::strftime(out.data(), out.size(), withNumber.c_str(), &local);
  return written > 0 || withNumber.empty() ? std::string(out.data(), written) : withNumber;
}

}  // namespace zarncap
