// The settings copy for --trace. The text handling follows the driver's
// settings reader and writer: sections and keys compared without regard to
// case, blanks trimmed, ';' comments, the first section and first key of a
// name win, integers read as optional sign and decimal digits, and every line
// keeps its own line end.
#include "tools/zarncap/host/trace_settings.h"

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

#include "platform/portable/ini_text.h"
#include "tools/zarncap/host/settings_path.h"
#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

constexpr std::string_view kSection = "ZARNCAP";
constexpr std::string_view kKey = "DebugLevel";

using platform::ini::IniFile;
using platform::ini::Line;
using platform::ini::LineKind;
using platform::ini::Parse;
using platform::ini::SplitLines;

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
  const IniFile file = SplitLines(text);
  const auto range = file.FindSection(kSection);
  if (!range) return 0;
  const auto index = file.FindKey(*range, kKey);
  if (!index) return 0;
  const platform::ini::ParsedLine p = Parse(file.lines[*index].text);
  if (!p.hasValue || p.value.empty()) return 0;
  return platform::ini::ParseProfileInt(platform::ini::Unquote(p.value));
}

TraceEdit EnableTraceBit(const std::string& userText) {
  IniFile file = SplitLines(userText);
  TraceEdit edit;
  const unsigned level = (ReadDebugLevel(userText) & 0xFFFFu) | kTraceBit;
  const auto range = file.FindSection(kSection);
  if (range) {
    if (const auto index = file.FindKey(*range, kKey)) {
      edit.kind = TraceEdit::Kind::kReplaced;
      edit.originalLine = file.lines[*index].text;
      const std::string name(Parse(file.lines[*index].text).name);  // the file's own spelling
      file.lines[*index].text = name + "=" + std::to_string(level);
    } else {
      edit.kind = TraceEdit::Kind::kInsertedKey;
      size_t at = range->first;
      for (size_t i = range->first; i < range->second; ++i) {
        const LineKind kind = Parse(file.lines[i].text).kind;
        if (kind == LineKind::Key || kind == LineKind::Section) at = i;
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
  IniFile file = SplitLines(copyText);
  const auto range = file.FindSection(kSection);
  if (!range) return copyText;
  const auto index = file.FindKey(*range, kKey);
  if (!index) return copyText;
  if (edit.kind == TraceEdit::Kind::kReplaced) {
    file.lines[*index].text = edit.originalLine;
    return file.Join();
  }
  file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(*index));
  if (edit.kind == TraceEdit::Kind::kInsertedSection) {
    // A section that only held the trace setting was not the user's: drop it.
    const auto after = file.FindSection(kSection);
    bool empty = true;
    for (size_t i = after->first + 1; i < after->second; ++i) {
      if (Parse(file.lines[i].text).kind != LineKind::Blank) empty = false;
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
