#include "tools/zarncap/host/driver_output.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace zarncap {

DriverOutputCapture::DriverOutputCapture() {
  std::fflush(stderr);
  char name[] = "/tmp/zarncap-driver-output-XXXXXX";
  file_ = ::mkstemp(name);
  if (file_ < 0) return;
  ::unlink(name);
  saved_ = ::dup(STDERR_FILENO);
  if (saved_ < 0 || ::dup2(file_, STDERR_FILENO) < 0) {
    ::close(file_);
    file_ = -1;
  }
}

DriverOutputCapture::~DriverOutputCapture() { Stop(); }

std::string DriverOutputCapture::Stop() {
  if (file_ < 0) return "";
  std::fflush(stderr);
  ::dup2(saved_, STDERR_FILENO);
  ::close(saved_);
  std::string text;
  char buffer[4096];
  ::lseek(file_, 0, SEEK_SET);
  for (ssize_t n; (n = ::read(file_, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  ::close(file_);
  file_ = -1;
  return text;
}

std::vector<std::string> MessageBoxLines(const std::string& output, const std::vector<std::string>& captions) {
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    for (const std::string& caption : captions) {
      if (line.rfind(caption + ": ", 0) == 0) lines.push_back(line);
    }
  }
  return lines;
}

}  // namespace zarncap
