#include "platform/portable/ini_text.h"

namespace platform::ini {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

ParsedLine Parse(const std::string& text) {
  ParsedLine parsed;
  std::string_view s = Trim(text);
  if (s.empty()) return parsed;
  if (s.front() == '[') {
    s.remove_prefix(1);
    size_t close = s.find(']');
    parsed.kind = LineKind::Section;
    parsed.name = Trim(close == std::string_view::npos ? s : s.substr(0, close));
    return parsed;
  }
  if (s.front() == ';') {
    parsed.kind = LineKind::Comment;
    return parsed;
  }
  parsed.kind = LineKind::Key;
  size_t equals = s.find('=');
  if (equals == std::string_view::npos) {
    parsed.name = s;
    return parsed;
  }
  parsed.name = Trim(s.substr(0, equals));
  parsed.value = Trim(s.substr(equals + 1));
  parsed.hasValue = true;
  return parsed;
}

// Names are looked up trimmed, as the writer stores them, so reads and writes
// treat " Video " and "Video" alike.
std::optional<std::pair<size_t, size_t>> IniFile::FindSection(std::string_view section) const {
  section = Trim(section);
  std::optional<size_t> begin;
  for (size_t i = 0; i < lines.size(); ++i) {
    ParsedLine p = Parse(lines[i].text);
    if (p.kind != LineKind::Section) continue;
    if (begin) return std::make_pair(*begin, i);
    if (SameName(p.name, section)) begin = i;
  }
  if (begin) return std::make_pair(*begin, lines.size());
  return std::nullopt;
}

std::optional<size_t> IniFile::FindKey(std::pair<size_t, size_t> range, std::string_view key) const {
  key = Trim(key);
  for (size_t i = range.first; i < range.second; ++i) {
    ParsedLine p = Parse(lines[i].text);
    if (p.kind == LineKind::Key && SameName(p.name, key)) return i;
  }
  return std::nullopt;
}

std::string IniFile::Join() const {
  std::string out;
  for (const Line& line : lines) out += line.text + line.eol;
  return out;
}

IniFile SplitLines(const std::string& content) {
  IniFile file;
  size_t start = 0;
  while (start < content.size()) {
    size_t newline = content.find('\n', start);
    Line line;
    if (newline == std::string::npos) {
      line.text = content.substr(start);
      start = content.size();
    } else {
      size_t end = newline;
      if (end > start && content[end - 1] == '\r') {
        --end;
        line.eol = "\r\n";
        file.crlf = true;
      } else {
        line.eol = "\n";
      }
      line.text = content.substr(start, end - start);
      start = newline + 1;
    }
    file.lines.push_back(std::move(line));
  }
  return file;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

UINT ParseProfileInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  UINT value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10u + static_cast<UINT>(text[i] - '0');
  return negative ? 0u - value : value;
}

}  // namespace platform::ini
