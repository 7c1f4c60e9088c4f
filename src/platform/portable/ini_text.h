// The text of a settings file as the portable profile functions see it: lines
// that keep their own endings, sections and keys compared without regard to
// case, blanks trimmed, ';' comments, the first section and key of a name win.
// Shared by the profile functions and by hosts that edit a settings file line
// by line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace platform::ini {

bool IsBlank(char c);
std::string_view Trim(std::string_view s);
bool SameName(std::string_view a, std::string_view b);

struct Line {
  std::string text;
  std::string eol;  // "\n", "\r\n" or "" for a last line without one
};

enum class LineKind { Blank, Section, Key, Comment };

struct ParsedLine {
  LineKind kind = LineKind::Blank;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed
  bool hasValue = false;   // "key=value" rather than a bare word
};
// The views point into text.
ParsedLine Parse(const std::string& text);

struct IniFile {
  std::vector<Line> lines;
  bool crlf = false;  // the ending new lines get: the file's own when it has one

  // [begin, end) of the first section of that name; begin is the header line.
  std::optional<std::pair<size_t, size_t>> FindSection(std::string_view section) const;
  std::optional<size_t> FindKey(std::pair<size_t, size_t> range, std::string_view key) const;
  std::string Eol() const { return crlf ? "\r\n" : "\n"; }
  std::string Join() const;
};
IniFile SplitLines(const std::string& content);

// A value in matching single or double quotes, without them.
std::string_view Unquote(std::string_view value);
// The integer reader: leading blanks, an optional sign, decimal digits up to
// the first other character; anything else is 0. Wraps like 32-bit arithmetic.
UINT ParseProfileInt(std::string_view text);

}  // namespace platform::ini
