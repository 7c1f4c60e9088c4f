// The "Video Capture Settings" dialog (resources 101, 104, 106, 108, 110):
// brightness, contrast, colour, capture compression with its quality and the
// lighting level, each applied the moment it changes; Cancel puts back what
// was in force when the dialog opened.
#pragma once

#include "platform/types.h"

// Runs the dialog modally over owner; the dialog's result, or -1 when it
// cannot be made.
INT_PTR ShowSourceDialog(HINSTANCE module, int resourceId, HWND owner);
INT_PTR CALLBACK SourceDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

// The controls, for hosts that act on the dialog.
constexpr int kBrightnessScroll = 1000, kBrightnessEdit = 1001;
constexpr int kColourScroll = 1002, kColourEdit = 1003;
constexpr int kContrastScroll = 1004, kContrastEdit = 1005;
constexpr int kColourLabel = 1006;
constexpr int kCompressionOff = 1007, kCompressionAutomatic = 1008, kCompressionManual = 1009;
constexpr int kQualityScroll = 1010, kQualityEdit = 1011;
constexpr int kLightingGroup = 1012, kLightingLow = 1013, kLightingNormal = 1014;
