// The descriptors that are connections to the launcher. Each is marked with
// the inode of its socket, so a number the application closed by a path this
// library does not see (fclose(fdopen()), close_range, a raw system call)
// and that now names another file is told apart: the mark is checked against
// the descriptor before it is used. Descriptors kept across exec are found
// again when the library loads.
#pragma once

namespace v4l2face {

// Whether fd carries a mark (no system call: the quick test on every path).
bool IsMarked(int fd);
// Marks fd as a connection (its socket's inode read now); false when fd is
// out of the table's range or not a socket.
bool Mark(int fd);
void Unmark(int fd);
// Marks to as from is marked (a dup of it), or clears to's mark.
void MarkLike(int from, int to);
// A marked descriptor that still names its connection; the mark is dropped
// when it does not.
bool IsConnection(int fd);
// A descriptor not marked that is a socket connected to the launcher (one
// passed in a message, say): marked and true.
bool RecogniseConnection(int fd);

// A private copy of a connection's descriptor for the length of one call,
// as the kernel holds a reference to a file while a call runs: a close by
// another thread, and a new file taking the number, touch neither the
// request nor its reply. valid() is false when fd is not a connection.
class CallDescriptor {
 public:
  explicit CallDescriptor(int fd);
  CallDescriptor(const CallDescriptor&) = delete;
  CallDescriptor& operator=(const CallDescriptor&) = delete;
  ~CallDescriptor();
  bool valid() const { return fd_ >= 0; }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
  bool owned_ = false;
};

}  // namespace v4l2face
