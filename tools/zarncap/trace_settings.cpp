// The settings copy for --trace. The text handling follows the driver's
// settings reader and writer: sections and keys compared without regard to
// case, blanks trimmed, ';' comments, the first section and first key of a
// name win, integers read as optional sign and decimal digits, and every line
// keeps its own line end.
#include "tools/zarncap/trace_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "tools/zarncap/settings_path.h"
#include "tools/zarncap/tool_error.h"

namespace zarncap {
namespace {

constexpr std::string_view kSection = "ZARNCAP";
constexpr std::string_view kKey = "DebugLevel";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

struct Line {
  std::string text;
  std::string eol;
};

struct Lines {
  std::vector<Line> lines;
  bool crlf = false;
  std::string Eol() const { return crlf ? "\r\n" : "\n"; }
  std::string Join() const {
    std::string out;
    for (const auto& line : lines) out += line.text + line.eol;
    return out;
  }
};

Lines Split(const std::string& content) {
  Lines file;
  size_t start = 0;
  while (start < content.size()) {
    const size_t newline = content.find('\n', start);
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

enum class Kind { kBlank, kSection, kKey, kComment };
struct Parsed {
  Kind kind = Kind::kBlank;
  std::string_view name, value;
  bool hasValue = false;
};

Parsed Parse(const std::string& text) {
  Parsed parsed;
  std::string_view s = Trim(text);
  if (s.empty()) return parsed;
  if (s.front() == '[') {
    s.remove_prefix(1);
    const size_t close = s.find(']');
    parsed.kind = Kind::kSection;
    parsed.name = Trim(close == std::string_view::npos ? s : s.substr(0, close));
    return parsed;
  }
  if (s.front() == ';') {
    parsed.kind = Kind::kComment;
    return parsed;
  }
  parsed.kind = Kind::kKey;
  const size_t equals = s.find('=');
  if (equals == std::string_view::npos) {
    parsed.name = s;
    return parsed;
  }
  parsed.name = Trim(s.substr(0, equals));
  parsed.value = Trim(s.substr(equals + 1));
  parsed.hasValue = true;
  return parsed;
}

// [header, end) of the first section named kSection.
std::optional<std::pair<size_t, size_t>> FindSection(const Lines& file) {
  std::optional<size_t> begin;
  for (size_t i = 0; i < file.lines.size(); ++i) {
    const Parsed p = Parse(file.lines[i].text);
    if (p.kind != Kind::kSection) continue;
    if (begin) return std::make_pair(*begin, i);
    if (SameName(p.name, kSection)) begin = i;
  }
  if (begin) return std::make_pair(*begin, file.lines.size());
  return std::nullopt;
}

std::optional<size_t> FindKey(const Lines& file, std::pair<size_t, size_t> range) {
  for (size_t i = range.first; i < range.second; ++i) {
    const Parsed p = Parse(file.lines[i].text);
    if (p.kind == Kind::kKey && SameName(p.name, kKey)) return i;
  }
  return std::nullopt;
}

unsigned ParseInt(std::string_view text) {
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
    text = text.substr(1, text.size() - 2);
  }
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  unsigned value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10u + static_cast<unsigned>(text[i] - '0');
  return negative ? 0u - value : value;
}

std::string KeyLine(unsigned level) { return std::string(kKey) + "=" + std::to_string(level); }

bool ReadText(const std::string& path, std::string* text, bool* exists) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *exists = false;
    text->clear();
    return errno == ENOENT || errno == ENOTDIR;
  }
  *exists = true;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return !in.bad();
}

// Replaces path with text through a temporary in the same folder, keeping the
// file's permissions (0644 for a new file) and writing through a symbolic link
// to the file it names, as the driver's writer does.
void ReplaceFile(const std::string& requested, const std::string& text) {
  namespace fs = std::filesystem;
  std::string path = requested;
  if (char* real = ::realpath(requested.c_str(), nullptr)) {
    path = real;
    std::free(real);
  }
  const fs::path folder = fs::path(path).parent_path();
  std::error_code ec;
  if (!folder.empty()) fs::create_directories(folder, ec);
  std::string pattern = path + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) throw ToolError("cannot write the settings file " + requested + ": " + std::strerror(errno));
  struct stat st{};
  const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  bool ok = ::fchmod(fd, mode) == 0;
  size_t done = 0;
  while (ok && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(name.data(), path.c_str()) == 0;
  if (!ok) {
    const int error = errno;
    ::unlink(name.data());
    throw ToolError("cannot write the settings file " + requested + ": " + std::strerror(error));
  }
}

// A private folder for the copy whose path the open string can carry.
std::string MakeCopyFolder() {
  std::string base = "/tmp";
  if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && tmp[0] == '/') base = tmp;
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::string pattern = base + "/zarncap-trace-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
      if (base == "/tmp") break;
      base = "/tmp";  // $TMPDIR cannot take it: the system's folder may
      continue;
    }
    std::string folder = name.data();
    if (OpenStringProblem(folder + "/zarncap.ini", false).empty()) return folder;
    ::rmdir(folder.c_str());  // a random name that reads as a port: try another
    if (base != "/tmp") base = "/tmp";
  }
  throw ToolError("cannot make a temporary settings copy for --trace in " + base + ": " + std::strerror(errno));
}

}  // namespace

