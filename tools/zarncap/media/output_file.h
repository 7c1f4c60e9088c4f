// Files the tool writes appear complete or not at all: the bytes go to a
// temporary file in the same folder, renamed over the target only on success
// and removed on failure (or when the object dies unfinished).
#pragma once

#include <cstdio>
#include <string>

namespace zarncap {

class OutputFile {
 public:
  // Creates the temporary file next to path; throws ToolError when the folder
  // cannot take it (missing, not writable) or path names a folder.
  explicit OutputFile(std::string path);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  const std::string& Path() const { return path_; }
  const std::string& TempPath() const { return tempPath_; }
  // The open temporary file (nullptr after ReleaseStream or Commit).
  std::FILE* Stream() { return stream_; }
  // Closes the stream so that another writer (libavformat) can open TempPath
  // by name.
  void ReleaseStream();
  // Closes the stream after a failed write, whatever the close says.
  void AbandonStream();
  // Flushes, closes and renames onto Path; throws ToolError on any failure
  // (and removes the temporary file). With keepExisting, a file already at
  // Path is left as it is and the commit fails.
  void Commit(bool keepExisting = false);
  // Removes the temporary file now.
  void Discard();

 private:
  std::string path_;
  std::string target_;  // path_, or the file a symbolic link at path_ names
  std::string tempPath_;
  std::FILE* stream_ = nullptr;
  bool done_ = false;
};

// Throws ToolError("cannot write PATH: reason") for a failed write on stream.
void CheckWritten(std::FILE* stream, const std::string& path);

}  // namespace zarncap
