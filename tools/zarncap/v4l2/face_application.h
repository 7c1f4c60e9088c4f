// The application `zarncap v4l2` runs: started with the preload library and
// the face's variables, given the termination signals the launcher gets, and
// reaped with any descendant it leaves behind (the launcher is their
// subreaper, so every process of the application stays below it).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zarncap {

struct FacePlace;

// What the application is told of the face; an empty socket path: no camera.
struct FaceLaunch {
  std::string preloadLibrary;
  std::string socketPath;
  std::string tree;  // the device's sysfs and udev entries, laid out as from the root
};

class FaceApplication {
 public:
  // Takes SIGCHLD, SIGINT, SIGTERM and SIGHUP for its lifetime; throws ToolError.
  FaceApplication();
  FaceApplication(const FaceApplication&) = delete;
  FaceApplication& operator=(const FaceApplication&) = delete;
  // Gives the signals back as they were.
  ~FaceApplication();

  // Starts the command; throws ToolError when it cannot be started.
  void Start(const FaceLaunch& launch, const FacePlace& place, const std::vector<std::string>& command);

  // Readable when a signal has come; then OnWake.
  int WakeFd() const { return pipe_[0]; }
  // Passes a termination signal sent to the launcher alone on to the
  // application, and reaps whatever has exited.
  void OnWake();

  pid_t Pid() const { return pid_; }
  bool Exited() const { return exited_; }
  // Its exit status as a shell gives it (128 + the signal that ended it).
  int ExitStatus() const { return status_; }
  // Waits for it to exit, passing signals on meanwhile. Its exit status.
  int Wait();

 private:
  int pipe_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 1;
};

}  // namespace zarncap
