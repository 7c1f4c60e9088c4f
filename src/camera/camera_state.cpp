#include "camera/camera_state.h"

CameraState& Camera() { return Context().Module<CameraState>(); }

CaptureDevice* CurrentCaptureDevice() { return Camera().current; }
