// GetPrivateProfileInt / GetPrivateProfileString / WritePrivateProfileString
// on a system without them. Every call reads the file afresh (no cache, so two
// processes see each other's writes) and every write replaces the whole file
// through a temporary in the same folder, so a crash leaves the old file or the
// new one, never half of either. Each write reads, edits and renames under an
// advisory lock on "<file>.lock" that every process honours, so no process's
// write is lost to another's; one mutex serialises the calls of this process.
#include "platform/portable/ini_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/portable/ini_text.h"

namespace platform {
namespace {

using namespace ini;

std::mutex& ProfileMutex() {
  static std::mutex mutex;
  return mutex;
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadFile(const std::string& path, std::string* content) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
  content->clear();
  char chunk[8192];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return ReadResult::Failed;
    }
    if (n == 0) break;
    content->append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return ReadResult::Ok;
}


ReadResult LoadIni(const char* name, IniFile* file, std::string* path) {
  *path = ResolveProfilePath(name);
  std::string content;
  ReadResult result = ReadFile(*path, &content);
  *file = result == ReadResult::Ok ? SplitLines(content) : IniFile{};
  return result;
}

// The user's home folder: $HOME, else the password database's.
std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr) home = pw->pw_dir;
  }
  return home != nullptr ? home : "";
}

// ---- atomic replace
// Makes a folder and the folders above it that are missing, but never a
// missing home folder: a HOME that names nowhere (a service account's
// /nonexistent) must not turn into a real folder because root wrote settings.
bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (folder == HomeFolder()) {
    errno = ENOENT;
    return false;
  }
  size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash))) return false;
  return ::mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// The file a write replaces: a symbolic link is written through to the file
// it names, not over the link, also when that file does not exist yet
// (realpath refuses a missing file, so the links are followed one by one).
// Every writer of one file, through a link or not, then locks and replaces
// the same path.
std::string WriteTarget(const std::string& requestedPath) {
  constexpr int kMaxLinks = 40;  // as the system's own limit on a chain of links
  std::string path = requestedPath;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) break;  // not a link: the file itself, existing or not
    const std::string next(target, static_cast<size_t>(n));
    path = next[0] == '/' ? next : FolderOf(path) + "/" + next;
  }
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    path = real;
    std::free(real);
  } else if (char* folder = ::realpath(FolderOf(path).c_str(), nullptr)) {
    const size_t slash = path.find_last_of('/');
    path = std::string(folder) + "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
    std::free(folder);
  }
  return path;
}

// The advisory lock of one settings file, held from the read of a write to its
// rename. Every process takes it, so two writers never both edit the same old
// contents.
class WriteLock {
 public:
  explicit WriteLock(const std::string& path) {
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~WriteLock() {
    if (fd_ >= 0) ::close(fd_);  // closing lets go of the lock
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Replaces path (already resolved by WriteTarget) with the file's lines. Called
// under the write lock, so the temporary can have a fixed name: one left behind
// by a process killed mid-write is simply taken over by the next write.
bool ReplaceFile(const std::string& path, const IniFile& file) {
  const std::string folder = FolderOf(path);
  const std::string content = file.Join();

  const std::string tempName = path + ".tmp";
  int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat st;
  mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tempName.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tempName.c_str());
    return false;
  }
  // Make the rename itself durable.
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

// ---- result copies with the platform's truncation rules
DWORD CopyValue(std::string_view value, char* out, DWORD size) {
  if (out == nullptr || size == 0) return 0;
  size_t n = value.size() < size - 1 ? value.size() : size - 1;
  if (n > 0) std::memcpy(out, value.data(), n);  // an empty view may have no data at all
  out[n] = '\0';
  return static_cast<DWORD>(n);
}

// A list of names, each terminated, with one more terminator at the end. When
// it does not fit, the last name is cut and the answer is size - 2.
DWORD CopyList(const std::vector<std::string_view>& names, char* out, DWORD size) {
  if (out == nullptr || size == 0) return 0;
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  size_t used = 0;
  for (std::string_view name : names) {
    if (used + name.size() + 2 > size) {  // the name, its terminator and the list's
      size_t room = used < size - 2 ? size - 2 - used : 0;
      if (room > 0) std::memcpy(out + used, name.data(), room);
      out[size - 2] = '\0';
      out[size - 1] = '\0';
      return size - 2;
    }
    if (!name.empty()) std::memcpy(out + used, name.data(), name.size());
    used += name.size();
    out[used++] = '\0';
  }
  out[used] = '\0';
  return static_cast<DWORD>(used);
}

// A value written in matching quotes reads back without them.

bool HasLineBreak(const char* text) { return text != nullptr && std::strpbrk(text, "\r\n") != nullptr; }


std::optional<std::string> LookUp(const char* section, const char* key, const char* name) {
  IniFile file;
  std::string path;
  if (LoadIni(name, &file, &path) != ReadResult::Ok) return std::nullopt;
  auto range = file.FindSection(section);
  if (!range) return std::nullopt;
  auto index = file.FindKey(*range, key);
  if (!index) return std::nullopt;
  ParsedLine p = Parse(file.lines[*index].text);
  if (!p.hasValue) return std::nullopt;
  return std::string(Unquote(p.value));
}

}  // namespace

std::string SettingsFolder() {
  if (const char* dir = std::getenv("ZARNCAP_CONFIG_DIR"); dir != nullptr && *dir != '\0') return dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    return std::string(xdg) + "/zarncap";
  }
  const std::string home = HomeFolder();
  if (home.empty()) return ".";
  return home + "/.config/zarncap";
}

