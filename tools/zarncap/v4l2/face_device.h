// The V4L2 video-capture device the face presents: one camera input, the
// driver's formats, its picture controls, MMAP buffers and read() I/O, with
// the rules a V4L2 driver keeps (priorities, one streaming owner, EBUSY for
// format changes while buffers exist). It drives the driver only through its
// messages, as a capture application does; every call returns 0 or -errno.
#pragma once

#include <linux/videodev2.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "tools/zarncap/v4l2/face_buffers.h"
#include "tools/zarncap/v4l2/face_controls.h"
#include "tools/zarncap/v4l2/face_formats.h"
#include "tools/zarncap/host/driver_stream.h"

namespace zarncap {

class DriverLink;

// What the face knows of the driver at start.
struct FaceSetup {
  std::string card;       // QUERYCAP's card
  std::string busInfo;    // "parport:LPT1"
};

class FaceDevice {
 public:
  FaceDevice(DriverLink& video, FaceFormats formats, FaceControlValues controls, FaceSetup setup);
  ~FaceDevice();

  void Opened(int connection);
  void Closed(int connection);

  // An ioctl: the argument bytes in and out (an extended-controls record is
  // followed by its array). 0 or -errno.
  // faulted: the application's argument memory could not be read.
  int Ioctl(int connection, unsigned long request, std::vector<std::uint8_t>& argument, bool faulted);
  // The memory of the buffer at an mmap offset: its memfd (the caller sends
  // it, not owns it) and length.
  int MapFd(int connection, std::uint64_t offset, int* memory, std::uint64_t* length);
  // read(): the next frame's memfd and length (EAGAIN when none is ready yet).
  int Read(int connection, int* memory, std::uint64_t* length);

  // Frames the driver has delivered through the face.
  std::uint64_t FramesDelivered() const { return framesDelivered_; }

  // The stream's wake-up descriptor, and what to do when it is readable.
  int WakeFd() const { return stream_.WakeFd(); }
  void OnWake();

  // The connection that should now see a ready token (-1: none), once each
  // time the done queue goes from empty to not empty.
  int TakeTokenTarget();
  // Whether the last call emptied the done queue its caller's token stood for.
  bool TakeDrain();
  // The connections whose event queue went from empty to not empty (each
  // gets the out-of-band mark), and whether the last call emptied its
  // caller's event queue.
  std::vector<int> TakeEventTargets();
  bool TakeEventDrain();
  // The caller took a ready token by mistake: it is due again if buffers are ready.
  void Retoken(int connection);

 private:
  struct Connection {
    v4l2_priority priority = V4L2_PRIORITY_DEFAULT;
    std::map<std::uint32_t, std::uint32_t> subscriptions;  // control id -> flags
    std::deque<v4l2_event> events;
    std::uint32_t eventSequence = 0;
    FaceBuffer* reading = nullptr;  // read(): the buffer the application is copying
  };

  struct Route {
    unsigned long request;
    int (*handle)(FaceDevice& device, int connection, std::vector<std::uint8_t>& argument);
  };
  static const Route* FindRoute(unsigned long request);

  // caps, input, priority, formats, rate
  int QueryCap(v4l2_capability* out);
  int EnumInput(v4l2_input* out);
  int SetInput(int connection, const int* input);
  int SetPriority(int connection, const std::uint32_t* priority);
  bool PriorityAllows(int connection) const;
  std::uint32_t HighestPriority() const;
  int EnumFormat(v4l2_fmtdesc* out);
  int GetFormat(v4l2_format* out);
  int TryFormat(v4l2_format* inOut);
  int SetFormat(int connection, v4l2_format* inOut);
  int EnumFrameSizes(v4l2_frmsizeenum* out);
  int EnumFrameIntervals(v4l2_frmivalenum* out);
  int GetParm(v4l2_streamparm* out);
  int SetParm(int connection, v4l2_streamparm* inOut);
  int CropCap(v4l2_cropcap* inOut);
  int GetSelection(v4l2_selection* inOut);
  v4l2_rect WholeFrame() const;
  // controls and events (face_device_controls.cpp)
  int QueryControl(v4l2_queryctrl* inOut);
  int QueryExtControl(v4l2_query_ext_ctrl* inOut);
  int QueryMenu(v4l2_querymenu* inOut);
  int GetControl(v4l2_control* inOut);
  int SetControl(int connection, v4l2_control* inOut);
  int ExtControls(int connection, unsigned long request, std::vector<std::uint8_t>& argument);
  int Subscribe(int connection, const v4l2_event_subscription* in);
  int Unsubscribe(int connection, const v4l2_event_subscription* in);
  int DequeueEvent(int connection, v4l2_event* out);
  int CheckControl(const FaceControl& control, std::int32_t value) const;
  void ControlChanged(int from, const FaceControl& control);
  void QueueControlEvent(int id, Connection& to, const FaceControl& control);
  // buffers and streaming (face_device_buffers.cpp)
  int RequestBuffers(int connection, v4l2_requestbuffers* inOut);
  int CreateBuffers(int connection, v4l2_create_buffers* inOut);
  int QueryBuffer(v4l2_buffer* inOut);
  int QueueBuffer(int connection, v4l2_buffer* inOut);
  int DequeueBuffer(int connection, v4l2_buffer* inOut);
  int StreamOn(int connection, const int* type);
  int StreamOff(int connection, const int* type);
  int StartDriverStream();
  void EndStreaming();
  void ReleaseBuffers();
  bool OwnedByOther(int connection) const { return owner_ >= 0 && owner_ != connection; }
  std::uint32_t FrameSize() const;

  DriverLink& video_;
  FaceFormats formats_;
  FaceControlValues controls_;
  FaceSetup setup_;
  DriverStream stream_;
  BufferPool pool_;

  std::map<int, Connection> connections_;
  const FaceFormat* format_ = nullptr;
  FaceSize size_;
  std::uint32_t intervalFrames_ = 1;  // the frame interval, in sensor frames
  int owner_ = -1;        // the connection that holds the buffers
  bool fileIo_ = false;   // the buffers are read()'s own
  bool streaming_ = false;
  std::uint32_t lastSequence_ = 0;
  bool anySequence_ = false;
  DWORD lastCapture_ = 0;
  int tokenTarget_ = -1;
  bool drain_ = false;
  std::vector<int> eventTargets_;
  bool eventDrain_ = false;
  std::uint64_t framesDelivered_ = 0;
  std::vector<std::uint8_t> flipRow_;  // FlipRows' one row, kept between frames
};

}  // namespace zarncap
