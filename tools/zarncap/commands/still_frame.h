// One still through DVM_FRAME, as capture applications take them: asked again
// while the camera answers that its next frame is not ready yet, for at most
// a few seconds. Shared by `zarncap capture` and `zarncap check`.
#pragma once

#include "platform/types.h"
#include "tools/zarncap/common/run_context.h"
#include "tools/zarncap/host/driver_link.h"

namespace zarncap {

// Fills header's buffer with frame `number` (for messages); throws ToolError
// saying why there is none (kExitInterrupted when the run was interrupted).
void CaptureStillFrame(DriverLink& link, VIDEOHDR* header, int number, const Host& host);

}  // namespace zarncap