std::string ProfileWriteProblem(const char* name) {
  if (name == nullptr) return "no file named";
  std::lock_guard lock(ProfileMutex());
  const std::string path = WriteTarget(ResolveProfilePath(name));
  const std::string folder = FolderOf(path);
  if (!MakeFolders(folder)) return "the folder " + folder + " cannot be made (" + std::strerror(errno) + ")";
  // A write puts a temporary and the lock file beside the file, then renames.
  if (::access(folder.c_str(), W_OK) != 0) return "the folder " + folder + " is not writable (" + std::strerror(errno) + ")";
  if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0) {
    return "the file is not writable (" + std::string(std::strerror(errno)) + ")";
  }
  return "";
}

std::string ResolveProfilePath(const char* name) {
  if (name == nullptr) return {};
  if (name[0] == '/') return name;
  return SettingsFolder() + "/" + name;
}

UINT GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* file) {
  if (section == nullptr || key == nullptr || file == nullptr) return static_cast<UINT>(defaultValue);
  std::lock_guard lock(ProfileMutex());
  std::optional<std::string> value = LookUp(section, key, file);
  if (!value || value->empty()) return static_cast<UINT>(defaultValue);
  return ParseProfileInt(*value);
}

DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* out,
                              DWORD size, const char* file) {
  if (out == nullptr || size == 0) return 0;
  // The default loses its trailing blanks, as the platform's does.
  std::string_view fallback = defaultValue ? std::string_view(defaultValue) : std::string_view();
  while (!fallback.empty() && IsBlank(fallback.back())) fallback.remove_suffix(1);
  if (file == nullptr) return CopyValue(fallback, out, size);

  std::lock_guard lock(ProfileMutex());
  IniFile ini;
  std::string path;
  ReadResult read = LoadIni(file, &ini, &path);
  if (section == nullptr || key == nullptr) {
    // Name lists: every section, or every key of one section.
    std::vector<std::string_view> names;
    std::vector<ParsedLine> parsed;
    parsed.reserve(ini.lines.size());
    for (const Line& line : ini.lines) parsed.push_back(Parse(line.text));
    if (section == nullptr) {
      for (const ParsedLine& p : parsed) {
        if (p.kind == LineKind::Section) names.push_back(p.name);
      }
    } else if (auto range = ini.FindSection(section)) {
      for (size_t i = range->first; i < range->second; ++i) {
        if (parsed[i].kind == LineKind::Key) names.push_back(parsed[i].name);
      }
    }
    if (names.empty()) return CopyValue(fallback, out, size);
    return CopyList(names, out, size);
  }
  if (read == ReadResult::Ok) {
    if (auto range = ini.FindSection(section)) {
      if (auto index = ini.FindKey(*range, key)) {
        ParsedLine p = Parse(ini.lines[*index].text);
        if (p.hasValue) return CopyValue(Unquote(p.value), out, size);
      }
    }
  }
  return CopyValue(fallback, out, size);
}

BOOL WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file) {
  if (file == nullptr) return FALSE;
  if (section == nullptr) return key == nullptr && value == nullptr ? TRUE : FALSE;  // a flush: nothing cached
  // A line break cannot be stored in one line, and an '=' or a leading '[' or
  // ';' in a key would read back as something else: refuse rather than corrupt.
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return FALSE;
  if (Trim(section).empty() || std::strchr(section, ']') != nullptr) return FALSE;
  std::string_view keyName = key ? Trim(key) : std::string_view();
  if (key != nullptr && (keyName.empty() || keyName.find('=') != std::string_view::npos || keyName.front() == '[' ||
                         keyName.front() == ';')) {
    return FALSE;
  }

  std::lock_guard lock(ProfileMutex());
  const std::string path = WriteTarget(ResolveProfilePath(file));
  if (!MakeFolders(FolderOf(path))) return FALSE;
  WriteLock writeLock(path);
  if (!writeLock.Held()) return FALSE;
  IniFile ini;
  std::string content;
  ReadResult read = ReadFile(path, &content);
  if (read == ReadResult::Failed) return FALSE;
  if (read == ReadResult::Ok) ini = SplitLines(content);
  auto range = ini.FindSection(section);

  if (key == nullptr) {  // delete the whole section
    if (!range) return TRUE;
    ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(range->first),
                    ini.lines.begin() + static_cast<std::ptrdiff_t>(range->second));
    return ReplaceFile(path, ini) ? TRUE : FALSE;
  }

  std::string newLine = std::string(keyName) + "=" + (value ? value : "");
  if (range) {
    if (auto index = ini.FindKey(*range, keyName)) {
      if (value == nullptr) {
        ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(*index));
      } else {
        // Keep the key as the file spells it.
        std::string_view existing = Parse(ini.lines[*index].text).name;
        ini.lines[*index].text = std::string(existing) + "=" + value;
      }
      return ReplaceFile(path, ini) ? TRUE : FALSE;
    }
    if (value == nullptr) return TRUE;  // nothing to delete
    // A new key goes after the section's last entry, ahead of any blank lines
    // or comments that lead into the next section.
    size_t at = range->first;
    for (size_t i = range->first; i < range->second; ++i) {
      LineKind kind = Parse(ini.lines[i].text).kind;
      if (kind == LineKind::Key || kind == LineKind::Section) at = i;
    }
    if (ini.lines[at].eol.empty()) ini.lines[at].eol = ini.Eol();
    ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(at + 1), Line{newLine, ini.Eol()});
    return ReplaceFile(path, ini) ? TRUE : FALSE;
  }

  if (value == nullptr) return TRUE;
  if (!ini.lines.empty() && ini.lines.back().eol.empty()) ini.lines.back().eol = ini.Eol();
  ini.lines.push_back({"[" + std::string(Trim(section)) + "]", ini.Eol()});
  ini.lines.push_back({newLine, ini.Eol()});
  return ReplaceFile(path, ini) ? TRUE : FALSE;
}

}  // namespace platform
