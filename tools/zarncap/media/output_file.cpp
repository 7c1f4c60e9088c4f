// Temporary-then-rename output files.
#include "tools/zarncap/media/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

std::string Reason(int error) { return std::strerror(error); }

// The permissions a plain new file gets under the process's umask.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  namespace fs = std::filesystem;
  if (path_.empty()) throw ToolError("no output file given");
  std::error_code ec;
  if (fs::is_directory(path_, ec)) throw ToolError("cannot write " + path_ + ": it is a folder");
  // A symbolic link is written through to the file it names, not replaced.
  target_ = path_;
  if (fs::is_symlink(fs::symlink_status(path_, ec))) {
    const fs::path resolved = fs::weakly_canonical(path_, ec);
    if (!ec) target_ = resolved.string();
  }
  const fs::path target(target_);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string pattern = (folder / ("." + target.filename().string() + ".zarncap-XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) throw ToolError("cannot write " + path_ + ": " + Reason(errno));
  tempPath_ = buffer.data();
  ::fchmod(fd, NewFileMode());
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(tempPath_.c_str());
    throw ToolError("cannot write " + path_ + ": " + Reason(error));
  }
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::ReleaseStream() {
  if (stream_ == nullptr) return;
  const bool failed = std::fclose(stream_) != 0;
  stream_ = nullptr;
  if (failed) throw ToolError("cannot write " + path_ + ": " + Reason(errno));
}

void OutputFile::AbandonStream() {
  if (stream_ == nullptr) return;
  std::fclose(stream_);
  stream_ = nullptr;
}

void OutputFile::Commit(bool keepExisting) {
  if (done_) return;
  try {
    if (stream_ != nullptr) {
      CheckWritten(stream_, path_);
      ReleaseStream();
    }
    if (keepExisting) {
      // A hard link never replaces: the file appears under its name only if
      // the name is still free at this very moment.
      if (::link(tempPath_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        throw ToolError(error == EEXIST ? path_ + " exists; --no-clobber keeps it"
                                        : "cannot write " + path_ + ": " + Reason(error));
      }
      ::unlink(tempPath_.c_str());
    } else if (std::rename(tempPath_.c_str(), target_.c_str()) != 0) {
      throw ToolError("cannot write " + path_ + ": " + Reason(errno));
    }
  } catch (...) {
    Discard();
    throw;
  }
  done_ = true;
}

void OutputFile::Discard() {
  if (done_) return;
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  done_ = true;
}

void CheckWritten(std::FILE* stream, const std::string& path) {
  if (std::fflush(stream) != 0 || std::ferror(stream) != 0) {
    const int error = errno != 0 ? errno : EIO;
    throw ToolError("cannot write " + path + ": " + Reason(error));
  }
}

}  // namespace zarncap
