// A port recording (zarncap --camera replay:FILE) as the replay reads it:
// any bytes are either a recording or refused with a reason, and what is read
// can be put in words.
#include <string>

#include "portrec/port_recording.h"
#include "portrec/request_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  portrec::PortRecording recording;
  std::string error;
  if (!portrec::ReadPortRecording(bytes, &recording, &error)) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  for (const portrec::RecordedRequest& request : recording.requests) {
    if (request.input.size() != request.inLength) __builtin_trap();
    portrec::RequestComment(request);
  }
  return 0;
}
