// The driver's modal dialogs as the driver messages open them.
#pragma once

#include "platform/types.h"

// The camera-details dialog (resource 120), modal over owner; how it ended.
INT_PTR ShowDetailsDialog(HWND owner);
