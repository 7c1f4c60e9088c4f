// The launcher's side of the face: the Unix socket the preload library
// connects to, the small sysfs tree of the device, the application started
// with the library preloaded, and one loop that serves every connection and
// the driver's finished buffers until the application has gone.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/zarncap/v4l2/face_place.h"

namespace zarncap {

class FaceApplication;
class FaceDevice;
class RequestReader;

// Runs the application with the library preloaded but no camera behind the
// device path: its opens of the path fail as for a device that is not there
// (ENOENT). Its exit status.
int RunWithoutCamera(const std::string& preloadLibrary, const FacePlace& place, const std::vector<std::string>& command);

class FaceServer {
 public:
  // Makes the folder with the socket and the sysfs tree; throws ToolError.
  FaceServer(FaceDevice& device, const FacePlace& place, const std::string& card);
  FaceServer(const FaceServer&) = delete;
  FaceServer& operator=(const FaceServer&) = delete;
  ~FaceServer();

  // Starts the application with the library preloaded; serves until it exits
  // and no process it left holds the device open. The application's exit status.
  int Run(const std::string& preloadLibrary, const std::vector<std::string>& command);

 private:
  void Serve(FaceApplication& application);
  void Accept();
  void TurnAway();
  bool Answer(int connection);
  void SendMarks();
  void Drop(int connection);

  FaceDevice& device_;
  FacePlace place_;
  std::string folder_;
  std::string socketPath_;
  int listener_ = -1;
  int poller_ = -1;
  // Held so that a connection can still be accepted (and closed) when the
  // launcher has no descriptor left; -1 while it is spent.
  int reserve_ = -1;
  bool listening_ = false;
  // Each connection with its request as far as it has come.
  std::map<int, std::unique_ptr<RequestReader>> connections_;
};

}  // namespace zarncap
