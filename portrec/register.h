// The recording's public face: registers the "replay" port-device backend
// (ZARNCAP_CAMERA=replay:<file>) and the recorder that ZARNCAP_RECORD=<file>
// puts in front of any backend.
#pragma once

#include <string>

namespace portrec {

// Safe to call more than once; the library also does it from a static initializer.
void RegisterPortRecording();

// Whether the text after "replay:" names a readable recording; false with the
// reason in *why.
bool CheckReplayOptions(const std::string& options, std::string* why);

}  // namespace portrec
