#include "camera/camera_state.h"

namespace {
CameraState g_camera;
}

CameraState& Camera() { return g_camera; }

void ResetCameraState() { g_camera = CameraState{}; }

CaptureDevice* CurrentCaptureDevice() { return g_camera.current; }