unsigned ReadDebugLevel(const std::string& text) {
  const Lines file = Split(text);
  const auto range = FindSection(file);
  if (!range) return 0;
  const auto index = FindKey(file, *range);
  if (!index) return 0;
  const Parsed p = Parse(file.lines[*index].text);
  if (!p.hasValue || p.value.empty()) return 0;
  return ParseInt(p.value);
}

TraceEdit EnableTraceBit(const std::string& userText) {
  Lines file = Split(userText);
  TraceEdit edit;
  const unsigned level = (ReadDebugLevel(userText) & 0xFFFFu) | kTraceBit;
  const auto range = FindSection(file);
  if (range) {
    if (const auto index = FindKey(file, *range)) {
      edit.kind = TraceEdit::Kind::kReplaced;
      edit.originalLine = file.lines[*index].text;
      const std::string name(Parse(file.lines[*index].text).name);  // the file's own spelling
      file.lines[*index].text = name + "=" + std::to_string(level);
    } else {
      edit.kind = TraceEdit::Kind::kInsertedKey;
      size_t at = range->first;
      for (size_t i = range->first; i < range->second; ++i) {
        const Kind kind = Parse(file.lines[i].text).kind;
        if (kind == Kind::kKey || kind == Kind::kSection) at = i;
      }
      if (file.lines[at].eol.empty()) file.lines[at].eol = file.Eol();
      file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(at + 1), Line{KeyLine(level), file.Eol()});
    }
  } else {
    edit.kind = TraceEdit::Kind::kInsertedSection;
    if (!file.lines.empty() && file.lines.back().eol.empty()) file.lines.back().eol = file.Eol();
    file.lines.push_back({"[" + std::string(kSection) + "]", file.Eol()});
    file.lines.push_back({KeyLine(level), file.Eol()});
  }
  edit.text = file.Join();
  return edit;
}

std::string UndoTraceBit(const std::string& copyText, const TraceEdit& edit) {
  Lines file = Split(copyText);
  const auto range = FindSection(file);
  if (!range) return copyText;
  const auto index = FindKey(file, *range);
  if (!index) return copyText;
  if (edit.kind == TraceEdit::Kind::kReplaced) {
    file.lines[*index].text = edit.originalLine;
    return file.Join();
  }
  file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(*index));
  if (edit.kind == TraceEdit::Kind::kInsertedSection) {
    // A section that only held the trace setting was not the user's: drop it.
    const auto after = FindSection(file);
    bool empty = true;
    for (size_t i = after->first + 1; i < after->second; ++i) {
      if (Parse(file.lines[i].text).kind != Kind::kBlank) empty = false;
    }
    if (empty) {
      file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(after->first),
                       file.lines.begin() + static_cast<std::ptrdiff_t>(after->second));
    }
  }
  return file.Join();
}

TraceSettings::TraceSettings(std::string userPath) : userPath_(std::move(userPath)) {
  std::string userText;
  bool exists = false;
  if (!ReadText(userPath_, &userText, &exists)) {
    throw ToolError("cannot read the settings file " + userPath_ + ": " + std::strerror(errno));
  }
  edit_ = EnableTraceBit(userText);
  folder_ = MakeCopyFolder();
  copyPath_ = folder_ + "/zarncap.ini";
  std::ofstream out(copyPath_, std::ios::binary);
  out << edit_.text;
  out.close();
  if (!out) {
    std::filesystem::remove_all(folder_);
    throw ToolError("cannot write the settings copy " + copyPath_ + " for --trace");
  }
}

TraceSettings::~TraceSettings() {
  std::error_code ec;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
}

void TraceSettings::CarryBack() {
  if (carried_) return;
  carried_ = true;
  std::string copyText;
  bool exists = false;
  if (!ReadText(copyPath_, &copyText, &exists) || !exists) {
    throw ToolError("cannot read back the settings copy " + copyPath_ + " of --trace");
  }
  if (copyText == edit_.text) return;  // the driver wrote nothing
  ReplaceFile(userPath_, UndoTraceBit(copyText, edit_));
}

}  // namespace zarncap
