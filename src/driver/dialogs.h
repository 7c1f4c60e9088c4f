// The driver's modal dialogs as the driver messages open them.
#pragma once

#include "platform/types.h"
#include "ui/details_dialog.h"

// DRV_CONFIGURE: the camera details dialog, modal over owner.
void ConfigureDriver(HWND owner);
// What the details dialog shows: from the device when one is set up, else
// from the driver's own search of the ports (on "zarncap.ini", as the dialog
// always reads), which leaves the camera released and the open count as it was.
CameraDetails FindCameraDetails();
