// What the driver says on the standard error stream while a host runs it:
// its message boxes ("<caption>: <text>", the portable platform's way of
// showing them) and, with its trace on, the trace lines. A capture takes them
// for a while, so a host can read them back instead of the user.
#pragma once

#include <string>
#include <vector>

namespace zarncap {

class DriverOutputCapture {
 public:
  // From now on the process's standard error goes to a private file.
  DriverOutputCapture();
  // Gives the standard error back (Stop, if not done).
  ~DriverOutputCapture();
  DriverOutputCapture(const DriverOutputCapture&) = delete;
  DriverOutputCapture& operator=(const DriverOutputCapture&) = delete;

  // Gives the standard error back and returns what was written meanwhile.
  std::string Stop();

 private:
  int saved_ = -1;
  int file_ = -1;
};

// The lines of text that start with "<caption>: " for one of the captions.
std::vector<std::string> MessageBoxLines(const std::string& output, const std::vector<std::string>& captions);

}  // namespace zarncap
