// The launcher's reading of one connection's requests, without blocking: the
// bytes of a request come in whatever pieces the application's writes and
// the socket make of them, and are kept here until the request is whole, so
// a client that stops halfway holds up nobody else. Each request carries its
// reply socket; any other descriptor that comes along is closed at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "v4l2/protocol.h"

namespace zarncap {

struct FaceRequest {
  v4l2face::Request header;
  std::vector<std::uint8_t> argument;
  int replyTo = -1;  // the reply socket (the receiver's to close); -1 when none came
};

class RequestReader {
 public:
  enum class Status {
    Waiting,  // the request is not whole yet: read again when the socket is readable
    Ready,    // *request holds a whole request
    Broken,   // the connection ended, failed, or sent what no preload library sends
  };

  RequestReader() = default;
  RequestReader(const RequestReader&) = delete;
  RequestReader& operator=(const RequestReader&) = delete;
  ~RequestReader();

  // Reads what the connection has, up to the end of one request.
  Status ReadFrom(int connection, FaceRequest* request);

 private:
  // Takes the descriptors a read brought: the first is the reply socket, the rest are closed.
  void Keep(int fd);
  bool HeaderWhole() const { return have_ >= sizeof header_; }
  void Reset();

  v4l2face::Request header_;
  std::vector<std::uint8_t> argument_;
  std::size_t have_ = 0;  // bytes of header and argument so far
  int replyTo_ = -1;
};

}  // namespace zarncap
